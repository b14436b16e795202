// The bundle's entry point, driven as the player drives it.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "support/test_host.h"

using qvtest::TestHost;


TEST(Entry, InitRegistersTheVisualPluginFieldByField)
{
    TestHost host;
    ASSERT_NE(host.entry(), nullptr);
    ASSERT_EQ(host.initModule(), noErr);
    ASSERT_EQ(host.calls.size(), 1u);
    const qvtest::HostCall &call = host.calls[0];
    EXPECT_EQ(call.code, 0x72766973u); // "rvis"
    ASSERT_TRUE(call.hadRecord);

    const HostCallRecord &r = call.record;
    EXPECT_EQ(r.majorVersion, 10u);
    EXPECT_EQ(r.minorVersion, 1u);
    EXPECT_EQ(r.recordSize, sizeof(HostCallRecord));

    const VisualRegistration &reg = r.u.registerVisualPluginMessage;
    const unsigned char name[] = "\x09Quorvanta";
    EXPECT_EQ(0, std::memcmp(reg.name, name, 10));
    for (size_t i = 10; i < sizeof reg.name; ++i)
        EXPECT_EQ(reg.name[i], 0) << "name byte " << i;
    EXPECT_EQ(reg.options, 8u);
    EXPECT_EQ(reg.creator, 0x686F6F6Bu); // "hook"
    const UInt8 version[4] = {1, 0, 0x80, 0};
    EXPECT_EQ(0, std::memcmp(&reg.pluginVersion, version, 4));
    EXPECT_NE(reg.handler, nullptr);
    EXPECT_EQ(reg.registerRefCon, nullptr);
    EXPECT_EQ(reg.timeBetweenDataMs, 0xFFFFFFFFu);
    EXPECT_EQ(reg.numWaveformChannels, 2u);
    EXPECT_EQ(reg.numSpectrumChannels, 2u);
    EXPECT_EQ(reg.minWidth, 0);
    EXPECT_EQ(reg.minHeight, 0);
    EXPECT_EQ(reg.maxWidth, 32767);
    EXPECT_EQ(reg.maxHeight, 32767);
    EXPECT_EQ(reg.minFullScreenBitDepth, 0);
    EXPECT_EQ(reg.maxFullScreenBitDepth, 0);
    EXPECT_EQ(reg.windowAlignmentInBytes, 0);
    EXPECT_EQ(reg.reserved, 0);
}

TEST(Entry, InitReturnsTheHostsStatusUnchanged)
{
    for (OSStatus answer : {0, -1, -4, 12345}) {
        TestHost host;
        ASSERT_NE(host.entry(), nullptr);
        host.setAnswer(answer);
        EXPECT_EQ(host.initModule(), answer);
        EXPECT_EQ(host.calls.size(), 1u) << "nothing is retried";
    }
}

TEST(Entry, OtherModuleMessagesTouchNothing)
{
    TestHost host;
    ASSERT_NE(host.entry(), nullptr);
    PluginInitRecord rec{};
    rec.hostCookie = &host;
    rec.hostProc = &TestHost::Proc;
    PluginInitRecord before = rec;

    EXPECT_EQ(host.entry()(kPluginCleanupMessage, &rec, nullptr), noErr) << "clr before init";
    EXPECT_EQ(host.entry()(kPluginCleanupMessage, nullptr, nullptr), noErr);
    for (OSType code : {OSType(kVisualPluginShowWindowMessage), OSType(kVisualPluginRenderMessage), OSType(0),
                        OSType(0xFFFFFFFF), QV_FOUR_CC('I', 'N', 'I', 'T')})
        EXPECT_EQ(host.entry()(code, &rec, nullptr), unimpErr) << std::hex << code;
    EXPECT_EQ(0, std::memcmp(&rec, &before, sizeof rec));
    EXPECT_TRUE(host.calls.empty());

    ASSERT_EQ(host.initModule(), noErr);
    EXPECT_EQ(host.entry()(kPluginCleanupMessage, nullptr, nullptr), noErr) << "clr after init";
    EXPECT_EQ(host.calls.size(), 1u);
}

TEST(Entry, InitWithoutItsRecordIsAParameterError)
{
    TestHost host;
    ASSERT_NE(host.entry(), nullptr);
    EXPECT_EQ(host.entry()(kPluginInitMessage, nullptr, nullptr), paramErr);
    PluginInitRecord noProc{};
    EXPECT_EQ(host.entry()(kPluginInitMessage, &noProc, nullptr), paramErr);
    EXPECT_TRUE(host.calls.empty());
}

// A host program that happens to define a function with the same name as one
// the bundle calls internally must not receive the bundle's call.
static int g_hostSetNumVersionCalls = 0;
extern "C" __attribute__((visibility("default"))) void SetNumVersion(NumVersion *v, UInt8, UInt8, UInt8, UInt8)
{
    ++g_hostSetNumVersionCalls;
    std::memset(v, 0xEE, sizeof *v);
}

TEST(Entry, BundleCallsBindToTheBundleNotToTheHost)
{
    TestHost host;
    ASSERT_NE(host.entry(), nullptr);
    ASSERT_EQ(host.initModule(), noErr);
    EXPECT_EQ(g_hostSetNumVersionCalls, 0);
    const NumVersion &v = host.calls.at(0).record.u.registerVisualPluginMessage.pluginVersion;
    EXPECT_EQ(v.stage, 0x80);
}
