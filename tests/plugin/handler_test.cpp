// The bundle's entry point and its message handler, driven as the player
// drives them: registration, instance life, dispatch and key presets.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/MacMemory.h"
#include "support/test_host.h"

using qvtest::FourCC;
using qvtest::TestHost;

// A program that defines a function the bundle also defines and calls must
// not receive the bundle's call: the registration's version would be 0xEE.
extern "C" __attribute__((visibility("default"))) void SetNumVersion(NumVersion *v, UInt8, UInt8, UInt8, UInt8)
{
    std::memset(v, 0xEE, sizeof *v);
}

namespace {

void Throw(OSType, HostCallRecord *)
{
    throw std::runtime_error("the host's callback failed");
}

// Module "init" sends one "rvis" whose payload is exactly the registration,
// and answers what the host answers (-50 when its callback throws).
TEST(Entry, InitRegistersThePluginAndAnswersWhatTheHostAnswers)
{
    for (OSStatus answer : {0, -1, 12345, 1}) {
        TestHost host;
        host.answer = answer;
        host.onCall = answer == 1 ? Throw : nullptr;
        ASSERT_EQ(host.initModule(), answer == 1 ? paramErr : answer);
        ASSERT_EQ(host.calls.size(), answer == 1 ? 0u : 1u);
        if (answer == 1)
            continue;
        const HostCallRecord &got = host.calls[0].record;
        EXPECT_EQ(host.calls[0].code, FourCC("rvis"));
        EXPECT_TRUE(got.majorVersion == 10 && got.minorVersion == 1 && got.recordSize == sizeof got);
        HostCallRecord want;
        std::memset(&want, 0, sizeof want);
        VisualRegistration &r = want.u.registerVisualPluginMessage;
        std::memcpy(r.name, "\x09Quorvanta", 10);
        r.options = 8;
        r.creator = FourCC("hook");
        r.pluginVersion = NumVersion{1, 0, 0x80, 0};
        r.handler = host.handler;
        r.timeBetweenDataMs = 0xFFFFFFFF;
        r.numWaveformChannels = r.numSpectrumChannels = 2;
        r.maxWidth = r.maxHeight = 32767;
        EXPECT_EQ(0, std::memcmp(&got.u, &want.u, sizeof want.u)) << "the registration differs";
        EXPECT_NE(host.handler, nullptr);
    }
}

TEST(Entry, OtherModuleMessagesTouchNothing)
{
    TestHost host;
    PluginInitRecord rec{0, 0, &host, &TestHost::Proc, 0}, before = rec, noProc{0, 0, &host, nullptr, 0};
    EXPECT_EQ(host.entry()(kPluginInitMessage, nullptr, nullptr), paramErr);
    EXPECT_EQ(host.entry()(kPluginInitMessage, &noProc, nullptr), paramErr);
    for (OSType code : {FourCC("clr "), FourCC("show"), FourCC("vrnd"), FourCC("INIT"), 0u, 0xFFFFFFFFu})
        EXPECT_EQ(host.entry()(code, &rec, nullptr), code == FourCC("clr ") ? noErr : unimpErr) << std::hex << code;
    EXPECT_EQ(0, std::memcmp(&rec, &before, sizeof rec));
    EXPECT_TRUE(host.calls.empty());
}

struct Preset {
    SInt16 minDepth, maxDepth, preferredDepth, width, height;
    bool operator==(const Preset &o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};
const Preset kDefault{24, 32, 32, 1024, 768}, kLarge{16, 32, 32, 1680, 1050}, kWide{24, 32, 32, 1152, 720};

std::vector<Preset> PresetsSent(const TestHost &host) // "sfop", in order
{
    std::vector<Preset> sent;
    for (const qvtest::HostCall &c : host.calls) {
        const SetFullScreenOptionsMessage &m = c.record.u.setFullScreenOptionsMessage;
        EXPECT_EQ(c.code, FourCC("sfop"));
        sent.push_back({m.minBitDepth, m.maxBitDepth, m.preferredBitDepth, m.desiredWidth, m.desiredHeight});
    }
    return sent;
}

// Handler "init" makes one state block, hands it over as the refcon and
// sends the default preset; a broken or unlucky one answers an error and
// touches nothing. The wish is advisory: a host whose callback throws still
// gets its instance, and its key events answer an error. "clr " frees it.
TEST(Handler, InitMakesOneInstanceThatClrFrees)
{
    const struct Row {
        const char *what;
        bool record, proc, outOfMemory, hostThrows;
        OSStatus status;
    } rows[] = {
        {"as usual", true, true, false, false, noErr},
        {"without a record", false, true, false, false, paramErr},
        {"without the host's procedure", true, false, false, false, paramErr},
        {"out of memory", true, true, true, false, memFullErr},
        {"the host's callback throws", true, true, false, true, noErr},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        TestHost host;
        ASSERT_EQ(host.initModule(), noErr);
        host.calls.clear();
        host.onCall = r.hostThrows ? Throw : nullptr;
        const long live = QVPlatform_LivePtrCount();
        QVPlatform_FailNextAllocations(r.outOfMemory ? 1 : 0);
        VisualInitRecord rec{};
        rec.hostCookie = &host;
        rec.hostProc = r.proc ? &TestHost::Proc : nullptr;
        rec.refCon = &rec;
        ASSERT_EQ(host.handler(kPluginInitMessage, r.record ? &rec : nullptr, nullptr), r.status);
        QVPlatform_FailNextAllocations(0);
        EXPECT_EQ(QVPlatform_LivePtrCount(), live + (r.status == noErr));
        EXPECT_EQ(PresetsSent(host), std::vector<Preset>(r.status == noErr && !r.hostThrows, kDefault));
        EXPECT_EQ(rec.refCon == &rec, r.status != noErr);
        host.refCon = r.status == noErr ? rec.refCon : nullptr;
        EventRecord key{keyDown, 'm', 0, {0, 0}, 0};
        EventMessageRecord event{&key};
        EXPECT_TRUE(!host.refCon || host.send(kVisualPluginEventMessage, &event) == (r.hostThrows ? paramErr : noErr));
        EXPECT_TRUE(!host.refCon || host.cleanupInstance() == noErr);
        EXPECT_EQ(QVPlatform_LivePtrCount(), live);
    }
}

TEST(Handler, MessagesAnswerAndKeysChooseFullScreenPresets)
{
    const struct Row {
        const char *code;
        UInt16 what;
        char key;
        OSStatus status;
        Preset preset; // sent, unless all zero
    } rows[] = {
        {"vevt", keyDown, 'm', noErr, kLarge},  {"vevt", keyDown, 'S', noErr, kWide},  {"vevt", keyDown, 'n', noErr, kDefault},
        {"vevt", autoKey, 'm', noErr, kLarge},  {"vevt", keyDown, 'M', unimpErr, {}},  {"vevt", keyDown, 's', unimpErr, {}},
        {"vevt", keyDown, 'N', unimpErr, {}},   {"vevt", keyDown, 'x', unimpErr, {}},  {"vevt", mouseDown, 'm', unimpErr, {}},
        {"vevt", keyUp, 'n', unimpErr, {}},     {"vevt", nullEvent, 'S', unimpErr, {}}, {"cnfg", 0, 0, noErr, {}},
        {"ctrk", 0, 0, noErr, {}},              {"setp", 0, 0, noErr, {}},             {"vply", 0, 0, noErr, {}},
        {"vstp", 0, 0, noErr, {}},              {"vpau", 0, 0, noErr, {}},             {"vunp", 0, 0, noErr, {}},
        {"von ", 0, 0, noErr, {}},              {"voff", 0, 0, noErr, {}},             {"vupd", 0, 0, noErr, {}},
        {"VPLY", 0, 0, unimpErr, {}},           {"rvis", 0, 0, unimpErr, {}},          {"sfop", 0, 0, unimpErr, {}},
        {"vrn ", 0, 0, unimpErr, {}},           {"\0\0\0\0", 0, 0, unimpErr, {}},
    };
    TestHost host;
    ASSERT_TRUE(host.open());
    for (const Row &r : rows) {
        SCOPED_TRACE(std::string(r.code, 4) + " key " + r.key);
        host.calls.clear();
        EventRecord event{r.what, 0x1200u | UInt8(r.key), 0, {0, 0}, 0}; // the key code in the byte above
        EventMessageRecord record{&event};
        EXPECT_EQ(host.send(FourCC(r.code), r.key ? &record : nullptr), r.status);
        EXPECT_EQ(PresetsSent(host), std::vector<Preset>(r.preset.width != 0, r.preset));
    }
}

} // namespace
