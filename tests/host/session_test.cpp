// The window sessions, with the spy bundle: `quorvanta play` on a private
// Xvfb server (SDL's dummy audio driver) driven with xdotool, and `quorvanta
// live` capturing the monitor of a private PulseAudio daemon's null sink
// while a tone plays into it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "host_test_support.h"
#include "x11_pixel.h"

using namespace qvhosttest;

namespace {

bool Logged(const std::string &log, const std::string &line)
{
    const std::vector<std::string> all = ReadLog(log);
    return std::find(all.begin(), all.end(), line) != all.end();
}

// The frames whose channel 0 peaks near full scale (the tone, not the silence at the edges).
std::vector<std::string> LoudFrames(const std::string &log)
{
    std::vector<std::string> out;
    for (const std::string &l : ReadLog(log))
        if (l.rfind("vrnd", 0) == 0 && PeakByte(l) >= 200)
            out.push_back(l);
    return out;
}

TEST(Window, PlayShowsFramesTakesKeysAndQuitsOnQ)
{
    const std::string xvfb = FindTool("Xvfb"), xdotool = FindTool("xdotool");
    if (xvfb.empty() || xdotool.empty())
        GTEST_SKIP() << "needs Xvfb and xdotool (packages xvfb, xdotool)";
    TempDir dir;
    // -displayfd 1: the server picks a free display and prints its number.
    Child server(xvfb, {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"}, {}, dir / "display");
    ASSERT_TRUE(WaitFor([&] { return ReadText(dir / "display").find('\n') != std::string::npos; }, 20s));
    const std::string display = ":" + ReadText(dir / "display").substr(0, ReadText(dir / "display").find('\n'));
    auto xdo = [&](const std::vector<std::string> &args) {
        const RunResult r = Execute(xdotool, args, {{"DISPLAY", display}}, 20s);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out.substr(0, r.out.find('\n'));
    };

    // A short first track (bin 20), then a long mono one (bin 40) for the keys.
    const int rate = 22050;
    const std::string log = dir / "spy.log";
    WriteAudio(dir / "one.wav", Tone(20, rate, 0.6));
    WriteAudio(dir / "two.wav", Tone(40, rate, 30.0), 1);
    Child play(kProgram, {"play", dir / "one.wav", dir / "two.wav", "--size", "320x240", "--plugin", kSpyBundle},
               {{"DISPLAY", display}, {"SDL_AUDIODRIVER", "dummy"}, {"QV_SPY_LOG", log}}, dir / "play.out");
    ASSERT_TRUE(WaitFor([&] {
        const std::vector<std::string> loud = LoudFrames(log);
        return Logged(log, "ctrk") && !loud.empty() && PeakBin(loud.back()) == 40;
    }, 30s))
        << ReadText(dir / "play.out.err");
    const std::string window = xdo({"search", "--sync", "--name", "Quorvanta"});
    ASSERT_FALSE(window.empty());
    xdo({"windowfocus", "--sync", window});
    // The window shows the port: the spy's colour for bin 40 at full scale.
    EXPECT_TRUE(WaitFor([&] { return WindowPixel(display, std::stoul(window), 100, 100) == 0x2800FF; }, 10s))
        << std::hex << WindowPixel(display, std::stoul(window), 100, 100);

    // Keys go to the plug-in first (as their character code; none for keys
    // without a character), then to the host: space pauses, arrows seek.
    const struct {
        const char *key;
        std::vector<std::string> logged;
    } keys[] = {{"F5", {}}, {"n", {"vevt 110"}}, {"space", {"vevt 32", "vpau"}}, {"space", {"vunp"}},
                {"Right", {"vevt 29", "setp"}}};
    for (const auto &k : keys) {
        xdo({"key", "--clearmodifiers", k.key});
        for (const std::string &line : k.logged)
            EXPECT_TRUE(WaitFor([&] { return Logged(log, line); }, 10s)) << k.key << ": " << line;
    }
    EXPECT_FALSE(Logged(log, "vevt 0"));
    // A new window size reaches the plug-in as "swin".
    xdo({"windowsize", "--sync", window, "400", "300"});
    EXPECT_TRUE(WaitFor([&] { return Logged(log, "swin 400 300"); }, 10s));

    xdo({"key", "--clearmodifiers", "q"});
    EXPECT_EQ(play.wait(20s), 0) << ReadText(dir / "play.out.err");
    const std::vector<std::string> names = LogNames(log);
    ASSERT_GE(names.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 3), (std::vector<std::string>{"init", "show", "vply"}));
    EXPECT_EQ(Last(names, 5), (std::vector<std::string>{"vevt", "vstp", "hide", "clr", "module-clr"}));
    // What the plug-in saw follows the audio heard: one change of track, bin 20 before it, bin 40 after.
    EXPECT_EQ(std::count(names.begin(), names.end(), "ctrk"), 1);
    bool changed = false;
    for (const std::string &line : ReadLog(log)) {
        changed = changed || line == "ctrk";
        if (line.rfind("vrnd", 0) == 0 && PeakByte(line) >= 250) {
            EXPECT_EQ(PeakBin(line), changed ? 40 : 20) << line;
        }
    }
}

TEST(Live, CapturedSpectraPeakAtTheTonesBin)
{
    if (FindTool("pulseaudio").empty() || FindTool("paplay").empty())
        GTEST_SKIP() << "needs pulseaudio and paplay (packages pulseaudio, pulseaudio-utils)";
    TempDir dir, runtime;
    chmod(runtime.path.c_str(), 0700);
    std::map<std::string, std::string> env = {{"XDG_RUNTIME_DIR", runtime.path}, {"HOME", runtime.path}};
    const RunResult daemon = Execute(FindTool("pulseaudio"),
                                 {"--daemonize=yes", "--exit-idle-time=-1", "-n", "--log-target=stderr",
                                  "--load=module-null-sink sink_name=qvlive", "--load=module-native-protocol-unix"},
                                 env, 30s);
    ASSERT_EQ(daemon.status, 0) << daemon.err;
    // The daemon of this test, stopped at its end by its process id.
    struct Stop {
        int pid;
        ~Stop()
        {
            kill(pid, SIGTERM);
            WaitFor([this] { return kill(pid, 0) != 0; }, 10s);
        }
    } stop{std::stoi(ReadText(runtime / "pulse/pid"))};
    env["PULSE_SERVER"] = "unix:" + runtime / "pulse/native";

    const int bin = 50; // 2343.75 Hz at the 48 kHz live captures at
    WriteAudio(dir / "tone.wav", Tone(bin, 48000, 30.0, 0.5f));
    Child player(FindTool("paplay"), {"-d", "qvlive", dir / "tone.wav"}, env);
    const RunResult unknown = Execute(kProgram, {"live", "--device", "no-such-source", "--plugin", kSpyBundle}, env);
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err.rfind("quorvanta: no-such-source: ", 0), 0u) << unknown.err;
    EXPECT_EQ(std::count(unknown.err.begin(), unknown.err.end(), '\n'), 1) << unknown.err;

    // The default device: the monitor of the default output, the null sink.
    const std::string log = dir / "spy.log";
    env.insert({{"SDL_AUDIODRIVER", "pulseaudio"}, {"SDL_VIDEODRIVER", "dummy"}, {"QV_SPY_LOG", log}});
    Child live(kProgram, {"live", "--size", "64x48", "--plugin", kSpyBundle}, env, dir / "live.out");
    // The null sink works in blocks of up to two seconds: the first audio can take that long.
    EXPECT_TRUE(WaitFor([&] { return LoudFrames(log).size() >= 20; }, 30s)) << ReadText(dir / "live.out.err");
    kill(live.pid(), SIGTERM); // as a window manager ends it
    EXPECT_EQ(live.wait(20s), 0) << ReadText(dir / "live.out.err");
    for (const std::string &l : LoudFrames(log)) {
        EXPECT_EQ(PeakBin(l, 0), bin) << l;
        EXPECT_EQ(PeakBin(l, 1), bin) << l;
    }
    EXPECT_EQ(Last(LogNames(log), 4), (std::vector<std::string>{"vstp", "hide", "clr", "module-clr"}));
}

} // namespace
