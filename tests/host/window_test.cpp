// `quorvanta play` in a window, on a private Xvfb server with SDL's dummy
// audio driver, driven with xdotool: frames reach the window, keys go to the
// plug-in first, the host's keys work, resizing sends "swin", q quits.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <thread>

#include "host_test_support.h"
#include "x11_pixel.h"

using namespace qvhosttest;

namespace {

constexpr int kRate = 22050;

// A private X server for the test's life.
class Xvfb {
public:
    Xvfb()
    {
        const std::string xvfb = FindTool("Xvfb");
        if (xvfb.empty())
            return;
        // -displayfd 1: the server picks a free display and prints its number.
        server_ = std::make_unique<Child>(xvfb, std::vector<std::string>{"-displayfd", "1", "-screen", "0",
                                                                         "800x600x24", "-nolisten", "tcp"},
                                          std::map<std::string, std::string>{}, dir_ / "display");
        WaitFor([this] { return ReadText(dir_ / "display").find('\n') != std::string::npos; },
                std::chrono::seconds(20));
        const std::string number = ReadText(dir_ / "display");
        if (!number.empty())
            display_ = ":" + number.substr(0, number.find('\n'));
    }
    const std::string &display() const { return display_; }

private:
    TempDir dir_;
    std::unique_ptr<Child> server_;
    std::string display_;
};

std::vector<std::string> Lines(const std::string &log, const std::string &name)
{
    std::vector<std::string> out;
    for (const std::string &l : ReadLog(log))
        if (l.rfind(name, 0) == 0)
            out.push_back(l);
    return out;
}

bool Logged(const std::string &log, const std::string &line)
{
    const std::vector<std::string> all = ReadLog(log);
    return std::find(all.begin(), all.end(), line) != all.end();
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        xdotool = FindTool("xdotool");
        if (FindTool("Xvfb").empty() || xdotool.empty())
            GTEST_SKIP() << "needs Xvfb and xdotool (packages xvfb, xdotool)";
        server = std::make_unique<Xvfb>();
        ASSERT_FALSE(server->display().empty()) << "Xvfb did not start";
        env = {{"DISPLAY", server->display()}, {"SDL_AUDIODRIVER", "dummy"}, {"QV_SPY_LOG", log}};
    }

    std::string xdo(const std::vector<std::string> &args)
    {
        const RunResult r = RunProgram(xdotool, args, {{"DISPLAY", server->display()}}, std::chrono::seconds(20));
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    }
    void key(const std::string &name) { xdo({"key", "--clearmodifiers", name}); }

    TempDir dir;
    std::string log = dir / "spy.log";
    std::string xdotool;
    std::unique_ptr<Xvfb> server;
    std::map<std::string, std::string> env;
};

TEST_F(WindowTest, PlayShowsFramesTakesKeysAndQuitsOnQ)
{
    // Bin 40 throughout: the spy paints frames red = 40, blue = 255.
    WriteAudio(dir / "tone.wav", MakeClip(kRate, 30.0, [](int, double t) { return BinSine(40, kRate, t); }));
    Child play(ProgramPath(), {"play", dir / "tone.wav", "--size", "320x240", "--plugin", SpyBundlePath()}, env,
               dir / "play.out");
    ASSERT_TRUE(WaitFor([&] { return Lines(log, "vrnd").size() >= 10; }, std::chrono::seconds(30)))
        << ReadText(dir / "play.out.err");
    const std::string id = xdo({"search", "--sync", "--name", "Quorvanta"});
    ASSERT_FALSE(id.empty());
    const std::string window = id.substr(0, id.find('\n'));
    xdo({"windowfocus", "--sync", window});

    // The window shows the port: the spy's colour for bin 40 at full scale.
    EXPECT_TRUE(WaitFor([&] { return WindowPixel(server->display(), std::stoul(window), 100, 100) == 0x2800FFL; },
                        std::chrono::seconds(10)))
        << std::hex << WindowPixel(server->display(), std::stoul(window), 100, 100);

    // n goes to the plug-in (which takes it); space is the host's: pause.
    key("n");
    EXPECT_TRUE(WaitFor([&] { return Logged(log, "vevt 110"); }, std::chrono::seconds(10)));
    key("space");
    EXPECT_TRUE(WaitFor([&] { return Logged(log, "vpau") && Lines(log, "null").size() >= 3; },
                        std::chrono::seconds(10)));
    key("space");
    EXPECT_TRUE(WaitFor([&] { return Logged(log, "vunp"); }, std::chrono::seconds(10)));
    key("Right");
    EXPECT_TRUE(WaitFor([&] { return Logged(log, "setp"); }, std::chrono::seconds(10)));
    EXPECT_TRUE(Logged(log, "vevt 29")); // the arrow as the platform's character code

    // A new window size reaches the plug-in as "swin".
    xdo({"windowsize", "--sync", window, "400", "300"});
    EXPECT_TRUE(WaitFor([&] { return Logged(log, "swin 400 300"); }, std::chrono::seconds(10)));

    key("q");
    EXPECT_EQ(play.wait(std::chrono::seconds(20)), 0) << ReadText(dir / "play.out.err");
    const std::vector<std::string> names = LogNames(ReadLog(log));
    ASSERT_GE(names.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 3),
              (std::vector<std::string>{"init", "show", "vply"}));
    EXPECT_EQ(std::vector<std::string>(names.end() - 5, names.end()),
              (std::vector<std::string>{"vevt", "vstp", "hide", "clr", "module-clr"}));
    // Between show and hide only frames, keys and play-state messages.
    for (const std::string &n : names)
        EXPECT_TRUE(n == "init" || n == "show" || n == "vply" || n == "vrnd" || n == "null" || n == "vevt" ||
                    n == "vpau" || n == "vunp" || n == "setp" || n == "swin" || n == "vstp" || n == "hide" ||
                    n == "clr" || n == "module-clr")
            << n;
}

TEST_F(WindowTest, PlayGoesThroughItsFilesAndEndsByItself)
{
    // Two short files: the first's tone is bin 20, the second's bin 60.
    WriteAudio(dir / "one.wav", MakeClip(kRate, 0.6, [](int, double t) { return BinSine(20, kRate, t); }));
    WriteAudio(dir / "two.wav", MakeClip(kRate, 0.6, [](int, double t) { return BinSine(60, kRate, t); }), 1);
    const RunResult r = RunProgram(ProgramPath(), {"play", dir / "one.wav", dir / "two.wav", "--size", "160x120",
                                                   "--plugin", SpyBundlePath()},
                                   env, std::chrono::seconds(60));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = ReadLog(log);
    const std::vector<std::string> names = LogNames(lines);
    const auto change = std::find(names.begin(), names.end(), "ctrk");
    ASSERT_NE(change, names.end());
    EXPECT_EQ(std::count(names.begin(), names.end(), "ctrk"), 1);
    // What the plug-in saw follows the audio heard: bin 20 before the change
    // of track, bin 60 after it (ignoring the silent moments at the edges).
    int before = 0, after = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (names[i] != "vrnd" || PeakValue(lines[i]) < 250)
            continue;
        if (static_cast<long>(i) < change - names.begin()) {
            EXPECT_EQ(PeakBin(lines[i]), 20) << lines[i];
            ++before;
        } else {
            EXPECT_EQ(PeakBin(lines[i]), 60) << lines[i];
            ++after;
        }
    }
    EXPECT_GT(before, 5);
    EXPECT_GT(after, 5);
    EXPECT_EQ(std::vector<std::string>(names.end() - 4, names.end()),
              (std::vector<std::string>{"vstp", "hide", "clr", "module-clr"}));
}

} // namespace
