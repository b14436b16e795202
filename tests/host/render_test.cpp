// `quorvanta render`, run as a program: the MP4 it writes (read back with
// libavformat), PNG frames and stills, which audio each frame carries, the
// clock the visual sees, and the same frames on every run.
extern "C" {
#include <libavformat/avformat.h>
}

#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <cstdio>

#include "host/PngWriter.h"
#include "host_test_support.h"

using namespace qvhosttest;

namespace {

constexpr int kRate = 44100;

struct StreamInfo {
    int videoStreams = 0, audioStreams = 0;
    int width = 0, height = 0;
    int64_t videoPackets = 0;
    double videoSeconds = 0, audioSeconds = 0;
    std::string videoCodec, audioCodec;
    int audioRate = 0, audioChannels = 0;
};

StreamInfo ReadMp4(const std::string &path)
{
    StreamInfo info;
    AVFormatContext *fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0)
        return info;
    avformat_find_stream_info(fmt, nullptr);
    int video = -1;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVStream *s = fmt->streams[i];
        const double seconds = s->duration * av_q2d(s->time_base);
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            ++info.videoStreams;
            video = static_cast<int>(i);
            info.width = s->codecpar->width;
            info.height = s->codecpar->height;
            info.videoSeconds = seconds;
            info.videoCodec = avcodec_get_name(s->codecpar->codec_id);
        } else if (s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            ++info.audioStreams;
            info.audioSeconds = seconds;
            info.audioCodec = avcodec_get_name(s->codecpar->codec_id);
            info.audioRate = s->codecpar->sample_rate;
            info.audioChannels = s->codecpar->ch_layout.nb_channels;
        }
    }
    AVPacket *pkt = av_packet_alloc();
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == video)
            ++info.videoPackets;
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
    return info;
}

// Bin 20 for the first second, bin 60 after it, on both channels.
qvhost::AudioClip TwoTones(double seconds = 2.0)
{
    return MakeClip(kRate, seconds, [](int, double t) { return t < 1.0 ? BinSine(20, kRate, t) : BinSine(60, kRate, t); });
}

struct Image {
    std::vector<uint32_t> pixels;
    int width = 0, height = 0;
};

Image LoadPng(const std::string &path)
{
    Image img;
    EXPECT_TRUE(qvhost::ReadPng(path, img.pixels, img.width, img.height)) << path;
    return img;
}

// Compares two frames exactly; on a difference writes the actual frame and a
// difference image (changed pixels white) next to `actualPath`.
void ExpectSameImage(const Image &expected, const Image &actual, const std::string &actualPath)
{
    ASSERT_EQ(expected.width, actual.width);
    ASSERT_EQ(expected.height, actual.height);
    std::vector<uint32_t> diff(actual.pixels.size(), 0xFF000000u);
    size_t changed = 0;
    for (size_t i = 0; i < actual.pixels.size(); ++i)
        if (expected.pixels[i] != actual.pixels[i]) {
            diff[i] = 0xFFFFFFFFu;
            ++changed;
        }
    if (changed > 0) {
        const std::string keep = ::testing::TempDir() + "/" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        qvhost::WritePng(keep + "-actual.png", actual.pixels.data(), actual.width, actual.height, actual.width);
        qvhost::WritePng(keep + "-diff.png", diff.data(), actual.width, actual.height, actual.width);
        ADD_FAILURE() << changed << " pixels differ in " << actualPath << "; wrote " << keep << "-actual.png and "
                      << keep << "-diff.png";
    }
}

