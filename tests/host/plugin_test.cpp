// The host as a plug-in meets it: the services it calls (through the same
// glue the bundle calls them with), and the messages it is sent, in order,
// as the spy bundle logs them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>

#include "host/HostError.h"
#include "host/HostServices.h"
#include "host/Port.h"
#include "host/VisualHost.h"
#include "host_test_support.h"
#include "plugin/HostGlue.h"

using namespace qvhost;
using namespace qvhosttest;

namespace {

constexpr PlayerProcPtr kProc = &HostServices::Proc;

OSStatus NoHandler(OSType, void *, void *) { return noErr; }

OSStatus Register(HostServices &services, const std::string &name)
{
    HostCallRecord record{};
    VisualRegistration &reg = record.u.registerVisualPluginMessage;
    reg.name[0] = static_cast<unsigned char>(name.size());
    std::memcpy(reg.name + 1, name.data(), name.size());
    reg.handler = &NoHandler;
    return PlayerRegisterVisualPlugin(services.cookie(), kProc, &record);
}

TEST(HostServices, AnswerEachServiceAndKeepWhatTheyAreTold)
{
    TempDir config;
    HostServices s(config.path), later(config.path), other(config.path);
    void *c = s.cookie();
    char buffer[16] = {0}, prefs[] = "colour=3", a[] = "AAAAA";
    unsigned char alpha[] = "\x05" "alpha", empty[] = "";
    UInt32 size = 99;
    EXPECT_EQ(PlayerSetPluginData(c, kProc, prefs, 1), unimpErr); // no plug-in yet to keep data for
    ASSERT_EQ(Register(s, "Tester"), noErr);
    EXPECT_EQ(s.registration().handler, &NoHandler);
    const struct {
        const char *call;
        std::function<OSStatus()> run;
        OSStatus status;
    } cases[] = {
        {"second registration", [&] { return Register(s, "Other"); }, unimpErr},
        {"full-screen size", [&] { return PlayerSetFullScreenOptions(c, kProc, 24, 32, 32, 1152, 720); }, noErr},
        {"no width", [&] { return PlayerSetFullScreenOptions(c, kProc, 24, 32, 32, 0, 720); }, paramErr},
        {"depths reversed", [&] { return PlayerSetFullScreenOptions(c, kProc, 32, 16, 32, 800, 600); }, paramErr},
        {"full screen headless", [&] { return PlayerSetFullScreen(c, kProc, 1); }, unimpErr},
        {"no data yet", [&] { return PlayerGetPluginData(c, kProc, buffer, sizeof buffer, &size); }, kFileNotFoundErr},
        {"data", [&] { return PlayerSetPluginData(c, kProc, prefs, sizeof prefs); }, noErr},
        {"named data", [&] { return PlayerSetPluginNamedData(c, kProc, alpha, a, 5); }, noErr},
        {"no name", [&] { return PlayerSetPluginNamedData(c, kProc, empty, a, 5); }, paramErr},
        {"size but no buffer", [&] { return PlayerGetPluginData(c, kProc, nullptr, 8, &size); }, paramErr},
        {"short buffer", [&] { return PlayerGetPluginData(c, kProc, buffer, 5, &size); }, noErr},
        {"unknown code", [&] { return ITCallApplication(c, kProc, QV_FOUR_CC('z', 'z', 'z', 'z'), nullptr); }, unimpErr},
        {"no record", [&] { return HostServices::Proc(c, kPlayerRegisterVisualPluginMessage, nullptr); }, paramErr},
        {"no cookie", [&] { return HostServices::Proc(nullptr, kPlayerIdleMessage, nullptr); }, paramErr},
        {"unregister", [&] { return PlayerUnregisterPlugin(c, kProc, nullptr); }, noErr},
    };
    for (const auto &k : cases)
        EXPECT_EQ(k.run(), k.status) << k.call;
    EXPECT_EQ(s.pluginName(), "Tester");
    EXPECT_TRUE(s.unregisterRequested());
    ASSERT_TRUE(s.fullScreenOptions()); // the last good wish stays
    EXPECT_EQ(s.fullScreenOptions()->width, 1152);
    EXPECT_EQ(s.fullScreenOptions()->height, 720);
    EXPECT_EQ(std::string(buffer), "colou"); // a short buffer gets what fits, and the whole size
    EXPECT_EQ(size, sizeof prefs);

    // Kept on disk: a later session of the plug-in reads its blocks back, another plug-in has its own.
    ASSERT_EQ(Register(later, "Tester"), noErr);
    ASSERT_EQ(Register(other, "../Tester"), noErr);
    EXPECT_EQ(PlayerGetPluginNamedData(later.cookie(), kProc, alpha, buffer, sizeof buffer, &size), noErr);
    EXPECT_EQ(std::string(buffer, size), "AAAAA");
    EXPECT_EQ(PlayerGetPluginData(later.cookie(), kProc, buffer, sizeof buffer, &size), noErr);
    EXPECT_EQ(std::string(buffer), "colour=3");
    EXPECT_EQ(PlayerGetPluginData(other.cookie(), kProc, buffer, sizeof buffer, &size), kFileNotFoundErr);
    ASSERT_EQ(PlayerSetPluginData(other.cookie(), kProc, a, 2), noErr);
    EXPECT_EQ(config.entries().size(), 2u); // both inside the configuration directory
}

class SpyTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("QV_SPY_LOG", log.c_str(), 1); }
    void TearDown() override
    {
        for (const char *v : {"QV_SPY_LOG", "QV_SPY_FAIL", "QV_SPY_NO_IDLE", "QV_SPY_INTERVAL"})
            unsetenv(v);
    }
    // Sets a spy option (null: unsets it) and starts a fresh log.
    void option(const char *name, const char *value)
    {
        value ? setenv(name, value, 1) : unsetenv(name);
        std::remove(log.c_str());
    }

    TempDir dir;
    std::string log = dir / "spy.log";
};

