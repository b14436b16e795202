// `quorvanta` run as a program: the MP4 and PNG frames `render` writes (read
// back with libavformat and libpng), which audio and clock each frame of the
// visual gets, an interrupted render, and the command line's exit statuses.
#include <gtest/gtest.h>

#include "host_test_support.h"
#include "support/image_io.h"

using namespace qvhosttest;

namespace {

// Left bin 20 for the first second and bin 60 after it, right bins 30 and 70.
qvhost::AudioClip TwoTones(int rate, double seconds)
{
    return MakeClip(rate, seconds, [=](int c, double t) { return BinSine((t < 1.0 ? 20 : 60) + 10 * c, rate, t); });
}

rendertest::Image Png(const std::string &path)
{
    rendertest::Image image;
    EXPECT_TRUE(rendertest::ReadPng(path, image)) << path;
    return image;
}

TEST(Render, Mp4HoldsEveryFrameAndTheAudioTrack)
{
    // AAC keeps the rates it has and resamples the others to 48 kHz; mono becomes stereo.
    const struct {
        int rate, channels;
        double seconds;
        int fps, aacRate;
    } cases[] = {{44100, 2, 2.0, 30, 44100}, {8000, 1, 1.0, 10, 8000}, {192000, 1, 1.0, 10, 48000},
                 {12345, 2, 1.0, 10, 48000}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.rate);
        TempDir dir;
        WriteAudio(dir / "in.wav", TwoTones(c.rate, c.seconds), c.channels);
        const RunResult r = Execute(ProgramPath(), {"render", dir / "in.wav", "-o", dir / "out.mp4", "--size", "96x64",
                                                "--fps", std::to_string(c.fps), "--plugin", BundlePath()});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, dir / "out.mp4\n");
        EXPECT_EQ(r.err, ""); // no progress bar when standard error is no terminal
        EXPECT_EQ(dir.entries(), (Lines{"in.wav", "out.mp4"}));
        const VideoInfo v = ReadVideo(dir / "out.mp4");
        EXPECT_EQ(v.videoStreams, 1);
        EXPECT_EQ(v.videoCodec, "h264");
        EXPECT_EQ(v.width, 96);
        EXPECT_EQ(v.height, 64);
        EXPECT_EQ(v.videoPackets, std::lround(c.seconds * c.fps));
        EXPECT_NEAR(v.videoSeconds, c.seconds, 1e-6);
        EXPECT_EQ(v.audioStreams, 1);
        EXPECT_EQ(v.audioCodec, "aac");
        EXPECT_EQ(v.audioRate, c.aacRate);
        EXPECT_EQ(v.audioChannels, 2);
        EXPECT_NEAR(v.audioSeconds, c.seconds, 0.05);
    }
}

TEST(Render, FramesCarryTheAudioOfTheirMomentAndTheVideoClock)
{
    TempDir dir;
    WriteAudio(dir / "in.wav", TwoTones(44100, 2.0));
    fs::create_directory(dir / "frames");
    const std::string log = dir / "spy.log";
    const RunResult r = Execute(ProgramPath(), {"render", dir / "in.wav", "-o", dir / "frames/%03d.png", "--size", "48x32",
                                            "--fps", "30", "--plugin", SpyBundlePath()},
                            {{"QV_SPY_LOG", log}});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, dir / "frames/%03d.png (60 frames)\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "frames"), fs::directory_iterator()), 60);

    // The spy paints channel 0's peak: red = bin, blue = its byte. Frame n's
    // window is the 1024 samples before n / 30 s: frame 0 hears nothing,
    // frame 30 (t = 1 s) still the first tone, frame 31 the second.
    const struct {
        const char *frame;
        uint32_t colour;
    } cases[] = {{"000", 0xFF000000u}, {"001", 0xFF1400FFu}, {"030", 0xFF1400FFu}, {"031", 0xFF3C00FFu},
                 {"059", 0xFF3C00FFu}};
    for (const auto &c : cases) {
        const rendertest::Image frame = Png(dir / "frames/" + c.frame + ".png");
        ASSERT_EQ(frame.width, 48) << c.frame;
        ASSERT_EQ(frame.height, 32) << c.frame;
        EXPECT_EQ(frame.argb.front(), c.colour) << c.frame; // the whole frame: first and last pixel
        EXPECT_EQ(frame.argb.back(), c.colour) << c.frame;
    }

    // The visual's clock reads the video time: whole seconds of n / 30.
    std::vector<std::string> frames;
    for (const std::string &l : ReadLog(log))
        if (l.rfind("vrnd", 0) == 0)
            frames.push_back(l);
    ASSERT_EQ(frames.size(), 60u);
    for (int n = 0; n < 60; ++n)
        EXPECT_EQ(Field(frames[n], "t"), std::to_string(n / 30)) << n;
    EXPECT_EQ(Field(frames[10], "sc"), "2");
    EXPECT_EQ(PeakBin(frames[10], 0), 20);
    EXPECT_EQ(PeakBin(frames[10], 1), 30);
    EXPECT_EQ(Last(LogNames(log), 5), (Lines{"vrnd", "vstp", "hide", "clr", "module-clr"}));

    // A still is that frame of the sequence.
    const RunResult still = Execute(ProgramPath(), {"render", dir / "in.wav", "--frame", "31", "-o", dir / "still.png",
                                                "--size", "48x32", "--fps", "30", "--plugin", SpyBundlePath()});
    ASSERT_EQ(still.status, 0) << still.err;
    EXPECT_EQ(still.out, dir / "still.png\n");
    EXPECT_EQ(Png(dir / "still.png").argb, Png(dir / "frames/031.png").argb);
}