TEST(Render, Mp4HoldsEveryFrameAndTheAudioTrack)
{
    TempDir dir;
    WriteAudio(dir / "in.wav", TwoTones());
    const RunResult r = RunProgram(ProgramPath(), {"render", dir / "in.wav", "-o", dir / "out.mp4", "--size", "96x64",
                                            "--fps", "30", "--plugin", BundlePath()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, dir / "out.mp4\n");
    EXPECT_EQ(r.err, ""); // no progress bar when stderr is no terminal
    const StreamInfo info = ReadMp4(dir / "out.mp4");
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_EQ(info.audioStreams, 1);
    EXPECT_EQ(info.videoCodec, "h264");
    EXPECT_EQ(info.audioCodec, "aac");
    EXPECT_EQ(info.width, 96);
    EXPECT_EQ(info.height, 64);
    EXPECT_EQ(info.videoPackets, 60);
    EXPECT_NEAR(info.videoSeconds, 2.0, 1e-6);
    EXPECT_NEAR(info.audioSeconds, 2.0, 0.05);
    // Nothing else is left beside it.
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.mp4"}));
}

TEST(Render, Mp4AudioTrackForEveryInputRate)
{
    // Rates AAC has are kept; others are resampled to 48 kHz. Mono becomes stereo.
    struct Case {
        int rate, channels, aacRate;
    } cases[] = {{8000, 1, 8000}, {22050, 2, 22050}, {192000, 1, 48000}, {12345, 2, 48000}};
    TempDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rate);
        WriteAudio(dir / "in.wav", MakeClip(c.rate, 1.0, [&](int, double t) { return BinSine(10, c.rate, t, 0.5f); }),
                   c.channels);
        const RunResult r = RunProgram(ProgramPath(), {"render", dir / "in.wav", "-o", dir / "out.mp4", "--size",
                                                       "32x32", "--fps", "10", "--plugin", SpyBundlePath()});
        ASSERT_EQ(r.status, 0) << r.err;
        const StreamInfo info = ReadMp4(dir / "out.mp4");
        EXPECT_EQ(info.audioRate, c.aacRate);
        EXPECT_EQ(info.audioChannels, 2);
        EXPECT_NEAR(info.audioSeconds, 1.0, 0.05);
        EXPECT_EQ(info.videoPackets, 10);
    }
}

TEST(Render, FramesCarryTheAudioOfTheirMomentAndTheVideoClock)
{
    TempDir dir;
    WriteAudio(dir / "in.wav", TwoTones());
    mkdir((dir / "frames").c_str(), 0755);
    const std::string log = dir / "spy.log";
    const RunResult r =
        RunProgram(ProgramPath(), {"render", dir / "in.wav", "-o", dir / "frames/f%03d.png", "--size", "48x32", "--fps", "30",
                            "--plugin", SpyBundlePath()},
            {{"QV_SPY_LOG", log}});
    ASSERT_EQ(r.status, 0) << r.err;

    // Every frame as a file of the right size.
    for (int n = 0; n < 60; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "frames/f%03d.png", n);
        const Image img = LoadPng(dir / name);
        ASSERT_EQ(img.width, 48);
        ASSERT_EQ(img.height, 32);
    }
    EXPECT_FALSE(Exists(dir / "frames/f060.png"));

    // The spy paints channel 0's peak: red = bin, blue = its byte. Frame n's
    // window is the 1024 samples before n / 30 s: frame 0 hears nothing,
    // frame 30 (t = 1 s) still the first tone, frame 31 the second.
    struct Case {
        int frame;
        uint32_t colour;
    } cases[] = {{0, 0xFF000000u}, {1, 0xFF1400FFu}, {29, 0xFF1400FFu}, {30, 0xFF1400FFu}, {31, 0xFF3C00FFu}, {59, 0xFF3C00FFu}};
    for (const Case &c : cases) {
        char name[32];
        std::snprintf(name, sizeof name, "frames/f%03d.png", c.frame);
        EXPECT_EQ(LoadPng(dir / name).pixels[5 * 48 + 7], c.colour) << "frame " << c.frame;
    }

    // The visual's clock reads the video time: whole seconds of n / 30.
    const std::vector<std::string> lines = ReadLog(log);
    std::vector<std::string> frames;
    for (const std::string &l : lines)
        if (l.rfind("vrnd", 0) == 0)
            frames.push_back(l);
    ASSERT_EQ(frames.size(), 60u);
    for (int n = 0; n < 60; ++n)
        EXPECT_EQ(Field(frames[static_cast<size_t>(n)], "t"), std::to_string(n / 30)) << n;
    EXPECT_EQ(Field(frames[10], "sc"), "2");
    EXPECT_EQ(PeakBin(frames[10], 1), 20);
    EXPECT_EQ(LogNames(lines).front(), "init");
    const std::vector<std::string> names = LogNames(lines);
    EXPECT_EQ(std::vector<std::string>(names.end() - 5, names.end()),
              (std::vector<std::string>{"vrnd", "vstp", "hide", "clr", "module-clr"}));
}

