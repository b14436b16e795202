// `quorvanta live` capturing a monitor source: a private PulseAudio daemon
// with a null sink, a tone played into the sink, and the spectra the spy
// bundle receives peaking at the tone's bin.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <thread>

#include "host_test_support.h"

using namespace qvhosttest;

namespace {

constexpr int kRate = 48000; // what live captures at
constexpr int kToneBin = 50; // 2343.75 Hz

// A PulseAudio daemon of the test's own, stopped by its process id.
class PulseDaemon {
public:
    explicit PulseDaemon(const std::string &sink) : sink_(sink)
    {
        chmod(runtime_.path().c_str(), 0700);
        env_ = {{"XDG_RUNTIME_DIR", runtime_.path()},
                {"HOME", runtime_.path()},
                {"PULSE_SERVER", "unix:" + runtime_ / "pulse/native"}};
        const RunResult r = RunProgram(FindTool("pulseaudio"),
                                       {"--daemonize=yes", "--exit-idle-time=-1", "-n", "--log-target=stderr",
                                        "--load=module-null-sink sink_name=" + sink,
                                        "--load=module-native-protocol-unix"},
                                       {{"XDG_RUNTIME_DIR", runtime_.path()}, {"HOME", runtime_.path()}},
                                       std::chrono::seconds(30));
        error_ = r.err;
        const std::string pid = ReadText(runtime_ / "pulse/pid");
        if (r.status == 0 && !pid.empty())
            pid_ = std::stoi(pid);
    }
    ~PulseDaemon()
    {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        WaitFor([this] { return kill(pid_, 0) != 0; }, std::chrono::seconds(10));
    }
    bool running() const { return pid_ > 0; }
    const std::string &error() const { return error_; }
    // What a client of this daemon needs in its environment.
    const std::map<std::string, std::string> &env() const { return env_; }

private:
    TempDir runtime_;
    std::string sink_;
    std::map<std::string, std::string> env_;
    std::string error_;
    int pid_ = -1;
};

std::vector<std::string> LoudFrames(const std::string &log)
{
    std::vector<std::string> out;
    for (const std::string &l : ReadLog(log))
        if (l.rfind("vrnd", 0) == 0 && PeakValue(l) >= 200)
            out.push_back(l);
    return out;
}

class LiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (FindTool("pulseaudio").empty() || FindTool("paplay").empty())
            GTEST_SKIP() << "needs pulseaudio and paplay (packages pulseaudio, pulseaudio-utils)";
        pulse = std::make_unique<PulseDaemon>("qvlive");
        ASSERT_TRUE(pulse->running()) << pulse->error();
        WriteAudio(dir / "tone.wav",
                   MakeClip(kRate, 30.0, [](int, double t) { return BinSine(kToneBin, kRate, t, 0.5f); }));
        env = pulse->env();
        env["SDL_AUDIODRIVER"] = "pulseaudio";
        env["SDL_VIDEODRIVER"] = "dummy";
        env["QV_SPY_LOG"] = log;
    }

    // Runs live with `args` until the spy has seen `frames` loud frames,
    // then ends it as a window manager would (SIGTERM), and checks the end.
    void capture(const std::vector<std::string> &args, size_t frames)
    {
        std::vector<std::string> all = {"live", "--size", "64x48", "--plugin", SpyBundlePath()};
        all.insert(all.end(), args.begin(), args.end());
        Child live(ProgramPath(), all, env, dir / "live.out");
        // The null sink works in blocks of up to two seconds, so the first
        // captured audio can take that long to arrive.
        EXPECT_TRUE(WaitFor([&] { return LoudFrames(log).size() >= frames; }, std::chrono::seconds(30)))
            << ReadText(dir / "live.out.err");
        kill(live.pid(), SIGTERM);
        EXPECT_EQ(live.wait(std::chrono::seconds(20)), 0) << ReadText(dir / "live.out.err");
        const std::vector<std::string> names = LogNames(ReadLog(log));
        ASSERT_GE(names.size(), 4u);
        EXPECT_EQ(std::vector<std::string>(names.end() - 4, names.end()),
                  (std::vector<std::string>{"vstp", "hide", "clr", "module-clr"}));
    }

    TempDir dir;
    std::string log = dir / "spy.log";
    std::unique_ptr<PulseDaemon> pulse;
    std::map<std::string, std::string> env;
};

TEST_F(LiveTest, ListsTheMonitorOfTheSink)
{
    const RunResult r = RunProgram(ProgramPath(), {"live", "--list-devices"}, env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("* Monitor of "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(monitor)"), std::string::npos) << r.out;
}

TEST_F(LiveTest, CapturedSpectraPeakAtTheTonesBin)
{
    std::map<std::string, std::string> playEnv = pulse->env();
    Child player(FindTool("paplay"), {"-d", "qvlive", dir / "tone.wav"}, playEnv);
    // Named by its PulseAudio source name, then the default: the monitor of
    // the default output, which is the null sink.
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"--device", "qvlive.monitor"}, std::vector<std::string>{}}) {
        SCOPED_TRACE(args.empty() ? "default device" : args[1]);
        std::remove(log.c_str());
        capture(args, 20);
        const std::vector<std::string> loud = LoudFrames(log);
        for (const std::string &l : loud) {
            EXPECT_EQ(PeakBin(l, 0), kToneBin) << l;
            EXPECT_EQ(PeakBin(l, 1), kToneBin) << l;
        }
    }
}

TEST_F(LiveTest, AnUnknownDeviceIsRefused)
{
    const RunResult r =
        RunProgram(ProgramPath(), {"live", "--device", "no-such-source", "--plugin", SpyBundlePath()}, env);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("quorvanta: no-such-source: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

} // namespace