TEST(Render, AnInterruptedRenderEndsTheVisualAndLeavesNothing)
{
    TempDir dir;
    WriteAudio(dir / "long.wav", Tone(30, 8000, 120.0, 0.3f));
    const std::string log = dir / "spy.log";
    {
        Child render(ProgramPath(), {"render", dir / "long.wav", "-o", dir / "out.mp4", "--size", "320x240",
                                     "--preset", "veryslow", "--plugin", SpyBundlePath()},
                     {{"QV_SPY_LOG", log}});
        ASSERT_TRUE(WaitFor([&] { return ReadLog(log).size() > 20; }, 60s));
        kill(render.pid(), SIGINT);
        EXPECT_EQ(render.wait(60s), 1);
    }
    EXPECT_EQ(dir.entries(), (Lines{"long.wav", "spy.log"}));
    EXPECT_EQ(Last(LogNames(log), 4), (Lines{"vstp", "hide", "clr", "module-clr"}));
}

TEST(CommandLine, ExitStatusesAndWhatTheProgramSays)
{
    TempDir in, out;
    WriteAudio(in / "good.wav", Tone(12, 22050, 0.5, 0.5f));
    fs::create_directory(out / "taken.mp4");
    fs::create_directory(out / "locked");
    fs::permissions(out / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    // Where nothing can be written: a read-only directory, or for root a file system that refuses new files.
    const std::string good = in / "good.wav", mp4 = out / "x.mp4";
    const std::string unwritable = geteuid() == 0 ? "/sys/qv-out.mp4" : out / "locked/x.mp4";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says; // on standard output for 0, else in the one line on standard error
    } cases[] = {
        {{"--help"}, 0, "Exit status: 0 success, 1 failure, 2 bad usage"},
        {{"render", "--help"}, 0, "--frame"},
        {{"--version"}, 0, "GL renderer: "},
        {{}, 2, "a command is needed"},
        {{"dance"}, 2, "dance"},
        {{"render", good}, 2, "--output is required"},
        {{"render", good, "-o", mp4, "--bogus"}, 2, "--bogus"},
        {{"render", good, "-o", mp4, "--size", "12"}, 2, "--size 12: expected WIDTHxHEIGHT"},
        {{"render", good, "-o", mp4, "--size", "0x0"}, 2, "--size 0x0: each side must be 16 to"},
        {{"render", good, "-o", mp4, "--size", "99999x64"}, 2, "--size 99999x64"},
        {{"render", good, "-o", mp4, "--size", "99x64"}, 2, "--size 99x64: H.264 video needs an even"},
        {{"render", good, "-o", mp4, "--fps", "0"}, 2, "--fps"},
        {{"render", good, "-o", mp4, "--fps", "1001"}, 2, "--fps"},
        {{"render", good, "-o", mp4, "--preset", "warp"}, 2, "--preset"},
        {{"render", good, "-o", out / "x.avi"}, 2, "x.avi: unknown kind of output"},
        {{"render", good, "-o", out / "f%d%d.png"}, 2, "exactly one %d"},
        {{"render", good, "--frame", "-1", "-o", out / "s.png"}, 2, "--frame"},
        {{"render", good, "--frame", "2", "-o", mp4}, 2, "writes a PNG"},
        {{"render", good, "--frame", "999", "-o", out / "s.png"}, 2, "--frame 999: the audio gives only 30 frames"},
        {{"play", good, "--size", "1x"}, 2, "--size 1x"},
        {{"render", good, "-o", out / "taken.mp4"}, 1, "taken.mp4: is a directory"},
        {{"render", good, "-o", out / "nowhere/x.mp4"}, 1, "does not exist"},
        {{"render", good, "-o", out / "nowhere/%03d.png"}, 1, "does not exist"},
        {{"render", good, "--frame", "3", "-o", out / "nowhere/s.png"}, 1, "does not exist"},
        {{"render", good, "-o", unwritable}, 1, "cannot write in"},
        {{"play", in / "none.wav"}, 1, "none.wav: No such file"},
        {{"render", good, "-o", mp4, "--plugin", good}, 1, "good.wav: not a loadable plug-in bundle"},
    };
    for (const auto &c : cases) {
        std::string command;
        for (const std::string &a : c.args)
            command += a + " ";
        SCOPED_TRACE(command);
        const std::vector<std::string> before = out.entries();
        const RunResult r = Execute(ProgramPath(), c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE((c.status ? r.err : r.out).find(c.says), std::string::npos) << r.out << r.err;
        if (c.status == 0)
            continue;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("quorvanta: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(out.entries(), before);
    }
}

} // namespace
