// The hosted visual: the services a plug-in calls (through the same glue the
// bundle calls them with), the messages it is sent, in order, as the spy
// bundle logs them, each way it fails, the frames of a stream, live frames
// drawn ahead on the visual's thread, and the port's lent pixels.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>

#include "host/common/messages.h"
#include "host/common/sample_history.h"
#include "host/visual/frame_grid.h"
#include "host/visual/host_services.h"
#include "host/visual/hosted_visual.h"
#include "host/visual/live_frames.h"
#include "host/visual/port.h"
#include "host/visual/stream_frames.h"
#include "host_test_support.h"
#include "platform/agl.h"
#include "platform/agl_test_hooks.h"
#include "platform/qv_clock.h"
#include "plugin/host_glue.h"

using namespace qvhost;
using namespace qvtest;

namespace {

constexpr PlayerProcPtr kProc = &HostServices::Proc;

OSStatus NoHandler(OSType, void *, void *) { return noErr; }

// `length`: the length byte, when it is to lie.
OSStatus Register(HostServices &services, const std::string &name, int length = -1)
{
    HostCallRecord record{};
    VisualRegistration &reg = record.u.registerVisualPluginMessage;
    reg.name[0] = static_cast<unsigned char>(length >= 0 ? length : name.size());
    std::memcpy(reg.name + 1, name.data(), name.size());
    reg.handler = &NoHandler;
    return PlayerRegisterVisualPlugin(services.cookie(), kProc, &record);
}

TEST(HostServices, KeepThePluginsWishesAndDataAndRefuseWhatTheyCannotUse)
{
    TempDir config;
    HostServices s(config.path), later(config.path), other(config.path), overlong(config.path);
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
    static std::string said; // what the host says goes through its message sink
    SetMessageSink([](bool warning, const std::string &text) { said = (warning ? "warning: " : "") + text; });
    const char url[] = "https://example.org/";
    PlayerOpenURL(c, kProc, url, sizeof url - 1);
    EXPECT_EQ(said, "the plug-in asks to open https://example.org/"); // no window to open it from
    SetMessageSink(nullptr);
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
    // A length byte beyond the name's field: the name is the field's 63 characters, no byte after them.
    ASSERT_EQ(Register(overlong, std::string(63, 'L'), 255), noErr);
    EXPECT_EQ(overlong.pluginName(), std::string(63, 'L'));
}

class SpyTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("QV_SPY_LOG", log.c_str(), 1); }
    void TearDown() override
    {
        unsetenv("QV_SPY_LOG");
        unsetenv("QV_SPY_INTERVAL");
        unsetenv("QV_SPY_REFUSE");
    }
    TempDir dir;
    std::string log = dir / "spy.log";
    std::vector<float> silence = std::vector<float>(kAnalysisSize);
};

TEST_F(SpyTest, MessagesComeInTheOrderThePluginReliesOn)
{
    {
        HostedVisual visual(kSpyBundle, dir.path);
        visual.drawNow(silence.data(), silence.data(), 0.0); // before show: nothing is sent
        visual.show(64, 48);
        visual.drawNow(silence.data(), silence.data(), 0.0);
        visual.drawNow(nullptr, nullptr, 0.1);
        EXPECT_FALSE(visual.key('x', false));
        EXPECT_TRUE(visual.key('S', true));
        visual.resize(60, 40);
        visual.show(64, 48); // a second show is preceded by hide
        visual.hide();
        EXPECT_TRUE(visual.key('n', false)); // keys still, but no frames
        visual.drawNow(silence.data(), silence.data(), 0.2);
        visual.stop(); // playing: "vstp" first
        visual.stop(); // once is enough, and the destructor adds nothing
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
        HostedVisual visual(kSpyBundle, dir.path);
        visual.show(16, 16);
        for (int n = 0; n < 30; ++n)
            visual.drawNow(silence.data(), silence.data(), n / 30.0);
        visual.drawNow(nullptr, nullptr, 1.0); // no audio: always an idle frame
        const Lines names = LogNames(log);
        EXPECT_EQ(std::count(names.begin(), names.end(), "vrnd"), c.renders) << (c.interval ? c.interval : "unset");
        EXPECT_EQ(std::count(names.begin(), names.end(), "null"), 31 - c.renders)
            << (c.interval ? c.interval : "unset");
    }
}

