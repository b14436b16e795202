// The `quorvanta` VLC module in Debian's VLC through libvlc (the engine of the
// vlc program and of every VLC-based player; unlike the vlc program it runs as
// root), headless: its frames against `quorvanta render`, bad input refused
// with one error while the sound plays on, and repeated opens and closes.
#include <vlc/vlc.h>

#include <gtest/gtest.h>

#include <cstdarg>
#include <mutex>

#include "host/host_test_support.h"
#include "platform/agl_test_hooks.h"
#include "support/image_io.h"

#ifdef QV_ASAN
// libvlc_release unloads VLC's plug-ins before LeakSanitizer looks: what only
// their static data held would read as leaked from "<unknown module>".
extern "C" int dlclose(void *) { return 0; }
#endif

namespace {

using namespace qvtest;

// A libvlc instance with the built module and `args`; what it logs, as
// "module: text" ("module error: text" for errors).
struct Vlc {
    explicit Vlc(Lines args)
    {
        setenv("VLC_PLUGIN_PATH", QV_TEST_VLC_PLUGIN_PATH, 1);
        args.insert(args.begin(), {"--ignore-config", "--quiet", "--audio-visual=quorvanta"});
        std::vector<const char *> argv;
        for (const std::string &a : args)
            argv.push_back(a.c_str());
        vlc = libvlc_new(static_cast<int>(argv.size()), argv.data());
        libvlc_log_set(vlc, &Vlc::Log, this);
    }
    ~Vlc() { libvlc_release(vlc); }
    static void Log(void *self, int level, const libvlc_log_t *context, const char *format, va_list args)
    {
        char text[1024];
        std::vsnprintf(text, sizeof text, format, args);
        const char *module = nullptr, *file = nullptr;
        unsigned line = 0;
        libvlc_log_get_context(context, &module, &file, &line);
        auto *v = static_cast<Vlc *>(self);
        std::lock_guard<std::mutex> hold(v->mutex);
        v->log.push_back(std::string(module ? module : "?") + (level == LIBVLC_ERROR ? " error: " : ": ") + text);
    }
    Lines said(const std::string &start) // the lines that start so
    {
        std::lock_guard<std::mutex> hold(mutex);
        Lines lines;
        std::copy_if(log.begin(), log.end(), back_inserter(lines), [&](auto &l) { return l.rfind(start, 0) == 0; });
        return lines;
    }
    libvlc_instance_t *vlc;
    std::mutex mutex;
    Lines log;
};

// Plays `file` to its end (true) or for at most 30 s.
bool Play(const Vlc &vlc, const std::string &file)
{
    libvlc_media_t *media = libvlc_media_new_path(vlc.vlc, file.c_str());
    libvlc_media_player_t *player = libvlc_media_player_new_from_media(media);
    libvlc_media_release(media);
    libvlc_media_player_play(player);
    const bool ended = WaitFor([&] { return libvlc_media_player_get_state(player) == libvlc_Ended; }, 30s);
    libvlc_media_player_stop(player);
    libvlc_media_player_release(player);
    return ended;
}

// A sweep whose pitch and level move, so that frames differ.
float Sweep(int channel, double t) { return float((0.3 + 0.3 * t) * std::sin(2 * M_PI * (150 + 500 * t + 200 * channel) * t)); }

// The visual keeps its bass level while the bundle is loaded, for the life of
// the process: only a process's first stream starts where `quorvanta render`
// starts. So each clip is a test of its own, run by ctest in a process of its own.
class FramesEqualTheProgram : public testing::TestWithParam<std::tuple<int, int, int, int, int>> {};

TEST_P(FramesEqualTheProgram, FrameForFrame)
{
    static int runs = 0;
    if (runs++ > 0)
        GTEST_SKIP() << "needs a process of its own";
    const auto [rate, channels, frameRate, width, height] = GetParam();
    const std::string w = std::to_string(width), h = std::to_string(height), fps = std::to_string(frameRate);
    TempDir dir;
    WriteAudio(dir / "in.wav", rate, 2.0, Sweep, channels);
    const RunResult r = Execute(kProgram, {"render", dir / "in.wav", "-o", dir / "%04d.png", "--size", w + "x" + h, "--fps", fps, "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    // VLC's scene filter writes every picture shown as s00001.png ...; no
    // title over the first seconds, no time-stretching before the visual, no
    // late picture dropped, the sound 300 ms after playback starts (so that
    // frame 0 is not due before the vout runs).
    Vlc vlc({"--aout=adummy", "--vout=vdummy", "--video-filter=scene", "--scene-format=png", "--scene-ratio=1",
             "--scene-path=" + dir.path, "--scene-prefix=s", "--no-video-title-show", "--no-audio-time-stretch",
             "--no-drop-late-frames", "--audio-desync=300", "--quorvanta-width=" + w, "--quorvanta-height=" + h,
             "--quorvanta-fps=" + fps});
    ASSERT_TRUE(Play(vlc, dir / "in.wav"));
    std::vector<Image> shown; // VLC shows the last picture again when none is due for a while
    Image p;
    char name[32];
    for (int i = 1; std::snprintf(name, sizeof name, "s%05d.png", i), ReadPng(dir / name, p); ++i)
        if (shown.empty() || Compare(p, shown.back(), 0).beyondTolerance > 0)
            shown.push_back(p);
    for (size_t n = 0; n < shown.size(); ++n) {
        Image expected;
        std::snprintf(name, sizeof name, "%04zu.png", n);
        ASSERT_TRUE(ReadPng(dir / name, expected)) << "shown more than the " << n << " frames rendered";
        ASSERT_EQ(Compare(shown[n], expected, 0).beyondTolerance, 0) << "frame " << n;
    }
    std::snprintf(name, sizeof name, "%04zu.png", shown.size());
    EXPECT_FALSE(fs::exists(dir / name)) << "frame " << shown.size() << " rendered, not shown";
}

// 44.1 kHz at 24 fps puts every other frame half a sample past a whole step;
// the mono file reaches the module as it is.
// (rate, channels, frames per second, width, height)
INSTANTIATE_TEST_SUITE_P(Module, FramesEqualTheProgram, testing::Values(std::make_tuple(48000, 2, 60, 192, 108),
                                                                        std::make_tuple(44100, 1, 24, 96, 64)));

// Each way the visual cannot start: one error line from the module, which
// does not open; VLC plays the sound whole (its afile output writes it).
TEST(Module, BadInputIsRefusedWithOneErrorAndTheSoundPlaysOn)
{
    TempDir dir;
    WriteAudio(dir / "in.wav", 48000, 0.5, Sweep);
    const std::string in = ReadText(dir / "in.wav"), sound = in.substr(in.size() - 48000 / 2 * 4);
    const struct {
        std::string option;  // besides a size the spy bundle takes
        const char *refuse;  // QV_SPY_REFUSE
        QVAGLCall failing;   // an AGL call that fails
        std::string says;
    } rows[] = {
        {"--quorvanta-plugin=/nonexistent/quorvanta.so", nullptr, QVAGLCall(0), "/nonexistent/quorvanta.so: no plug-in bundle there"},
        {"--quorvanta-plugin=" + kNoEntryBundle, nullptr, QVAGLCall(0), ": not a visual plug-in bundle"},
        {"--quorvanta-plugin=" + kSpyBundle, "init", QVAGLCall(0), ": the visual plug-in failed to initialise"},
        {"--quorvanta-plugin=" + kSpyBundle, "show", QVAGLCall(0), ": the visual plug-in failed to show"},
        {"--quorvanta-width=4001", nullptr, QVAGLCall(0), ": 4001x48 is outside the frame sizes the plug-in accepts"},
        {"--quorvanta-plugin=" + kBundle, nullptr, kQVAGLCreateContext, ": the visual plug-in failed to show"}, // no GL
        {"--quorvanta-fps=0", nullptr, QVAGLCall(0), "quorvanta-fps 0: must be 1 to 1000"},
        {"--quorvanta-height=40000", nullptr, QVAGLCall(0), "quorvanta-height 40000: must be 1 to 32767"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.option);
        row.refuse ? setenv("QV_SPY_REFUSE", row.refuse, 1) : unsetenv("QV_SPY_REFUSE");
        if (row.failing)
            QVAGL_FailCall(row.failing, -1);
        Vlc vlc({"--aout=afile", "--audiofile-file=" + dir / "out.wav", "--audiofile-format=s16", "--audiofile-wav",
                 "--quorvanta-plugin=" + kSpyBundle, "--quorvanta-width=64", "--quorvanta-height=48", row.option});
        EXPECT_TRUE(Play(vlc, dir / "in.wav"));
        QVAGL_ResetFailures();
        const Lines errors = vlc.said("quorvanta error: ");
        ASSERT_EQ(errors.size(), 1u) << testing::PrintToString(vlc.log);
        EXPECT_NE(errors[0].find(row.says), std::string::npos) << errors[0];
        EXPECT_EQ(vlc.said("main: using visualization module").size(), 0u);
        EXPECT_TRUE(ReadText(dir / "out.wav").substr(44) == sound) << "the sound played whole";
    }
    unsetenv("QV_SPY_REFUSE");
}

// What the cycles leave in memory LeakSanitizer reports at the end of the
// sanitizer build's run; here, the GL contexts the visual made.
TEST(Module, OpensAndClosesLeaveNothingBehind)
{
    TempDir dir;
    WriteAudio(dir / "in.wav", 48000, 0.3, Sweep);
    Vlc vlc({"--aout=adummy", "--vout=vdummy", "--quorvanta-width=64", "--quorvanta-height=36"});
    for (int cycle = 0; cycle < 20; ++cycle)
        ASSERT_TRUE(Play(vlc, dir / "in.wav")) << "cycle " << cycle;
    EXPECT_EQ(vlc.said("quorvanta: showing the visual at 64x36").size(), 20u);
    EXPECT_EQ(QVAGL_LiveContextCount(), 0);
    EXPECT_EQ(QVAGL_LiveFramebufferCount(), 0);
}

} // namespace
