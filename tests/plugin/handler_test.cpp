// The visual plug-in's message handler: instance life, presets, dispatch.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/MacMemory.h"
#include "support/test_host.h"

using qvtest::TestHost;

namespace {

struct Preset {
    SInt16 minDepth, maxDepth, preferredDepth, width, height;
};

Preset PresetOf(const qvtest::HostCall &call)
{
    const SetFullScreenOptionsMessage &m = call.record.u.setFullScreenOptionsMessage;
    return {m.minBitDepth, m.maxBitDepth, m.preferredBitDepth, m.desiredWidth, m.desiredHeight};
}

void ExpectPreset(const qvtest::HostCall &call, Preset want)
{
    EXPECT_EQ(call.code, 0x73666F70u); // "sfop"
    Preset got = PresetOf(call);
    EXPECT_EQ(got.minDepth, want.minDepth);
    EXPECT_EQ(got.maxDepth, want.maxDepth);
    EXPECT_EQ(got.preferredDepth, want.preferredDepth);
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, want.height);
}

class Handler : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(host.entry(), nullptr);
        ASSERT_EQ(host.initModule(), noErr);
        ASSERT_NE(host.handler(), nullptr);
        host.calls.clear();
    }
    OSStatus key(UInt16 what, char c)
    {
        EventRecord ev{};
        ev.what = what;
        ev.message = 0x1200u | static_cast<UInt8>(c); // key code in the byte above the character
        EventMessageRecord rec{&ev};
        return host.send(kVisualPluginEventMessage, &rec);
    }
    TestHost host;
};

} // namespace

TEST_F(Handler, InitKeepsTheHostAndSendsTheDefaultPreset)
{
    ASSERT_EQ(host.initInstance(), noErr);
    EXPECT_NE(host.refCon(), nullptr);
    ASSERT_EQ(host.calls.size(), 1u);
    ExpectPreset(host.calls[0], {24, 32, 32, 1024, 768});
    EXPECT_EQ(host.calls[0].record.recordSize, sizeof(HostCallRecord));
    // Everything after the five values is zero.
    const UInt8 *raw = host.calls[0].record.u.raw;
    for (size_t i = 10; i < sizeof host.calls[0].record.u.raw; ++i)
        EXPECT_EQ(raw[i], 0) << "payload byte " << i;
}

TEST_F(Handler, InitOutOfMemoryLeavesTheRecordAndSendsNothing)
{
    VisualInitRecord rec{};
    rec.hostCookie = &host;
    rec.hostProc = &TestHost::Proc;
    rec.refCon = reinterpret_cast<void *>(0x5a5a);
    long live = QVPlatform_LivePtrCount();
    QVPlatform_FailNextAllocations(1);
    EXPECT_EQ(host.handler()(kPluginInitMessage, &rec, nullptr), -108);
    QVPlatform_FailNextAllocations(0);
    EXPECT_EQ(rec.refCon, reinterpret_cast<void *>(0x5a5a));
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(QVPlatform_LivePtrCount(), live);
}

TEST_F(Handler, CleanupFreesTheStateAndToleratesNull)
{
    long live = QVPlatform_LivePtrCount();
    ASSERT_EQ(host.initInstance(), noErr);
    EXPECT_EQ(QVPlatform_LivePtrCount(), live + 1);
    EXPECT_EQ(host.cleanupInstance(), noErr);
    EXPECT_EQ(QVPlatform_LivePtrCount(), live);
    EXPECT_EQ(host.handler()(kPluginCleanupMessage, nullptr, nullptr), noErr);
}