// Each way a bundle can fail to run gets one error of its kind naming the
// bundle; a size it refuses or a show that fails leaves the visual hidden and
// able to show again.
TEST_F(SpyTest, FailuresSayWhatWentWrongAndNameTheBundle)
{
    using Kind = VisualError::Kind;
    const QVAGLCall kNone = QVAGLCall(0);
    const std::string fifo = dir / "fifo.so"; // dlopen would wait for a writer
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string bundle;
        const char *refuse; // QV_SPY_REFUSE
        int width;
        QVAGLCall failing;
        Kind kind;
        const char *says;
    } rows[] = {
        {"/nonexistent/quorvanta.so", nullptr, 64, kNone, Kind::Load, "no plug-in bundle there"},
        {"/tmp", nullptr, 64, kNone, Kind::Load, "is a directory, not a plug-in bundle"},
        {fifo, nullptr, 64, kNone, Kind::Load, "is not a regular file"},
        {kProgram, nullptr, 64, kNone, Kind::Load, "not a loadable plug-in bundle"},
        {kNoEntryBundle, nullptr, 64, kNone, Kind::Load, "not a visual plug-in bundle (no entry point iTunesPluginMainMachO)"},
        {kSpyBundle, "init", 64, kNone, Kind::Start, "the visual plug-in failed to initialise (status -50)"},
        {kSpyBundle, "show", 64, kNone, Kind::Show, "the visual plug-in failed to show (status -50)"},
        {kSpyBundle, nullptr, 4001, kNone, Kind::Size, "4001x48 is outside the frame sizes the plug-in accepts (0x0 to 4000x4000)"},
        {kBundle, nullptr, 64, kQVAGLCreateContext, Kind::Show, "failed to show"}, // no GL context
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.says);
        row.refuse ? setenv("QV_SPY_REFUSE", row.refuse, 1) : unsetenv("QV_SPY_REFUSE");
        if (row.failing)
            QVAGL_FailCall(row.failing, -1);
        std::unique_ptr<HostedVisual> visual;
        try {
            visual = std::make_unique<HostedVisual>(row.bundle, dir.path);
            visual->show(row.width, 48);
            ADD_FAILURE() << "no error";
        } catch (const VisualError &e) {
            EXPECT_EQ(e.kind(), row.kind);
            EXPECT_EQ(std::string(e.what()).rfind(row.bundle + ": ", 0), 0u) << e.what();
            EXPECT_NE(std::string(e.what()).find(row.says), std::string::npos) << e.what();
            EXPECT_EQ(e.exitStatus(), row.kind == Kind::Size ? kExitUsage : kExitFailure);
        }
        QVAGL_ResetFailures();
        unsetenv("QV_SPY_REFUSE");
        if (visual) {
            EXPECT_FALSE(visual->shown());
            visual->show(64, 48);
            EXPECT_TRUE(visual->shown());
        }
    }
}

