// The bundle's entry point and its message handler, driven as the player
// drives them (instance life under hostile hosts: hardening/, the fuzzer).
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/test_host.h"

using qvtest::FourCC;
using qvtest::TestHost;

#ifndef QV_TEST_BUNDLE_LINKED_IN
// A program that defines a function the bundle also defines and calls must
// not receive the bundle's call: the registration's version would be 0xEE.
// (A program the bundle's parts are linked into cannot define it again.)
extern "C" __attribute__((visibility("default"))) void SetNumVersion(NumVersion *v, UInt8, UInt8, UInt8, UInt8)
{
    std::memset(v, 0xEE, sizeof *v);
}
#endif

namespace {

// Module "init" sends one "rvis" (its bytes: record_bytes_test) and answers
// what the host answers (-50 when its callback throws); other module
// messages touch nothing ("clr " answers 0, the rest -4).
TEST(Entry, InitRegistersThePluginAndAnswersWhatTheHostAnswers)
{
    for (OSStatus answer : {0, -1, 12345, 1}) {
        TestHost host;
        host.answer = answer;
        if (answer == 1)
            host.onCall = [](OSType, HostCallRecord *) { throw std::runtime_error("the host's callback failed"); };
        ASSERT_EQ(host.initModule(), answer == 1 ? paramErr : answer);
        ASSERT_EQ(host.calls.size(), answer == 1 ? 0u : 1u);
        if (answer == 1)
            continue;
        const NumVersion version = host.calls[0].record.u.registerVisualPluginMessage.pluginVersion;
        EXPECT_TRUE(host.calls[0].code == FourCC("rvis") && host.handler && version.majorRev == 1);
    }
    TestHost host;
    PluginInitRecord rec{0, 0, &host, &TestHost::Proc, 0}, noProc{0, 0, &host, nullptr, 0};
    EXPECT_TRUE(host.entry()(kPluginInitMessage, nullptr, nullptr) == paramErr &&
                host.entry()(kPluginInitMessage, &noProc, nullptr) == paramErr);
    for (OSType code : {FourCC("clr "), FourCC("show"), FourCC("vrnd"), FourCC("INIT"), 0u, 0xFFFFFFFFu})
        EXPECT_EQ(host.entry()(code, &rec, nullptr), code == FourCC("clr ") ? noErr : unimpErr) << std::hex << code;
    EXPECT_TRUE(host.calls.empty());
}

struct Preset {
    SInt16 minDepth, maxDepth, preferredDepth, width, height;
};
const Preset kNone{}, kDefault{24, 32, 32, 1024, 768}, kLarge{16, 32, 32, 1680, 1050}, kWide{24, 32, 32, 1152, 720};

// "init" and the keys n, S and m (pressed or repeated) send a full-screen
// preset ("sfop"); codes the handler knows and that change nothing answer 0,
// other codes and keys -4.
TEST(Handler, MessagesAnswerAndKeysChooseFullScreenPresets)
{
    const struct {
        const char *code;
        UInt16 what;
        char key;
        OSStatus status;
        Preset preset;
    } rows[] = {
        {"vevt", keyDown, 'm', noErr, kLarge},    {"vevt", keyDown, 'S', noErr, kWide},
        {"vevt", keyDown, 'n', noErr, kDefault},  {"vevt", autoKey, 'm', noErr, kLarge},
        {"vevt", keyDown, 'M', unimpErr, kNone},  {"vevt", keyDown, 's', unimpErr, kNone},
        {"vevt", keyDown, 'N', unimpErr, kNone},  {"vevt", keyDown, 'x', unimpErr, kNone},
        {"vevt", mouseDown, 'm', unimpErr, kNone}, {"vevt", keyUp, 'n', unimpErr, kNone},
        {"vevt", nullEvent, 'S', unimpErr, kNone}, {"cnfg", 0, 0, noErr, kNone},
        {"ctrk", 0, 0, noErr, kNone},             {"setp", 0, 0, noErr, kNone},
        {"vply", 0, 0, noErr, kNone},             {"vstp", 0, 0, noErr, kNone},
        {"vpau", 0, 0, noErr, kNone},             {"vunp", 0, 0, noErr, kNone},
        {"von ", 0, 0, noErr, kNone},             {"voff", 0, 0, noErr, kNone},
        {"vupd", 0, 0, noErr, kNone},             {"VPLY", 0, 0, unimpErr, kNone},
        {"rvis", 0, 0, unimpErr, kNone},          {"\0\0\0\0", 0, 0, unimpErr, kNone},
    };
    auto expectPreset = [](const std::vector<qvtest::HostCall> &calls, const Preset &want) {
        ASSERT_EQ(calls.size(), want.width ? 1u : 0u);
        const Preset *got = calls.empty() ? nullptr : reinterpret_cast<const Preset *>(&calls[0].record.u.raw);
        EXPECT_TRUE(!got || (calls[0].code == FourCC("sfop") && !std::memcmp(got, &want, sizeof want)));
    };
    TestHost host;
    ASSERT_TRUE(host.open());
    expectPreset({host.calls.begin() + 1, host.calls.end()}, kDefault); // after "rvis", that of "init"
    for (const auto &r : rows) {
        SCOPED_TRACE(std::string(r.code, 4) + " key " + r.key);
        host.calls.clear();
        EventRecord event{r.what, 0x1200u | UInt8(r.key), 0, {0, 0}, 0}; // the key code in the byte above
        EventMessageRecord record{&event};
        EXPECT_EQ(host.send(FourCC(r.code), r.key ? &record : nullptr), r.status);
        expectPreset(host.calls, r.preset);
    }
}

} // namespace
