// The `quorvanta` VLC module in Debian's VLC, driven through libvlc (the
// engine of the vlc program and of every VLC-based player; unlike the vlc
// program it runs as root): VLC lists it, its frames against `quorvanta
// render` of the same file, bad input refused with one error while the sound
// plays on, and repeated opens and closes.
#include <vlc/vlc.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdarg>
#include <cstring>
#include <mutex>

#include "host/host_test_support.h"
#include "platform/agl_test_hooks.h"
#include "support/image_io.h"

#ifdef QV_ASAN
// libvlc_release unloads every plug-in before LeakSanitizer looks: what only
// a plug-in's static data held would read as leaked from "<unknown module>".
// Kept loaded, the report names the plug-in that leaked.
extern "C" int dlclose(void *) { return 0; }
#endif

namespace {

using namespace qvtest;

// Keep VLC from touching the frames or their timing: no title drawn over the
// first seconds, no time-stretching filter before the visual, no late
// picture dropped, and the sound (so the first frames) 300 ms later than
// the start of playback, so that frame 0 is not due before the vout runs.
const Lines kExact = {"--no-video-title-show", "--no-audio-time-stretch", "--no-drop-late-frames",
                      "--audio-desync=300"};

struct Log {
    std::mutex mutex;
    Lines errors, all; // "module: text"
};

void OnLog(void *data, int level, const libvlc_log_t *context, const char *format, va_list args)
{
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    const char *module = nullptr, *file = nullptr;
    unsigned line = 0;
    libvlc_log_get_context(context, &module, &file, &line);
    auto *log = static_cast<Log *>(data);
    const std::string entry = std::string(module ? module : "?") + ": " + text;
    std::lock_guard<std::mutex> hold(log->mutex);
    if (level == LIBVLC_ERROR)
        log->errors.push_back(entry);
    log->all.push_back(entry);
}

// A libvlc instance with the built module and `args`, its log kept.
class Vlc {
public:
    explicit Vlc(Lines args)
    {
        setenv("VLC_PLUGIN_PATH", QV_TEST_VLC_PLUGIN_PATH, 1);
        args.insert(args.begin(), {"--ignore-config", "--no-media-library", "--quiet", "--audio-visual=quorvanta"});
        std::vector<const char *> argv;
        for (const std::string &a : args)
            argv.push_back(a.c_str());
        vlc_ = libvlc_new(static_cast<int>(argv.size()), argv.data());
        if (vlc_)
            libvlc_log_set(vlc_, OnLog, &log);
    }
    ~Vlc()
    {
        if (vlc_)
            libvlc_release(vlc_); // stops the log first
    }
    libvlc_instance_t *get() const { return vlc_; }
    size_t count(const std::string &text)
    {
        std::lock_guard<std::mutex> hold(log.mutex);
        return std::count_if(log.all.begin(), log.all.end(), [&](const std::string &l) { return l.find(text) != l.npos; });
    }
    Log log;

private:
    libvlc_instance_t *vlc_ = nullptr;
};

// The pictures VLC shows, through libvlc's video callbacks: RV32 at the
// module's size, copied by VLC into our buffer as they are.
struct Frames {
    int width = 0, height = 0;
    std::mutex mutex;
    std::vector<uint32_t> buffer;
    std::vector<Image> shown;