// Frame n of a stream is drawn from the kAnalysisSize samples before its
// moment, with the visual's clock at its whole seconds: the spy paints
// channel 0's peak, red = bin and blue = its byte.
TEST_F(SpyTest, StreamFramesHearTheAudioBeforeTheirMomentAndReadItsSeconds)
{
    constexpr int kRate = 44100;
    const auto tones = [](int c, double t) { return Tone((t < 1.0 ? 20 : 60) + 10 * c, kRate)(c, t); };
    std::vector<float> left(2 * kRate), right(2 * kRate);
    for (int i = 0; i < 2 * kRate; ++i) {
        left[i] = tones(0, double(i) / kRate);
        right[i] = tones(1, double(i) / kRate);
    }
    SampleHistory audio(2 * kRate);
    audio.append(left.data(), right.data(), 2 * kRate);
    const struct {
        int64_t n;
        FrameRate fps;
        uint32_t colour;
        const char *logged;
    } rows[] = {
        {0, {30, 1}, 0xFF000000u, "vrnd t=0 sc=2 p0=0:0 p1=0:0"}, // nothing before the start
        {1, {30, 1}, 0xFF1400FFu, "vrnd t=0 sc=2 p0=20:255 p1=30:255"},
        {30, {30, 1}, 0xFF1400FFu, "vrnd t=1 sc=2 p0=20:255 p1=30:255"}, // 1 s: still the first tones
        {31, {30, 1}, 0xFF3C00FFu, "vrnd t=1 sc=2 p0=60:255 p1=70:255"},
        {59, {30, 1}, 0xFF3C00FFu, "vrnd t=1 sc=2 p0=60:255 p1=70:255"},
        {31, {30000, 1001}, 0xFF3C00FFu, "vrnd t=1 sc=2 p0=60:255 p1=70:255"}, // 1.0343 s
    };
    HostedVisual visual(kSpyBundle, dir.path);
    visual.show(8, 4);
    std::vector<uint32_t> pixels(8 * 4);
    for (const auto &row : rows) {
        std::remove(log.c_str());
        visual.drawFrame(row.n, row.fps, audio, kRate, pixels.data());
        EXPECT_EQ(pixels.front(), row.colour) << "frame " << row.n;
        EXPECT_EQ(pixels.back(), row.colour) << "frame " << row.n;
        EXPECT_EQ(ReadLog(log), Lines{row.logged}) << "frame " << row.n;
    }
}

// Live frames: a frame hears the latest samples when audio came since the last frame that heard
// any (the first frame always does: silence), else it is idle; mono fills both sides, of more
// channels the first two are heard; the clock is the system's (pinned here). next() gives the frame
// asked for at the call before: the Kodi add-on's test sees it. A visual that cannot show ends on
// its thread, and says why.
TEST_F(SpyTest, LiveFramesHearTheAudioThatCameSinceTheLastFrameThatHeardAny)
{
    const auto append = [](LiveFrames &frames, std::vector<int> bins) { // a tone a channel
        std::vector<float> audio;
        for (int i = 0; i < kAnalysisSize * int(bins.size()); ++i)
            audio.push_back(Tone(bins[i % bins.size()], 44100)(0, double(i / bins.size()) / 44100));
        frames.append(audio.data(), kAnalysisSize, int(bins.size()));
    };
    QVClock_SetSource([](void *) -> time_t { return 77; }, nullptr);
    {
        LiveFrames frames(kSpyBundle, dir.path, 8, 4);
        frames.next(), frames.next();
        append(frames, {20, 30}), frames.next(), frames.next();
        append(frames, {40}), frames.next();
        append(frames, {50, 60, 70}), frames.next();
        frames.playState(kVisualPluginChangeTrackMessage); // after the frame being drawn
    }
    QVClock_SetSource(nullptr, nullptr);
    setenv("QV_SPY_REFUSE", "show", 1);
    EXPECT_THROW(LiveFrames(kSpyBundle, dir.path, 8, 4), VisualError);
    EXPECT_EQ(ReadLog(log), (Lines{"init", "show 8 4", "vply", "vrnd t=77 sc=2 p0=0:0 p1=0:0", "null",
                                   "vrnd t=77 sc=2 p0=20:255 p1=30:255", "null", "vrnd t=77 sc=2 p0=40:255 p1=40:255",
                                   "vrnd t=77 sc=2 p0=50:255 p1=60:255", "ctrk", "vstp", "hide", "clr ", "module-clr",
                                   "init", "hide", "clr ", "module-clr"}));
}