TEST_F(SpyTest, MessagesComeInTheOrderThePluginReliesOn)
{
    for (const char *noIdle : {static_cast<const char *>(nullptr), "1"}) {
        SCOPED_TRACE(noIdle ? "no idle messages asked for" : "idle messages asked for");
        option("QV_SPY_NO_IDLE", noIdle);
        Port port(64, 48);
        HostServices services(dir.path);
        {
            VisualHost host(kSpyBundle, services);
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
            host.stop();
            host.stop(); // once is enough, and the destructor adds nothing
        }
        std::vector<std::string> expected = {"init", "show 64 48", "vply", "vrnd", "null", "vevt 120", "vevt 83",
                                             "swin 60 40", "hide", "show 64 48", "hide", "vstp", "clr", "module-clr"};
        if (noIdle)
            expected.erase(expected.begin() + 4);
        std::vector<std::string> lines = ReadLog(log);
        for (std::string &l : lines)
            l = l.rfind("vrnd", 0) == 0 ? "vrnd" : l;
        EXPECT_EQ(lines, expected);
    }
}

TEST_F(SpyTest, AudioComesNoMoreOftenThanTheRegistrationAsks)
{
    const struct {
        const char *interval; // QV_SPY_INTERVAL; null: not set
        int renders;          // of 30 frames at 30 fps
    } cases[] = {{nullptr, 30}, {"0", 30}, {"100", 10}, {"250", 4}, {"4294967295", 30}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.interval ? c.interval : "unset");
        option("QV_SPY_INTERVAL", c.interval);
        Port port(16, 16);
        HostServices services(dir.path);
        VisualHost host(kSpyBundle, services);
        host.start();
        host.show(port.get(), port.bounds());
        RenderData data{};
        for (int n = 0; n < 30; ++n)
            host.frame(&data, n / 30.0);
        host.frame(nullptr, 1.0); // no audio: always an idle frame
        host.stop();
        const std::vector<std::string> names = LogNames(log);
        EXPECT_EQ(std::count(names.begin(), names.end(), "vrnd"), c.renders);
        EXPECT_EQ(std::count(names.begin(), names.end(), "null"), 31 - c.renders);
    }
}

TEST_F(SpyTest, BundlesThatCannotBeUsedAreNamedWithTheReason)
{
    WriteText(dir / "notes.so", "not a shared object\n");
    const struct {
        std::string bundle;
        const char *fail; // QV_SPY_FAIL
        std::string reason;
        std::vector<std::string> log; // what the spy got before the failure
    } cases[] = {
        {dir / "missing.so", nullptr, "no plug-in bundle there", {}},
        {dir.path, nullptr, "is a directory", {}},
        {dir / "notes.so", nullptr, "not a loadable plug-in bundle", {}},
        {kNoEntryBundle, nullptr, "no entry point iTunesPluginMainMachO", {}},
        {kSpyBundle, "module", "failed to start (status -50)", {}},
        {kSpyBundle, "register", "registered no visual plug-in", {"module-clr"}},
        {kSpyBundle, "init", "failed to initialise (status -108)", {"init-failed", "module-clr"}},
        {kSpyBundle, "show", "failed to show (status -50)", {"init", "show-failed", "hide", "clr", "module-clr"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bundle + " " + (c.fail ? c.fail : ""));
        option("QV_SPY_FAIL", c.fail);
        Port port(16, 16);
        HostServices services(dir.path);
        try {
            VisualHost host(c.bundle, services);
            host.start();
            host.show(port.get(), port.bounds());
            ADD_FAILURE() << "no failure";
        } catch (const HostError &e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.bundle + ": ", 0), 0u) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
            EXPECT_EQ(e.exitStatus(), kExitFailure);
        }
        EXPECT_EQ(LogNames(log), c.log);
    }
}

} // namespace