    static void *Lock(void *self, void **planes)
    {
        *planes = static_cast<Frames *>(self)->buffer.data();
        return nullptr;
    }
    static void Unlock(void *, void *, void *const *) {}
    static void Display(void *self, void *)
    {
        auto *f = static_cast<Frames *>(self);
        std::lock_guard<std::mutex> hold(f->mutex);
        f->shown.push_back({f->width, f->height, f->buffer});
    }
    static unsigned Format(void **self, char *chroma, unsigned *width, unsigned *height, unsigned *pitches, unsigned *lines)
    {
        auto *f = static_cast<Frames *>(*self);
        std::memcpy(chroma, "RV32", 4);
        *width = static_cast<unsigned>(f->width);
        *height = static_cast<unsigned>(f->height);
        pitches[0] = *width * 4;
        lines[0] = *height;
        f->buffer.assign(static_cast<size_t>(f->width) * f->height, 0);
        return 1;
    }
};

struct Ended {
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;
    static void On(const libvlc_event_t *, void *self)
    {
        auto *e = static_cast<Ended *>(self);
        std::lock_guard<std::mutex> hold(e->mutex);
        e->ended = true;
        e->changed.notify_all();
    }
};

// Plays `file` to its end (true) or for at most 30 s, its pictures to `frames`
// (or to the instance's own video output).
bool Play(const Vlc &vlc, const std::string &file, Frames *frames = nullptr)
{
    libvlc_media_t *media = libvlc_media_new_path(vlc.get(), file.c_str());
    libvlc_media_player_t *player = libvlc_media_player_new_from_media(media);
    libvlc_media_release(media);
    if (frames) {
        libvlc_video_set_callbacks(player, Frames::Lock, Frames::Unlock, Frames::Display, frames);
        libvlc_video_set_format_callbacks(player, Frames::Format, nullptr);
    }
    Ended e;
    libvlc_event_manager_t *events = libvlc_media_player_event_manager(player);
    libvlc_event_attach(events, libvlc_MediaPlayerEndReached, Ended::On, &e);
    libvlc_media_player_play(player);
    bool ended;
    {
        std::unique_lock<std::mutex> hold(e.mutex);
        ended = e.changed.wait_for(hold, 30s, [&] { return e.ended; });
    }
    libvlc_media_player_stop(player);
    libvlc_media_player_release(player);
    return ended;
}

// A sweep whose pitch and level move, so that frames differ.
float Sweep(int channel, double t)
{
    return float((0.3 + 0.3 * t) * std::sin(2 * M_PI * (150 + 500 * t + 200 * channel) * t));
}

// Consecutive equal frames as one: VLC shows the last picture again when no
// new one is due for a while, and a render may draw the same frame twice.
std::vector<Image> Distinct(const std::vector<Image> &frames)
{
    std::vector<Image> out;
    for (const Image &f : frames)
        if (out.empty() || Compare(f, out.back(), 0).beyondTolerance > 0)
            out.push_back(f);
    return out;
}

TEST(Module, VlcListsItAsAVisualizationAndItDeclaresItsLicence)
{
    TempDir dir;
    // libvlc prints the list and ends the process: in a child.
    const pid_t child = fork();
    if (child == 0) {
        if (freopen((dir / "list").c_str(), "w", stdout) && freopen("/dev/null", "w", stderr)) {
            setenv("VLC_PLUGIN_PATH", QV_TEST_VLC_PLUGIN_PATH, 1);
            const char *argv[] = {"--ignore-config", "--list-verbose"};
            libvlc_new(2, argv);
        }
        _exit(1);
    }
    waitpid(child, nullptr, 0);
    const std::string list = ReadText(dir / "list");
    EXPECT_NE(list.find("  quorvanta              Quorvanta music visual\n   c visualization (0)\n"), list.npos) << list;

    void *module = dlopen(QV_TEST_VLC_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(module) << dlerror();
    const auto license = reinterpret_cast<const char *(*)()>(dlsym(module, "vlc_entry_license__3_0_0f"));
    ASSERT_TRUE(license);
    EXPECT_STREQ(license(), "Licensed under the terms of the MIT License.");
}

// The visual keeps its bass level while the bundle is loaded, for the life of
// the process: only the first stream a process shows starts where `quorvanta
// render` starts. So each clip is a test of its own, run by ctest in a
// process of its own.
struct Clip {
    int rate, channels, fps, width, height;
};
void PrintTo(const Clip &c, std::ostream *out) { *out << c.rate << " Hz, " << c.channels << " ch, " << c.fps << " fps"; }
class FramesEqualTheProgram : public testing::TestWithParam<Clip> {};

TEST_P(FramesEqualTheProgram, FrameForFrame)
{
    static int runs = 0;
    if (runs++ > 0)
        GTEST_SKIP() << "needs a process of its own";
    const Clip clip = GetParam();
    TempDir dir;
    WriteAudio(dir / "in.wav", clip.rate, 2.0, Sweep, clip.channels);
    const RunResult r = Execute(kProgram, {"render", dir / "in.wav", "-o", dir / "%04d.png", "--size",
                                           std::to_string(clip.width) + "x" + std::to_string(clip.height), "--fps",
                                           std::to_string(clip.fps), "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<Image> rendered(dir.entries().size() - 1); // all but in.wav
    for (size_t n = 0; n < rendered.size(); ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "%04zu.png", n);
        ASSERT_TRUE(ReadPng(dir / name, rendered[n])) << name;
    }

    Lines args = kExact;
    args.insert(args.end(), {"--aout=adummy", "--quorvanta-width=" + std::to_string(clip.width),
                             "--quorvanta-height=" + std::to_string(clip.height),
                             "--quorvanta-fps=" + std::to_string(clip.fps)});
    Vlc vlc(args);
    Frames frames;
    frames.width = clip.width;
    frames.height = clip.height;
    ASSERT_TRUE(Play(vlc, dir / "in.wav", &frames));
    const std::vector<Image> shown = Distinct(frames.shown), expected = Distinct(rendered);
    EXPECT_EQ(shown.size(), expected.size()) << frames.shown.size() << " pictures shown, " << rendered.size()
                                             << " frames rendered";
    for (size_t i = 0; i < std::min(shown.size(), expected.size()); ++i)
        ASSERT_EQ(Compare(shown[i], expected[i], 0).beyondTolerance, 0) << "distinct frame " << i;
}

// 44.1 kHz at 24 fps puts every other frame half a sample past a whole
// step; the mono file reaches the module as it is.
INSTANTIATE_TEST_SUITE_P(Module, FramesEqualTheProgram,
                         testing::Values(Clip{48000, 2, 60, 192, 108}, Clip{44100, 1, 24, 96, 64}),
                         [](const testing::TestParamInfo<Clip> &i) { return std::to_string(i.param.rate) + "Hz"; });

// Each way the visual cannot start: one error line from the module, which
// does not open; VLC plays the sound whole without a picture.
TEST(Module, BadInputIsRefusedWithOneErrorAndTheSoundPlaysOn)
{
    TempDir dir;
    WriteAudio(dir / "in.wav", 48000, 0.5, Sweep);
    const std::string in = ReadText(dir / "in.wav"), sound = in.substr(in.size() - 48000 / 2 * 4); // the samples
    const QVAGLCall kNone = QVAGLCall(0);
    const struct {
        std::string option;  // besides a size the spy bundle takes
        const char *refuse;  // QV_SPY_REFUSE
        QVAGLCall failing;   // an AGL call that fails
        std::string says;
    } rows[] = {
        {"--quorvanta-plugin=/nonexistent/quorvanta.so", nullptr, kNone, "/nonexistent/quorvanta.so: no plug-in bundle there"},
        {"--quorvanta-plugin=" + kNoEntryBundle, nullptr, kNone, ": not a visual plug-in bundle"},
        {"--quorvanta-plugin=" + kSpyBundle, "init", kNone, ": the visual plug-in failed to initialise"},
        {"--quorvanta-plugin=" + kSpyBundle, "show", kNone, ": the visual plug-in failed to show"},
        {"--quorvanta-width=4001", nullptr, kNone, ": 4001x48 is outside the frame sizes the plug-in accepts"},
        {"--quorvanta-plugin=" + kBundle, nullptr, kQVAGLCreateContext, ": the visual plug-in failed to show"}, // no GL
        {"--quorvanta-fps=0", nullptr, kNone, "quorvanta-fps 0: must be 1 to 1000"},
        {"--quorvanta-height=40000", nullptr, kNone, "quorvanta-height 40000: must be 1 to 32767"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.option);
        row.refuse ? setenv("QV_SPY_REFUSE", row.refuse, 1) : unsetenv("QV_SPY_REFUSE");
        if (row.failing)
            QVAGL_FailCall(row.failing, -1);
        std::remove((dir / "out.wav").c_str());
        Vlc vlc({"--aout=afile", "--audiofile-file=" + dir / "out.wav", "--audiofile-format=s16", "--audiofile-wav",
                 "--quorvanta-plugin=" + kSpyBundle, "--quorvanta-width=64", "--quorvanta-height=48", row.option});
        Frames frames;
        frames.width = 64;
        frames.height = 48;
        EXPECT_TRUE(Play(vlc, dir / "in.wav", &frames));
        QVAGL_ResetFailures();
        std::lock_guard<std::mutex> hold(vlc.log.mutex);
        Lines ours;
        for (const std::string &e : vlc.log.errors)
            if (e.rfind("quorvanta: ", 0) == 0)
                ours.push_back(e);
        ASSERT_EQ(ours.size(), 1u) << testing::PrintToString(vlc.log.errors);
        EXPECT_NE(ours[0].find(row.says), std::string::npos) << ours[0];
        EXPECT_TRUE(frames.shown.empty());
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
    constexpr int kCycles = 20;
    for (int cycle = 0; cycle < kCycles; ++cycle)
        ASSERT_TRUE(Play(vlc, dir / "in.wav")) << "cycle " << cycle;
    EXPECT_EQ(vlc.count("quorvanta: showing the visual at 64x36"), size_t(kCycles));
    EXPECT_EQ(QVAGL_LiveContextCount(), 0);
    EXPECT_EQ(QVAGL_LiveFramebufferCount(), 0);
}

} // namespace