TEST(FrameGrid, FramesStandOnTheSamplesOfTheirMomentsWithoutOverflow)
{
    const struct {
        int64_t n;
        int rate;
        FrameRate fps;
        int64_t sample; // FrameSample(n)
        time_t seconds; // FrameSeconds(n)
    } rows[] = {
        {0, 44100, {60, 1}, 0, 0},
        {1, 22050, {60, 1}, 367, 0}, // 367.5: the sample it falls in
        {2, 22050, {60, 1}, 735, 0},
        {60, 8000, {60, 1}, 8000, 1},
        {3, 48000, {30000, 1001}, 4804, 0},
        {29970, 48000, {30000, 1001}, 47999952, 999}, // 999.999 s
        {1000000000000000, 44100, {60, 1}, 735000000000000000, 16666666666666},
        {1000000000000000, 192000, {1, 1000}, INT64_MAX, 1000000000000000000}, // beyond any stream: clamped
        {1152921504606846975, 8000, {1000, 1}, 9223372036854775800, 1152921504606846}, // the most frames a length can state
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(::testing::Message() << "frame " << r.n << " at " << r.rate << " Hz, " << r.fps.num << "/"
                                          << r.fps.den << " fps");
        EXPECT_EQ(FrameSample(r.n, r.rate, r.fps), r.sample);
        EXPECT_EQ(FrameSeconds(r.n, r.fps), r.seconds);
        if (r.sample < INT64_MAX) { // frame n is the first at its sample, and n + 1 the first after it
            EXPECT_EQ(FramesBefore(r.sample, r.rate, r.fps), r.n);
            EXPECT_EQ(FramesBefore(r.sample + 1, r.rate, r.fps), r.n + 1);
        }
    }
    EXPECT_EQ(FramesBefore(-5, 44100, {60, 1}), 0);
}

// However a stream's audio is cut into buffers, each frame is drawn once, in
// order, as soon as its moment has arrived, from the samples before it; a
// jump in the stream starts afresh there.
TEST(StreamFrames, EveryFrameOnceFromTheAudioBeforeItWhateverTheBuffers)
{
    constexpr int kRate = 22050, kLength = kRate; // a second of a ramp: every sample told apart
    const FrameRate fps{60, 1};
    const auto value = [](int64_t i, int c) { return static_cast<int16_t>((i % 30000) * (c ? -1 : 1)); };
    const struct {
        int channels;
        SampleFormat format;
        int64_t buffer, jump; // sample frames per buffer; the clip's sample where the stream jumps a second ahead
    } rows[] = {{2, SampleFormat::F32, 441, kLength}, {1, SampleFormat::S16, 10007, kLength}, {2, SampleFormat::F32, 1000, 3000}};
    for (const auto &row : rows) {
        SCOPED_TRACE(::testing::Message() << row.channels << " channels, buffers of " << row.buffer);
        std::vector<float> f32;
        std::vector<int16_t> s16;
        for (int64_t i = 0; i < kLength * row.channels; ++i) {
            s16.push_back(value(i / row.channels, int(i % row.channels)));
            f32.push_back(s16.back() / 32768.0f);
        }
        const auto clip = [&](int64_t p) { return p < row.jump ? p : p >= row.jump + kRate ? p - kRate : -1; };
        StreamFrames frames;
        frames.setRates(kRate, fps);
        std::vector<int64_t> drawn, expected;
        const auto check = [&](int64_t n) {
            drawn.push_back(n);
            float l[kAnalysisSize], r[kAnalysisSize];
            const int64_t end = FrameSample(n, kRate, fps);
            frames.audio().copy(end - kAnalysisSize, kAnalysisSize, l, r);
            for (int64_t i = 0, p = end - kAnalysisSize; i < kAnalysisSize; ++i, ++p) {
                const int64_t k = end <= row.jump || p >= row.jump + kRate ? clip(p) : -1; // held since the jump
                if (l[i] != (k >= 0 ? value(k, 0) / 32768.0f : 0) || r[i] != (k >= 0 ? value(k, row.channels - 1) / 32768.0f : 0))
                    return false;
            }
            return true;
        };
        for (int64_t done = 0; done < kLength; done += row.buffer) {
            frames.place(done < row.jump ? done : done + kRate);
            const size_t at = static_cast<size_t>(done * row.channels);
            const void *data = row.format == SampleFormat::F32 ? static_cast<const void *>(&f32[at]) : &s16[at];
            ASSERT_TRUE(frames.append(data, std::min<int64_t>(row.buffer, kLength - done), row.channels, row.format, check))
                << "frame " << drawn.back();
        }
        for (int64_t n = 0, at = 0; (at = FrameSample(n, kRate, fps)) < (row.jump < kLength ? kLength + kRate : kLength); ++n)
            if (clip(at) >= 0)
                expected.push_back(n);
        EXPECT_EQ(drawn, expected);
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
