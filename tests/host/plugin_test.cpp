// The host as a plug-in meets it: the services it calls (through the same
// glue the bundle calls them with), and the messages it is sent, in order,
// as the spy bundle logs them.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>

#include "host/host_services.h"
#include "host/port.h"
#include "host/visual_host.h"
#include "host_test_support.h"
#include "platform/agl.h"
#include "plugin/host_glue.h"

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

TEST(HostServices, KeepThePluginsWishesAndDataAndRefuseWhatTheyCannotUse)
{
    TempDir config;
    HostServices s(config.path), later(config.path), other(config.path);
    void *c = s.cookie();
    char buffer[16] = {0}, prefs[] = "colour=3";
    unsigned char named[] = "\x05"
                            "alpha";
    UInt32 size = 0;
    EXPECT_EQ(PlayerSetPluginData(c, kProc, prefs, 1), unimpErr); // no plug-in yet to keep data for
    ASSERT_EQ(Register(s, "Tester"), noErr);
    EXPECT_EQ(Register(s, "Other"), unimpErr);
    EXPECT_EQ(s.registration().handler, &NoHandler);
    EXPECT_EQ(PlayerSetFullScreenOptions(c, kProc, 24, 32, 32, 1152, 720), noErr);
    EXPECT_EQ(PlayerSetFullScreenOptions(c, kProc, 32, 16, 32, 800, 600), paramErr); // depths reversed
    EXPECT_EQ(s.fullScreenOptions().value().width, 1152);                            // the last good wish stays
    EXPECT_EQ(PlayerSetFullScreen(c, kProc, 1), unimpErr);                           // no window to fill the screen
    EXPECT_EQ(HostServices::Proc(nullptr, kPlayerIdleMessage, nullptr), paramErr);
    EXPECT_EQ(ITCallApplication(c, kProc, QV_FOUR_CC('z', 'z', 'z', 'z'), nullptr), unimpErr);

    EXPECT_EQ(PlayerGetPluginData(c, kProc, buffer, sizeof buffer, &size), kFileNotFoundErr);
    EXPECT_EQ(PlayerSetPluginData(c, kProc, prefs, sizeof prefs), noErr);
    EXPECT_EQ(PlayerSetPluginNamedData(c, kProc, named, prefs, 5), noErr);
    EXPECT_EQ(PlayerGetPluginData(c, kProc, nullptr, 8, &size), paramErr);
    EXPECT_EQ(PlayerGetPluginData(c, kProc, buffer, 4, &size), noErr); // a short buffer: what fits, and the size
    EXPECT_EQ(std::string(buffer), "colo");
    EXPECT_EQ(size, sizeof prefs);
    // Kept on disk: a later session of the plug-in reads its blocks back;
    // another plug-in keeps its own, inside the configuration directory too.
    ASSERT_EQ(Register(later, "Tester"), noErr);
    EXPECT_EQ(PlayerGetPluginNamedData(later.cookie(), kProc, named, buffer, sizeof buffer, &size), noErr);
    EXPECT_EQ(std::string(buffer, size), "colou");
    ASSERT_EQ(Register(other, "../Tester"), noErr);
    EXPECT_EQ(PlayerGetPluginData(other.cookie(), kProc, buffer, sizeof buffer, &size), kFileNotFoundErr);
    EXPECT_EQ(PlayerSetPluginData(other.cookie(), kProc, prefs, 2), noErr);
    EXPECT_EQ(config.entries().size(), 2u);
}

class SpyTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("QV_SPY_LOG", log.c_str(), 1); }
    void TearDown() override
    {
        unsetenv("QV_SPY_LOG");
        unsetenv("QV_SPY_INTERVAL");
    }
    TempDir dir;
    std::string log = dir / "spy.log";
    HostServices services{dir.path};
};

