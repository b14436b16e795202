// The visual plug-in's message handler: instance life, dispatch, and the
// full-screen presets that "init" and keys send.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/MacMemory.h"
#include "support/test_host.h"

using qvtest::FourCC;
using qvtest::TestHost;

namespace {

struct Preset {
    SInt16 minDepth, maxDepth, preferredDepth, width, height;
    bool operator==(const Preset &o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};
const Preset kDefault{24, 32, 32, 1024, 768}, kLarge{16, 32, 32, 1680, 1050}, kWide{24, 32, 32, 1152, 720};

// The presets the host was sent ("sfop"), in order.
std::vector<Preset> PresetsSent(const TestHost &host)
{
    std::vector<Preset> sent;
    for (const qvtest::HostCall &c : host.calls) {
        const SetFullScreenOptionsMessage &m = c.record.u.setFullScreenOptionsMessage;
        EXPECT_EQ(c.code, FourCC("sfop"));
        sent.push_back({m.minBitDepth, m.maxBitDepth, m.preferredBitDepth, m.desiredWidth, m.desiredHeight});
    }
    return sent;
}

} // namespace

// "init" makes one state block, hands it over as the refcon and sends the
// default preset; broken or unlucky ones answer an error and touch nothing.
// The wish is advisory: a host whose callback throws still gets its
// instance, and its key events answer an error. "clr " frees the block.
TEST(Handler, InitMakesOneInstanceThatClrFrees)
{
    struct Row {
        const char *what;
        bool record, proc, outOfMemory, hostThrows;
        OSStatus status;
    } const rows[] = {
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
        const long live = QVPlatform_LivePtrCount();
        QVPlatform_FailNextAllocations(r.outOfMemory ? 1 : 0);
        if (r.hostThrows)
            host.onCall = [](OSType, HostCallRecord *) { throw std::runtime_error("the host failed"); };
        VisualInitRecord rec{};
        rec.hostCookie = &host;
        rec.hostProc = r.proc ? &TestHost::Proc : nullptr;
        rec.refCon = &rec;
        ASSERT_EQ(host.handler(kPluginInitMessage, r.record ? &rec : nullptr, nullptr), r.status);
        QVPlatform_FailNextAllocations(0);
        EXPECT_EQ(QVPlatform_LivePtrCount(), live + (r.status == noErr));
        EXPECT_EQ(PresetsSent(host), r.status == noErr && !r.hostThrows ? std::vector<Preset>{kDefault}
                                                                         : std::vector<Preset>{});
        if (r.status != noErr) {
            EXPECT_EQ(rec.refCon, &rec);
            continue;
        }
        host.refCon = rec.refCon;
        EventRecord key{keyDown, 'm', 0, {0, 0}, 0};
        EventMessageRecord event{&key};
        EXPECT_EQ(host.send(kVisualPluginEventMessage, &event), r.hostThrows ? paramErr : noErr);
        EXPECT_EQ(host.cleanupInstance(), noErr);
        EXPECT_EQ(QVPlatform_LivePtrCount(), live);
    }
}

TEST(Handler, MessagesAnswerAndKeysChooseFullScreenPresets)
{
    struct Row {
        const char *code;
        UInt16 what;
        char key;
        OSStatus status;
        Preset preset; // sent, unless all zero
    } const rows[] = {
        {"vevt", keyDown, 'm', noErr, kLarge},    {"vevt", keyDown, 'S', noErr, kWide},
        {"vevt", keyDown, 'n', noErr, kDefault},  {"vevt", autoKey, 'm', noErr, kLarge},
        {"vevt", keyDown, 'M', unimpErr, {}},     {"vevt", keyDown, 's', unimpErr, {}},
        {"vevt", keyDown, 'N', unimpErr, {}},     {"vevt", keyDown, 'x', unimpErr, {}},
        {"vevt", mouseDown, 'm', unimpErr, {}},   {"vevt", keyUp, 'n', unimpErr, {}},
        {"vevt", nullEvent, 'S', unimpErr, {}},   {"cnfg", 0, 0, noErr, {}},
        {"ctrk", 0, 0, noErr, {}},                {"setp", 0, 0, noErr, {}},
        {"vply", 0, 0, noErr, {}},                {"vstp", 0, 0, noErr, {}},
        {"vpau", 0, 0, noErr, {}},                {"vunp", 0, 0, noErr, {}},
        {"von ", 0, 0, noErr, {}},                {"voff", 0, 0, noErr, {}},
        {"vupd", 0, 0, noErr, {}},                {"VPLY", 0, 0, unimpErr, {}},
        {"rvis", 0, 0, unimpErr, {}},             {"sfop", 0, 0, unimpErr, {}},
        {"vrn ", 0, 0, unimpErr, {}},             {"\0\0\0\0", 0, 0, unimpErr, {}},
    };
    TestHost host;
    ASSERT_TRUE(host.open());
    for (const Row &r : rows) {
        SCOPED_TRACE(std::string(r.code, 4) + " key " + r.key);
        host.calls.clear();
        EventRecord event{r.what, 0x1200u | UInt8(r.key), 0, {0, 0}, 0}; // the key code in the byte above the character
        EventMessageRecord record{&event};
        EXPECT_EQ(host.send(FourCC(r.code), r.key ? &record : nullptr), r.status);
        EXPECT_EQ(PresetsSent(host), r.preset.width ? std::vector<Preset>{r.preset} : std::vector<Preset>{});
    }
}
