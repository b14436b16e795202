// The window sessions, with the spy bundle: `quorvanta play` on a private
// Xvfb server (SDL's dummy audio driver) driven with xdotool, and `quorvanta
// live` capturing the monitor of a private PulseAudio daemon's null sink
// while a tone plays into it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "host_test_support.h"
// Last: Xlib's macros (None, Bool, Status...) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace qvtest;

namespace {

bool Logged(const std::string &log, const std::string &line)
{
    const Lines all = ReadLog(log);
    return std::find(all.begin(), all.end(), line) != all.end();
}

// Peaks() of the frames whose channel 0 peaks at `byte` or more (the tone, not the silence at its edges).
std::vector<std::array<int, 3>> LoudFrames(const std::string &log, int byte = 200)
{
    std::vector<std::array<int, 3>> out;
    for (const std::string &l : ReadLog(log))
        if (Peaks(l)[2] >= byte)
            out.push_back(Peaks(l));
    return out;
}

// The 24-bit colour at (x, y) of window `id` on `display`, or -1.
long WindowPixel(const std::string &display, unsigned long id, int x, int y)
{
    Display *d = XOpenDisplay(display.c_str());
    XImage *image = d ? XGetImage(d, id, x, y, 1, 1, AllPlanes, ZPixmap) : nullptr;
    const long pixel = image ? static_cast<long>(XGetPixel(image, 0, 0) & 0xFFFFFF) : -1;
    if (image)
        XDestroyImage(image);
    if (d)
        XCloseDisplay(d);
    return pixel;
}

bool Have(const std::string &tools) { return Execute("/bin/sh", {"-c", "command -v " + tools}).status == 0; }

TEST(Window, PlayShowsFramesTakesKeysAndQuitsOnQ)
{
    if (!Have("Xvfb xdotool"))
        GTEST_SKIP() << "needs Xvfb and xdotool (packages xvfb, xdotool)";
    TempDir dir;
    // -displayfd 1: the server picks a free display and prints its number.
    Child server("Xvfb", {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"}, {}, dir / "display");
    ASSERT_TRUE(WaitFor([&] { return ReadText(dir / "display").find('\n') != std::string::npos; }, 20s));
    const Env env = {{"DISPLAY", ":" + ReadText(dir / "display").substr(0, ReadText(dir / "display").find('\n'))},
                     {"SDL_AUDIODRIVER", "dummy"},
                     {"QV_SPY_LOG", dir / "spy.log"}};
    auto xdo = [&](const Lines &args) {
        const RunResult r = Execute("xdotool", args, env, 20s);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out.substr(0, r.out.find('\n'));
    };

    // A short first track at bin 20, then a long mono one at bin 40 for the keys.
    WriteAudio(dir / "one.wav", 22050, 0.6, Tone(20, 22050));
    WriteAudio(dir / "two.wav", 22050, 30.0, Tone(40, 22050), 1);
    Child play(kProgram, {"play", dir / "one.wav", dir / "two.wav", "--size", "320x240", "--plugin", kSpyBundle}, env,
               dir / "play.out");
    ASSERT_TRUE(WaitFor(
        [&] {
            const auto loud = LoudFrames(dir / "spy.log");
            return Logged(dir / "spy.log", "ctrk") && !loud.empty() && loud.back()[0] == 40;
        },
        30s))
        << ReadText(dir / "play.out.err");
    const std::string window = xdo({"search", "--sync", "--name", "Quorvanta"});
    xdo({"windowfocus", "--sync", window});
    EXPECT_EQ(xdo({"getwindowname", window}), "Quorvanta - two.wav"); // the playing file's name
    // The window shows the port: the spy's colour for bin 40 at full scale.
    EXPECT_TRUE(WaitFor([&] { return WindowPixel(env.at("DISPLAY"), std::stoul(window), 100, 100) == 0x2800FF; }, 10s));

    // Keys go to the plug-in first, as their character code (none for keys
    // without a character), then to the host: space pauses, and the picture
    // holds (no frame is drawn) until it goes on; arrows seek.
    const struct {
        const char *key;
        Lines logged;
        bool holds;
    } keys[] = {{"F5", {}, false},
                {"n", {"vevt 110"}, false},
                {"space", {"vevt 32", "vpau"}, true},
                {"space", {"vunp"}, false},
                {"Right", {"vevt 29", "setp"}, false}};
    for (const auto &k : keys) {
        xdo({"key", "--clearmodifiers", k.key});
        for (const std::string &line : k.logged)
            EXPECT_TRUE(WaitFor([&] { return Logged(dir / "spy.log", line); }, 10s)) << k.key << ": " << line;
        const size_t lines = ReadLog(dir / "spy.log").size();
        std::this_thread::sleep_for(300ms); // ten frames and more
        EXPECT_EQ(ReadLog(dir / "spy.log").size() == lines, k.holds) << k.key;
    }
    EXPECT_FALSE(Logged(dir / "spy.log", "vevt 0"));
    // A new window size reaches the plug-in as "swin".
    xdo({"windowsize", "--sync", window, "400", "300"});
    EXPECT_TRUE(WaitFor([&] { return Logged(dir / "spy.log", "swin 400 300"); }, 10s));

    xdo({"key", "--clearmodifiers", "q"});
    EXPECT_EQ(play.wait(20s), 0) << ReadText(dir / "play.out.err");
    const Lines names = LogNames(dir / "spy.log");
    EXPECT_EQ(Lines(names.begin(), names.begin() + 3), (Lines{"init", "show", "vply"}));
    EXPECT_EQ(Last(names, 5), (Lines{"vevt", "vstp", "hide", "clr", "module-clr"}));
    // What the plug-in saw follows the audio heard: one change of track, bin 20 before it, bin 40 after.
    EXPECT_EQ(std::count(names.begin(), names.end(), "ctrk"), 1);
    bool changed = false;
    for (const std::string &line : ReadLog(dir / "spy.log")) {
        changed = changed || line == "ctrk";
        if (Peaks(line)[2] >= 250) {
            EXPECT_EQ(Peaks(line)[0], changed ? 40 : 20) << line;
        }
    }
}

TEST(Live, CapturedSpectraPeakAtTheTonesBin)
{
    if (!Have("pulseaudio paplay"))
        GTEST_SKIP() << "needs pulseaudio and paplay (packages pulseaudio, pulseaudio-utils)";
    TempDir dir, runtime;
    chmod(runtime.path.c_str(), 0700);
    Env env = {{"XDG_RUNTIME_DIR", runtime.path}, {"HOME", runtime.path}};
    const RunResult daemon = Execute("pulseaudio",
                                     {"--daemonize=yes", "--exit-idle-time=-1", "-n", "--log-target=stderr",
                                      "--load=module-null-sink sink_name=qvlive", "--load=module-native-protocol-unix"},
                                     env, 30s);
    ASSERT_EQ(daemon.status, 0) << daemon.err;
    struct Stop { // the test's own daemon, by its process id
        int pid;
        ~Stop()
        {
            kill(pid, SIGTERM);
            WaitFor([this] { return kill(pid, 0) != 0; }, 10s);
        }
    } stop{std::stoi(ReadText(runtime / "pulse/pid"))};

    // A tone at bin 50 (2343.75 Hz at the 48 kHz live captures at) into the
    // null sink, whose monitor is the default capture device (marked '*').
    env.insert({{"PULSE_SERVER", "unix:" + runtime / "pulse/native"},
                {"SDL_AUDIODRIVER", "pulseaudio"},
                {"SDL_VIDEODRIVER", "dummy"},
                {"QV_SPY_LOG", dir / "spy.log"}});
    WriteAudio(dir / "tone.wav", 48000, 30.0, Tone(50, 48000, 0.5f));
    Child player("paplay", {"-d", "qvlive", dir / "tone.wav"}, env);
    EXPECT_NE(Execute(kProgram, {"live", "--list-devices"}, env).out.find("* Monitor of "), std::string::npos);
    // Named by a unique part of its name, in any case.
    Child live(kProgram, {"live", "--device", "null OUTPUT", "--size", "64x48", "--plugin", kSpyBundle}, env,
               dir / "live.out");
    // The null sink works in blocks of up to two seconds: the first audio can take that long.
    EXPECT_TRUE(WaitFor([&] { return LoudFrames(dir / "spy.log").size() >= 20; }, 30s))
        << ReadText(dir / "live.out.err");
    kill(live.pid(), SIGTERM); // as a window manager ends it
    EXPECT_EQ(live.wait(20s), 0) << ReadText(dir / "live.out.err");
    for (const auto &peaks : LoudFrames(dir / "spy.log")) {
        EXPECT_EQ(peaks[0], 50);
        EXPECT_EQ(peaks[1], 50);
    }
    EXPECT_EQ(Last(LogNames(dir / "spy.log"), 4), (Lines{"vstp", "hide", "clr", "module-clr"}));
}

} // namespace
