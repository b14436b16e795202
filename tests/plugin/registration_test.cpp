// The bundle's entry point, driven as the player drives it.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "support/test_host.h"

using qvtest::FourCC;
using qvtest::TestHost;

// A host program that defines a function the bundle also defines and calls
// must not receive the bundle's call: the version bytes below would be 0xEE.
extern "C" __attribute__((visibility("default"))) void SetNumVersion(NumVersion *v, UInt8, UInt8, UInt8, UInt8)
{
    std::memset(v, 0xEE, sizeof *v);
}

// "init" sends one "rvis" whose payload is exactly the registration, and
// returns whatever the host answers (a host whose callback throws gets -50).
TEST(Entry, InitRegistersThePluginAndReturnsTheHostsStatus)
{
    for (OSStatus answer : {0, -1, 12345, 1}) {
        TestHost host;
        
        host.answer = answer;
        if (answer == 1)
            host.onCall = [](OSType, HostCallRecord *) { throw std::runtime_error("the host failed"); };
        ASSERT_EQ(host.initModule(), answer == 1 ? paramErr : answer);
        if (answer == 1)
            continue;
        ASSERT_EQ(host.calls.size(), 1u);
        EXPECT_EQ(host.calls[0].code, FourCC("rvis"));
        const HostCallRecord &got = host.calls[0].record;
        EXPECT_EQ(got.majorVersion, 10u);
        EXPECT_EQ(got.minorVersion, 1u);
        EXPECT_EQ(got.recordSize, sizeof(HostCallRecord));

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
        EXPECT_EQ(0, std::memcmp(&got.u, &want.u, sizeof want.u)) << "the registration payload differs";
        EXPECT_NE(host.handler, nullptr);
    }
}

TEST(Entry, OtherModuleMessagesTouchNothing)
{
    TestHost host;
    
    PluginInitRecord rec{0, 0, &host, &TestHost::Proc, 0}, before = rec;
    EXPECT_EQ(host.entry()(kPluginInitMessage, nullptr, nullptr), paramErr);
    PluginInitRecord noProc{0, 0, &host, nullptr, 0};
    EXPECT_EQ(host.entry()(kPluginInitMessage, &noProc, nullptr), paramErr);
    for (OSType code : {FourCC("clr "), FourCC("show"), FourCC("vrnd"), FourCC("INIT"), 0u, 0xFFFFFFFFu})
        EXPECT_EQ(host.entry()(code, &rec, nullptr), code == FourCC("clr ") ? noErr : unimpErr) << std::hex << code;
    EXPECT_EQ(0, std::memcmp(&rec, &before, sizeof rec));
    EXPECT_TRUE(host.calls.empty());
}