TEST(Render, TheSameInputGivesTheSameFramesAndStill)
{
    TempDir dir;
    WriteAudio(dir / "in.wav", TwoTones(1.0));
    for (const char *sub : {"a", "b"}) {
        mkdir((dir / sub).c_str(), 0755);
        const RunResult r = RunProgram(ProgramPath(), {"render", dir / "in.wav", "-o", dir / sub + "/%d.png", "--size",
                                                "80x48", "--fps", "15", "--plugin", BundlePath()});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const RunResult still = RunProgram(ProgramPath(), {"render", dir / "in.wav", "--frame", "12", "-o", dir / "still.png",
                                                "--size", "80x48", "--fps", "15", "--plugin", BundlePath()});
    ASSERT_EQ(still.status, 0) << still.err;
    EXPECT_EQ(still.out, dir / "still.png\n");

    bool moved = false;
    for (int n = 0; n < 15; ++n) {
        const std::string a = dir / "a/" + std::to_string(n) + ".png";
        const std::string b = dir / "b/" + std::to_string(n) + ".png";
        ExpectSameImage(LoadPng(a), LoadPng(b), b);
        if (n > 0 && LoadPng(a).pixels != LoadPng(dir / "a/0.png").pixels)
            moved = true;
    }
    EXPECT_TRUE(moved) << "the visual drew the same frame throughout";
    ExpectSameImage(LoadPng(dir / "a/12.png"), LoadPng(dir / "still.png"), dir / "still.png");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a", "b", "in.wav", "still.png"}));
}

TEST(Render, TheBackgroundFollowsTheVideoClock)
{
    // The visual changes its background every five seconds of its clock; at
    // 2 fps that is between frames 9 and 10, however fast the render runs.
    TempDir dir;
    WriteAudio(dir / "quiet.wav", MakeClip(8000, 6.0, [](int, double) { return 0.0f; }));
    const RunResult r = RunProgram(ProgramPath(), {"render", dir / "quiet.wav", "-o", dir / "%02d.png", "--size", "64x36",
                                            "--fps", "2", "--plugin", BundlePath()});
    ASSERT_EQ(r.status, 0) << r.err;
    const uint32_t first = LoadPng(dir / "00.png").pixels[0];
    for (int n = 1; n < 10; ++n)
        EXPECT_EQ(LoadPng(dir / (n < 10 ? "0" : "") + std::to_string(n) + ".png").pixels[0], first) << n;
    EXPECT_NE(LoadPng(dir / "10.png").pixels[0], first);
    EXPECT_EQ(LoadPng(dir / "11.png").pixels[0], LoadPng(dir / "10.png").pixels[0]);
}

TEST(Render, AnInterruptedRenderLeavesNothing)
{
    TempDir dir;
    WriteAudio(dir / "long.wav", MakeClip(8000, 120.0, [](int, double t) { return BinSine(30, 8000, t, 0.3f); }));
    const std::string log = dir / "spy.log";
    {
        Child child(ProgramPath(), {"render", dir / "long.wav", "-o", dir / "out.mp4", "--size", "320x240",
                                    "--preset", "veryslow", "--plugin", SpyBundlePath()},
                    {{"QV_SPY_LOG", log}});
        ASSERT_TRUE(WaitFor([&] { return ReadLog(log).size() > 20; }, std::chrono::seconds(60)));
        kill(child.pid(), SIGINT);
        EXPECT_EQ(child.wait(std::chrono::seconds(60)), 1);
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"long.wav", "spy.log"}));
    // The visual was still ended properly, playback stopped first.
    const std::vector<std::string> names = LogNames(ReadLog(log));
    EXPECT_EQ(std::vector<std::string>(names.end() - 4, names.end()),
              (std::vector<std::string>{"vstp", "hide", "clr", "module-clr"}));
}

} // namespace