TEST_F(Handler, KeysChooseFullScreenPresets)
{
    ASSERT_EQ(host.initInstance(), noErr);
    host.calls.clear();
    struct Case {
        UInt16 what;
        char key;
        OSStatus status;
        bool sends;
        Preset preset;
    } cases[] = {
        {keyDown, 'm', noErr, true, {16, 32, 32, 1680, 1050}},
        {keyDown, 'S', noErr, true, {24, 32, 32, 1152, 720}},
        {keyDown, 'n', noErr, true, {24, 32, 32, 1024, 768}},
        {autoKey, 'S', noErr, true, {24, 32, 32, 1152, 720}},
        {autoKey, 'm', noErr, true, {16, 32, 32, 1680, 1050}},
        {keyDown, 'M', unimpErr, false, {}},
        {keyDown, 's', unimpErr, false, {}},
        {keyDown, 'N', unimpErr, false, {}},
        {keyDown, 'x', unimpErr, false, {}},
        {mouseDown, 'm', unimpErr, false, {}},
        {keyUp, 'n', unimpErr, false, {}},
        {nullEvent, 'S', unimpErr, false, {}},
    };
    for (const Case &c : cases) {
        host.calls.clear();
        EXPECT_EQ(key(c.what, c.key), c.status) << "event " << c.what << " key " << c.key;
        ASSERT_EQ(host.calls.size(), c.sends ? 1u : 0u) << "event " << c.what << " key " << c.key;
        if (c.sends)
            ExpectPreset(host.calls[0], c.preset);
    }
}

TEST_F(Handler, CodesThatDoNothingAnswerZeroOthersMinusFour)
{
    ASSERT_EQ(host.initInstance(), noErr);
    host.calls.clear();
    for (const char *code : {"cnfg", "ctrk", "setp", "vply", "vstp", "vpau", "vunp", "von ", "voff", "vupd"})
        EXPECT_EQ(host.send(QV_FOUR_CC(code[0], code[1], code[2], code[3]), nullptr), noErr) << code;
    for (const char *code : {"VPLY", "abcd", "rvis", "sfop", "    ", "nul ", "vrn "})
        EXPECT_EQ(host.send(QV_FOUR_CC(code[0], code[1], code[2], code[3]), nullptr), unimpErr) << code;
    EXPECT_EQ(host.send(0, nullptr), unimpErr);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Handler, FramesBeforeTheFirstShowDrawNothing)
{
    ASSERT_EQ(host.initInstance(), noErr);
    RenderData data{};
    RenderMessageRecord render{&data};
    EXPECT_EQ(host.send(kVisualPluginRenderMessage, &render), noErr);
    EXPECT_EQ(host.send(kVisualPluginIdleMessage, nullptr), noErr);
    // Without an instance too.
    EXPECT_EQ(host.handler()(kVisualPluginRenderMessage, &render, nullptr), noErr);
    EXPECT_EQ(host.handler()(kVisualPluginIdleMessage, nullptr, nullptr), noErr);
}

TEST_F(Handler, MissingRecordsAreParameterErrorsNotCrashes)
{
    EXPECT_EQ(host.handler()(kPluginInitMessage, nullptr, nullptr), paramErr);
    VisualInitRecord noProc{};
    EXPECT_EQ(host.handler()(kPluginInitMessage, &noProc, nullptr), paramErr);
    EXPECT_EQ(noProc.refCon, nullptr);

    ASSERT_EQ(host.initInstance(), noErr);
    host.calls.clear();
    EXPECT_EQ(host.send(kVisualPluginEventMessage, nullptr), paramErr);
    EventMessageRecord noEvent{nullptr};
    EXPECT_EQ(host.send(kVisualPluginEventMessage, &noEvent), paramErr);
    EXPECT_EQ(host.send(kVisualPluginShowWindowMessage, nullptr), paramErr);
    EXPECT_EQ(host.send(kVisualPluginSetWindowMessage, nullptr), paramErr);
    EXPECT_TRUE(host.calls.empty());

    // Messages that need the instance, without one.
    EventRecord ev{};
    ev.what = keyDown;
    ev.message = 'n';
    EventMessageRecord rec{&ev};
    EXPECT_EQ(host.handler()(kVisualPluginEventMessage, &rec, nullptr), paramErr);
    WindowRecord win{};
    EXPECT_EQ(host.handler()(kVisualPluginShowWindowMessage, &win, nullptr), paramErr);
    EXPECT_EQ(host.handler()(kVisualPluginSetWindowMessage, &win, nullptr), paramErr);
    EXPECT_EQ(host.handler()(kVisualPluginHideWindowMessage, nullptr, nullptr), paramErr);
    EXPECT_TRUE(host.calls.empty());
}