TEST_F(SpyTest, MessagesComeInTheOrderThePluginReliesOn)
{
    Port port(64, 48);
    {
        VisualHost host(kSpyBundle, services);
        host.render(RenderData{}); // before start: nothing is sent
        EXPECT_FALSE(host.key('x', false));
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
        EXPECT_TRUE(host.key('n', false)); // keys still, but no frames
        host.render(RenderData{});
        host.idle();
        host.stop(); // playing: "vstp" first
        host.stop(); // once is enough, and the destructor adds nothing
    }
    Lines lines = ReadLog(log);
    for (std::string &l : lines)
        l = l.rfind("vrnd", 0) == 0 ? "vrnd" : l;
    EXPECT_EQ(lines, (Lines{"init", "show 64 48", "vply", "vrnd", "null", "vevt 120", "vevt 83", "swin 60 40", "hide",
                            "show 64 48", "hide", "vevt 110", "vstp", "clr ", "module-clr"}));
}

TEST_F(SpyTest, AudioComesNoMoreOftenThanTheRegistrationAsks)
{
    const struct {
        const char *interval; // QV_SPY_INTERVAL, null: not set
        int renders;          // of 30 frames at 30 fps
    } cases[] = {{nullptr, 30}, {"0", 30}, {"100", 10}, {"250", 4}, {"4294967295", 30}};
    for (const auto &c : cases) {
        c.interval ? setenv("QV_SPY_INTERVAL", c.interval, 1) : unsetenv("QV_SPY_INTERVAL");
        std::remove(log.c_str());
        Port port(16, 16);
        HostServices fresh(dir.path);
        VisualHost host(kSpyBundle, fresh);
        host.start();
        host.show(port.get(), port.bounds());
        RenderData data{};
        for (int n = 0; n < 30; ++n)
            host.frame(&data, n / 30.0);
        host.frame(nullptr, 1.0); // no audio: always an idle frame
        const Lines names = LogNames(log);
        EXPECT_EQ(std::count(names.begin(), names.end(), "vrnd"), c.renders) << (c.interval ? c.interval : "unset");
        EXPECT_EQ(std::count(names.begin(), names.end(), "null"), 31 - c.renders)
            << (c.interval ? c.interval : "unset");
    }
}

// Frames read back straight into pixels the port was lent: one that covers
// only part of the port gets the rest of the picture from where the last
// frame went, so every buffer handed on holds a whole picture.
TEST(Port, LentPixelsHoldWholePicturesWhenAFrameCoversPart)
{
    Port port(8, 4);
    const GLint attributes[] = {AGL_RGBA, AGL_DOUBLEBUFFER, AGL_NONE};
    AGLPixelFormat format = aglChoosePixelFormat(nullptr, 0, attributes);
    AGLContext ctx = aglCreateContext(format, nullptr);
    aglDestroyPixelFormat(format);
    ASSERT_TRUE(ctx && aglSetDrawable(ctx, port.get()) && aglSetCurrentContext(ctx));
    const auto frame = [&](const GLint *rect, float red) {
        ASSERT_TRUE(aglSetInteger(ctx, AGL_BUFFER_RECT, rect) && aglEnable(ctx, AGL_BUFFER_RECT) &&
                    aglUpdateContext(ctx));
        glClearColor(red, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        aglSwapBuffers(ctx);
    };
    const GLint whole[4] = {0, 0, 8, 4}, part[4] = {2, 1, 3, 2}; // x, y from the bottom, width, height
    frame(whole, 1.0f); // red, into the port's own store
    std::vector<uint32_t> lent(8 * 4, 0x12345678u);
    port.drawInto(lent.data());
    frame(part, 0.0f); // black, port rows 1 and 2, columns 2 to 4
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
            EXPECT_EQ(lent[y * 8 + x], inside ? 0xFF000000u : 0xFFFF0000u) << "at " << x << "," << y;
        }
    port.drawInto(nullptr);
    aglSetCurrentContext(nullptr);
    aglSetDrawable(ctx, nullptr);
    aglDestroyContext(ctx);
}

} // namespace
