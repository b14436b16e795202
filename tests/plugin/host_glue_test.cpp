// The wrappers for calls into the host, what each puts in the record and
// copies back, and the memory routines they stand on.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin/host_glue.h"
#include "plugin/memory_routines.h"
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

// The three wrappers that pass the caller's record itself to the host, its
// payload untouched.
OSStatus PassThrough(OSStatus (*wrapper)(void *, PlayerProcPtr, HostCallRecord *))
{
    std::memset(&g_callers, 0xA7, sizeof g_callers);
    const OSStatus status = wrapper(0, Proc, &g_callers);
    Payload want;
    std::memset(&want, 0xA7, sizeof want);
    EXPECT_TRUE(g_address == &g_callers && !std::memcmp(&g_seen.u, &want, sizeof want));
    return status;
}

// One row per wrapper: its code, the call and the value copied back into the
// caller's out argument (the payloads: record_bytes_test).
#define ROW(code, call, out) {code, [] { return call; }, out}
TEST(HostGlue, EachWrapperSendsItsCodeAndCopiesBackItsOutValue)
{
    const struct {
        const char *code;
        OSStatus (*call)();
        UInt32 out;
    } rows[] = {
        ROW("abcd", ITCallApplication(0, Proc, FourCC("abcd"), nullptr), 0),
        ROW("sful", PlayerSetFullScreen(0, Proc, 1), 0),
        ROW("sfop", PlayerSetFullScreenOptions(0, Proc, 24, 32, 32, 1024, 768), 0),
        ROW("gprf", PlayerGetPluginData(0, Proc, g_buffer, 8, &g_size), 0xC0FFEE),
        ROW("gprf", PlayerGetPluginData(0, Proc, g_buffer, 8, nullptr), 0),
        ROW("sprf", PlayerSetPluginData(0, Proc, g_buffer, 4), 0),
        ROW("gnpr", PlayerGetPluginNamedData(0, Proc, g_name, g_buffer, 6, &g_size), 0xBEEF),
        ROW("gnpr", PlayerGetPluginNamedData(0, Proc, g_name, g_buffer, 6, nullptr), 0),
        ROW("snpr", PlayerSetPluginNamedData(0, Proc, g_name, g_buffer, 3), 0),
        ROW("idle", PlayerIdle(0, Proc), 0),
        ROW("abou", (PlayerShowAbout(0, Proc), kAnswer), 0),
        ROW("url ", (PlayerOpenURL(0, Proc, "http://x", 8), kAnswer), 0),
        ROW("unrg", PassThrough(PlayerUnregisterPlugin), 0),
        ROW("rvis", PassThrough(PlayerRegisterVisualPlugin), 0),
        ROW("rdev", PassThrough(PlayerRegisterDevicePlugin), 0),
        ROW("dvsn", PlayerSetDeviceSerialNumber(0, Proc, g_name), 0),
        ROW("evnt", PlayerHandleMacOSEvent(0, Proc, &g_event, &g_handled), 1),
        ROW("evnt", PlayerHandleMacOSEvent(0, Proc, &g_event, nullptr), 0),
        ROW("pspc", PlayerGetPluginFileSpec(0, Proc, g_buffer), 0),
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.code);
        g_size = g_handled = 0;
        EXPECT_EQ(r.call(), kAnswer);
        EXPECT_TRUE(g_code == FourCC(r.code) && g_seen.majorVersion == 10 && g_seen.minorVersion == 1 &&
                    g_seen.recordSize == sizeof g_seen);
        EXPECT_EQ(g_size + g_handled, r.out);
    }
}

// MemClear clears exactly [start, start + count) at any alignment, and
// nothing for counts of zero or below.
TEST(MemoryRoutines, MemClearClearsExactlyTheRange)
{
    for (int start = 0; start < 8; ++start)
        for (SInt32 count : {-5, 0, 1, 3, 4, 15, 16, 17, 33, 112, 124}) {
            alignas(8) UInt8 buf[160];
            std::memset(buf, 0xCD, sizeof buf);
            MemClear(buf + 8 + start, count);
            for (int i = 0; i < 160; ++i)
                ASSERT_EQ(buf[i], i >= 8 + start && i < 8 + start + count ? 0 : 0xCD)
                    << "start " << start << " count " << count << " byte " << i;
        }
}

} // namespace
