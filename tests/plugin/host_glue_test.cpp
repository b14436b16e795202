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

constexpr OSStatus kAnswer = -9; // not 0: what the wrappers copy back is copied whatever the status
OSType g_code;
HostCallRecord g_seen, *g_address, g_callers; // what the host saw, where, and a caller's record
char g_buffer[8];
const unsigned char g_name[] = "\x04name";
const EventRecord g_event{};

// The host: keeps what it was sent, and reports a size or "handled" back.
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

// The three wrappers that pass the caller's own record through to the host.
OSStatus PassThrough(OSStatus (*wrapper)(void *, PlayerProcPtr, HostCallRecord *))
{
    std::memset(&g_callers, 0xA7, sizeof g_callers);
    const OSStatus status = wrapper(nullptr, Proc, &g_callers);
    EXPECT_EQ(g_address, &g_callers);
    return status;
}

} // namespace

TEST(HostGlue, EachWrapperSendsItsCodeAndPayload)
{
    struct Row {
        const char *code;
        OSStatus (*call)();       // calls the wrapper, checks what it copies back
        void (*payload)(Payload &); // the payload expected, from all zeros
    } const rows[] = {
        {"abcd", [] { return ITCallApplication(nullptr, Proc, FourCC("abcd"), nullptr); }, [](Payload &) {}},
        {"sful", [] { return PlayerSetFullScreen(nullptr, Proc, 1); },
         [](Payload &u) { u.setFullScreenMessage.fullScreen = 1; }},
        {"sfop", [] { return PlayerSetFullScreenOptions(nullptr, Proc, 24, 32, 32, 1024, 768); },
         [](Payload &u) { u.setFullScreenOptionsMessage = {24, 32, 32, 1024, 768}; }},
        {"gprf",
         [] {
             UInt32 size = 1;
             EXPECT_EQ(PlayerGetPluginData(nullptr, Proc, g_buffer, 8, nullptr), kAnswer);
             const OSStatus status = PlayerGetPluginData(nullptr, Proc, g_buffer, 8, &size);
             EXPECT_EQ(size, 0xC0FFEEu);
             return status;
         },
         [](Payload &u) { u.getPluginDataMessage = {g_buffer, 8, 0}; }},
        {"sprf", [] { return PlayerSetPluginData(nullptr, Proc, g_buffer, 4); },
         [](Payload &u) { u.setPluginDataMessage = {g_buffer, 4}; }},
        {"gnpr",
         [] {
             UInt32 size = 1;
             EXPECT_EQ(PlayerGetPluginNamedData(nullptr, Proc, g_name, g_buffer, 6, nullptr), kAnswer);
             const OSStatus status = PlayerGetPluginNamedData(nullptr, Proc, g_name, g_buffer, 6, &size);
             EXPECT_EQ(size, 0xBEEFu);
             return status;
         },
         [](Payload &u) { u.getPluginNamedDataMessage = {g_name, g_buffer, 6, 0}; }},
        {"snpr", [] { return PlayerSetPluginNamedData(nullptr, Proc, g_name, g_buffer, 3); },
         [](Payload &u) { u.setPluginNamedDataMessage = {g_name, g_buffer, 3}; }},
        {"idle", [] { return PlayerIdle(nullptr, Proc); }, [](Payload &) {}},
        {"abou", [] { PlayerShowAbout(nullptr, Proc); return kAnswer; }, [](Payload &) {}},
        {"url ", [] { PlayerOpenURL(nullptr, Proc, "http://x", 8); return kAnswer; },
         [](Payload &u) { u.openURLMessage = {"http://x", 8}; }},
        {"unrg", [] { return PassThrough(PlayerUnregisterPlugin); },
         [](Payload &u) { std::memset(&u, 0xA7, sizeof u); }},
        {"rvis", [] { return PassThrough(PlayerRegisterVisualPlugin); },
         [](Payload &u) { std::memset(&u, 0xA7, sizeof u); }},
        {"rdev", [] { return PassThrough(PlayerRegisterDevicePlugin); },
         [](Payload &u) { std::memset(&u, 0xA7, sizeof u); }},
        {"dvsn", [] { return PlayerSetDeviceSerialNumber(nullptr, Proc, g_name); },
         [](Payload &u) { u.setDeviceSerialNumberMessage.serialNumber = g_name; }},
        {"evnt",
         [] {
             Boolean handled = 0;
             EXPECT_EQ(PlayerHandleMacOSEvent(nullptr, Proc, &g_event, nullptr), kAnswer);
             const OSStatus status = PlayerHandleMacOSEvent(nullptr, Proc, &g_event, &handled);
             EXPECT_EQ(handled, 1);
             return status;
         },
         [](Payload &u) { u.handleMacOSEventMessage.theEvent = &g_event; }},
        {"pspc", [] { return PlayerGetPluginFileSpec(nullptr, Proc, g_buffer); },
         [](Payload &u) { u.getPluginFileSpecMessage.fileSpec = g_buffer; }},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.code);
        g_address = nullptr;
        EXPECT_EQ(r.call(), kAnswer);
        EXPECT_EQ(g_code, FourCC(r.code));
        EXPECT_TRUE(g_seen.majorVersion == 10 && g_seen.minorVersion == 1 && g_seen.recordSize == sizeof g_seen);
        Payload want;
        std::memset(&want, 0, sizeof want);
        r.payload(want);
        EXPECT_EQ(0, std::memcmp(&g_seen.u, &want, sizeof want)) << "payload";
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
    struct Row {
        int from, to, count;
        UInt8 want[12];
    } const rows[] = {
        {0, 4, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},  {0, 4, -7, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {0, 3, 8, {0, 1, 2, 0, 1, 2, 3, 4, 5, 6, 7, 11}},   {3, 0, 8, {3, 4, 5, 6, 7, 8, 9, 10, 8, 9, 10, 11}},
    };
    for (const Row &r : rows) {
        UInt8 buf[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
        BlockMoveData(buf + r.from, buf + r.to, r.count);
        EXPECT_EQ(0, std::memcmp(buf, r.want, 12)) << r.from << " to " << r.to << ", " << r.count;
    }
}
