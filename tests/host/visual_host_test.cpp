// Loading a bundle and the order of the messages the host sends it, with the
// spy bundle logging what it receives.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>

#include <string>
#include <vector>

#include "host/HostError.h"
#include "host/OfflineRenderer.h"
#include "host/Port.h"
#include "host/VisualHost.h"
#include "host_test_support.h"

using namespace qvhost;
using namespace qvhosttest;

namespace {

class SpyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("QV_SPY_LOG", log.c_str(), 1);
        unsetenv("QV_SPY_FAIL");
        unsetenv("QV_SPY_NO_IDLE");
        unsetenv("QV_SPY_INTERVAL");
    }
    void TearDown() override
    {
        unsetenv("QV_SPY_LOG");
        unsetenv("QV_SPY_FAIL");
        unsetenv("QV_SPY_NO_IDLE");
    }
    std::vector<std::string> names() const { return LogNames(ReadLog(log)); }

    TempDir dir;
    std::string log = dir / "spy.log";
};

TEST_F(SpyTest, MessagesComeInTheOrderThePluginReliesOn)
{
    Port port(64, 48);
    HostServices services(dir.path());
    {
        VisualHost host(SpyBundlePath(), services);
        host.render(RenderData{}); // before start: nothing is sent
        host.start();
        host.render(RenderData{}); // before show: nothing
        host.idle();
        host.show(port.get(), port.bounds());
        host.playState(kVisualPluginPlayMessage);
        host.render(RenderData{});
        host.idle();
        EXPECT_FALSE(host.key('x', false));
        EXPECT_TRUE(host.key('S', true));
        host.setWindow(Rect{0, 0, 40, 60});
        host.show(port.get(), port.bounds()); // a second show is preceded by hide
        host.hide();
        host.render(RenderData{}); // hidden: nothing
        host.idle();
        host.playState(kVisualPluginStopMessage);
        // The destructor ends the visual.
    }
    const std::vector<std::string> expected = {"init", "show", "vply", "vrnd", "null", "vevt", "vevt", "swin",
                                               "hide", "show", "hide", "vstp", "clr", "module-clr"};
    EXPECT_EQ(names(), expected);
    EXPECT_EQ(ReadLog(log)[1], "show 64 48");
    EXPECT_EQ(ReadLog(log)[7], "swin 60 40");
}

TEST_F(SpyTest, IdleMessagesOnlyWhenTheRegistrationAsks)
{
    setenv("QV_SPY_NO_IDLE", "1", 1);
    Port port(32, 32);
    HostServices services(dir.path());
    VisualHost host(SpyBundlePath(), services);
    host.start();
    host.show(port.get(), port.bounds());
    host.idle();
    host.stop();
    host.stop(); // once is enough
    EXPECT_EQ(names(), (std::vector<std::string>{"init", "show", "hide", "clr", "module-clr"}));
}

TEST_F(SpyTest, AudioComesNoMoreOftenThanTheRegistrationAsks)
{
    struct Case {
        const char *interval; // QV_SPY_INTERVAL, null: not set
        int renders;          // of 30 frames at 30 fps
    } cases[] = {{nullptr, 30}, {"0", 30}, {"100", 10}, {"250", 4}, {"4294967295", 30}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.interval ? c.interval : "unset");
        std::remove(log.c_str());
        if (c.interval)
            setenv("QV_SPY_INTERVAL", c.interval, 1);
        else
            unsetenv("QV_SPY_INTERVAL");
        Port port(16, 16);
        HostServices services(dir.path());
        VisualHost host(SpyBundlePath(), services);
        host.start();
        host.show(port.get(), port.bounds());
        RenderData data{};
        for (int n = 0; n < 30; ++n)
            host.frame(&data, n / 30.0);
        host.frame(nullptr, 1.0); // no audio: always an idle frame
        host.stop();
        const std::vector<std::string> names = LogNames(ReadLog(log));
        EXPECT_EQ(std::count(names.begin(), names.end(), "vrnd"), c.renders);
        EXPECT_EQ(std::count(names.begin(), names.end(), "null"), 31 - c.renders);
    }
    unsetenv("QV_SPY_INTERVAL");
}

TEST_F(SpyTest, BundlesThatCannotBeUsedAreNamedWithTheReason)
{
    const std::string text = dir / "notes.so";
    WriteText(text, "not a shared object\n");
    struct Case {
        std::string bundle;
        const char *fail; // QV_SPY_FAIL
        std::string reason;
        std::vector<std::string> log; // what the spy got before the failure
    } cases[] = {
        {dir / "missing.so", nullptr, "no plug-in bundle there", {}},
        {dir.path(), nullptr, "is a directory", {}},
        {text, nullptr, "not a loadable plug-in bundle", {}},
        {NoEntryBundlePath(), nullptr, "no entry point iTunesPluginMainMachO", {}},
        {SpyBundlePath(), "module", "failed to start (status -50)", {}},
        {SpyBundlePath(), "register", "registered no visual plug-in", {"module-clr"}},
        {SpyBundlePath(), "init", "failed to initialise (status -108)", {"init-failed", "module-clr"}},
        {SpyBundlePath(), "show", "failed to show (status -50)", {"init", "show-failed", "hide", "clr", "module-clr"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bundle + " " + (c.fail ? c.fail : ""));
        std::remove(log.c_str());
        if (c.fail)
            setenv("QV_SPY_FAIL", c.fail, 1);
        else
            unsetenv("QV_SPY_FAIL");
        Port port(16, 16);
        HostServices services(dir.path());
        try {
            VisualHost host(c.bundle, services);
            host.start();
            host.show(port.get(), port.bounds());
            ADD_FAILURE() << "no failure";
        } catch (const HostError &e) {
            const std::string what = e.what();
            EXPECT_EQ(what.rfind(c.bundle + ": ", 0), 0u) << what;
            EXPECT_NE(what.find(c.reason), std::string::npos) << what;
            EXPECT_EQ(e.exitStatus(), kExitFailure);
        }
        EXPECT_EQ(names(), c.log);
    }
}

TEST(FrameTiming, FramesCoverTheClipAndStartOnTheirSample)
{
    struct Case {
        int64_t samples;
        int rate, fps;
        int64_t frames;
    } cases[] = {{88200, 44100, 30, 60}, {88201, 44100, 30, 61}, {1, 48000, 60, 1},
                 {0, 48000, 60, 0},      {48000, 48000, 7, 7},   {44100 * 3600LL, 44100, 1000, 3600000}};
    for (const Case &c : cases) {
        EXPECT_EQ(FrameCount(c.samples, c.rate, c.fps), c.frames) << c.samples << " " << c.fps;
        if (c.frames > 0) {
            // The last frame's moment lies inside the clip, the next one's does not.
            EXPECT_LT(FrameSample(c.frames - 1, c.rate, c.fps), c.samples);
            EXPECT_GE(static_cast<double>(c.frames) * c.rate / c.fps, static_cast<double>(c.samples));
        }
    }
    EXPECT_EQ(FrameSample(30, 44100, 30), 44100);
    EXPECT_EQ(FrameSample(1, 44100, 60), 735);
}

} // namespace
