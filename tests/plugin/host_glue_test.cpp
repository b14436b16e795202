// The wrappers for calls into the host, what each puts in the record and
// copies back, and the memory routines they stand on.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin/HostGlue.h"
#include "plugin/MemoryRoutines.h"
#include "support/test_host.h"

using qvtest::FourCC;
using Payload = decltype(HostCallRecord::u);

namespace {

constexpr OSStatus kAnswer = -9; // not 0: out values are copied back whatever the status
OSType g_code;
HostCallRecord g_seen, *g_address, g_callers; // what the host saw and where; a caller's own record
char g_buffer[8];
const unsigned char g_name[] = "\x04name";
const EventRecord g_event{};
UInt32 g_size;      // out values of the caller
Boolean g_handled;

// The host: keeps what it was sent, and reports sizes and "handled" back.
OSStatus Proc(void *, OSType code, HostCallRecord *record)
{
    g_code = code;
    g_address = record;
    g_seen = *record;
    if (code == FourCC("gprf"))
        record->u.getPluginDataMessage.dataSize = 0xC0FFEE;
    if (code == FourCC("gnpr"))
        record->u.getPluginNamedDataMessage.dataSize = 0xBEEF;
    if (code == FourCC("evnt"))
        record->u.handleMacOSEventMessage.handled = 1;
    return kAnswer;
}

// The three wrappers that pass the caller's record itself to the host.
OSStatus PassThrough(OSStatus (*wrapper)(void *, PlayerProcPtr, HostCallRecord *))
{
    std::memset(&g_callers, 0xA7, sizeof g_callers);
    const OSStatus status = wrapper(nullptr, Proc, &g_callers);
    EXPECT_EQ(g_address, &g_callers);
    return status;
}

TEST(HostGlue, EachWrapperSendsItsCodeAndPayloadAndCopiesBackItsOutValue)
{
    const struct Row {
        const char *code;
        OSStatus (*call)();
        void (*payload)(Payload &); // from all zeros
        UInt32 out;                 // copied back to the caller
    } rows[] = {
        {"abcd", [] { return ITCallApplication(nullptr, Proc, FourCC("abcd"), nullptr); }, [](Payload &) {}, 0},
        {"sful", [] { return PlayerSetFullScreen(nullptr, Proc, 1); },
         [](Payload &u) { u.setFullScreenMessage.fullScreen = 1; }, 0},
        {"sfop", [] { return PlayerSetFullScreenOptions(nullptr, Proc, 24, 32, 32, 1024, 768); },
         [](Payload &u) { u.setFullScreenOptionsMessage = {24, 32, 32, 1024, 768}; }, 0},
        {"gprf", [] { return PlayerGetPluginData(nullptr, Proc, g_buffer, 8, &g_size); },
         [](Payload &u) { u.getPluginDataMessage = {g_buffer, 8, 0}; }, 0xC0FFEE},
        {"gprf", [] { return PlayerGetPluginData(nullptr, Proc, g_buffer, 8, nullptr); },
         [](Payload &u) { u.getPluginDataMessage = {g_buffer, 8, 0}; }, 0},
        {"sprf", [] { return PlayerSetPluginData(nullptr, Proc, g_buffer, 4); },
         [](Payload &u) { u.setPluginDataMessage = {g_buffer, 4}; }, 0},
        {"gnpr", [] { return PlayerGetPluginNamedData(nullptr, Proc, g_name, g_buffer, 6, &g_size); },
         [](Payload &u) { u.getPluginNamedDataMessage = {g_name, g_buffer, 6, 0}; }, 0xBEEF},
        {"gnpr", [] { return PlayerGetPluginNamedData(nullptr, Proc, g_name, g_buffer, 6, nullptr); },
         [](Payload &u) { u.getPluginNamedDataMessage = {g_name, g_buffer, 6, 0}; }, 0},
        {"snpr", [] { return PlayerSetPluginNamedData(nullptr, Proc, g_name, g_buffer, 3); },
         [](Payload &u) { u.setPluginNamedDataMessage = {g_name, g_buffer, 3}; }, 0},
        {"idle", [] { return PlayerIdle(nullptr, Proc); }, [](Payload &) {}, 0},
        {"abou", [] { PlayerShowAbout(nullptr, Proc); return kAnswer; }, [](Payload &) {}, 0},
        {"url ", [] { PlayerOpenURL(nullptr, Proc, "http://x", 8); return kAnswer; },
         [](Payload &u) { u.openURLMessage = {"http://x", 8}; }, 0},
        {"unrg", [] { return PassThrough(PlayerUnregisterPlugin); }, [](Payload &u) { std::memset(&u, 0xA7, sizeof u); }, 0},
        {"rvis", [] { return PassThrough(PlayerRegisterVisualPlugin); }, [](Payload &u) { std::memset(&u, 0xA7, sizeof u); }, 0},
        {"rdev", [] { return PassThrough(PlayerRegisterDevicePlugin); }, [](Payload &u) { std::memset(&u, 0xA7, sizeof u); }, 0},
        {"dvsn", [] { return PlayerSetDeviceSerialNumber(nullptr, Proc, g_name); },
         [](Payload &u) { u.setDeviceSerialNumberMessage.serialNumber = g_name; }, 0},
        {"evnt", [] { return PlayerHandleMacOSEvent(nullptr, Proc, &g_event, &g_handled); },
         [](Payload &u) { u.handleMacOSEventMessage.theEvent = &g_event; }, 1},
        {"evnt", [] { return PlayerHandleMacOSEvent(nullptr, Proc, &g_event, nullptr); },
         [](Payload &u) { u.handleMacOSEventMessage.theEvent = &g_event; }, 0},
        {"pspc", [] { return PlayerGetPluginFileSpec(nullptr, Proc, g_buffer); },
         [](Payload &u) { u.getPluginFileSpecMessage.fileSpec = g_buffer; }, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.code);
        g_size = g_handled = 0;
        EXPECT_EQ(r.call(), kAnswer);
        EXPECT_EQ(g_code, FourCC(r.code));
        EXPECT_TRUE(g_seen.majorVersion == 10 && g_seen.minorVersion == 1 && g_seen.recordSize == sizeof g_seen);
        Payload want;
        std::memset(&want, 0, sizeof want);
        r.payload(want);
        EXPECT_EQ(0, std::memcmp(&g_seen.u, &want, sizeof want)) << "payload";
        EXPECT_EQ(g_size + g_handled, r.out);
    }
}

// Both MemClear variants clear exactly [start, start + count) at any
// alignment, and nothing for counts of zero or below.
TEST(MemoryRoutines, MemClearClearsExactlyTheRange)
{
    for (auto clear : {&plugin_module::MemClear, &host_glue::MemClear})
        for (int start = 0; start < 8; ++start)
            for (SInt32 count : {-5, 0, 1, 3, 4, 15, 16, 17, 33, 112, 124}) {
                alignas(8) UInt8 buf[160];
                std::memset(buf, 0xCD, sizeof buf);
                clear(buf + 8 + start, count);
                for (int i = 0; i < 160; ++i)
                    ASSERT_EQ(buf[i], i >= 8 + start && i < 8 + start + count ? 0 : 0xCD)
                        << "start " << start << " count " << count << " byte " << i;
            }
}

TEST(MemoryRoutines, BlockMoveDataIsOverlapSafeAndIgnoresNonPositiveCounts)
{
    const struct {
        int from, to, count;
        UInt8 want[8];
    } rows[] = {{0, 4, 0, {0, 1, 2, 3, 4, 5, 6, 7}}, {0, 4, -7, {0, 1, 2, 3, 4, 5, 6, 7}},
                {0, 3, 4, {0, 1, 2, 0, 1, 2, 3, 7}}, {3, 0, 4, {3, 4, 5, 6, 4, 5, 6, 7}}};
    for (const auto &r : rows) {
        UInt8 buf[8] = {0, 1, 2, 3, 4, 5, 6, 7};
        BlockMoveData(buf + r.from, buf + r.to, r.count);
        EXPECT_EQ(0, std::memcmp(buf, r.want, 8)) << r.from << " to " << r.to << ", " << r.count;
    }
}

} // namespace
