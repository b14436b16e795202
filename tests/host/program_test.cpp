// `quorvanta` run as a program: the MP4 and PNG frames `render` writes, which
// audio and clock each frame of the visual gets, an interrupted render, and
// the command line's exit statuses.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>

#include "host/audio/audio_decoder.h"
#include "host_test_support.h"
#include "support/image_io.h"

using namespace qvtest;

namespace {

// Left bin 20 for the first second and bin 60 after it, right bins 30 and 70.
std::function<float(int, double)> TwoTones(int rate)
{
    return [=](int c, double t) { return Tone((t < 1.0 ? 20 : 60) + 10 * c, rate)(c, t); };
}

TEST(Render, EveryFormatRendersToAnMp4AsLongAsItsAudio)
{
    // Files of 1 s as people have them, made by the ffmpeg program. The
    // video lasts as long as what decodes (within a frame, the last one's
    // share); AAC keeps the rates it has and resamples others to 48 kHz;
    // mono becomes stereo.
    const struct {
        const char *file;
        Lines codec;
        int rate, channels, aacRate;
    } cases[] = {
        {"in.wav", {}, 44100, 2, 44100},
        {"in.wav", {}, 8000, 1, 8000},
        {"in.wav", {}, 12345, 2, 48000},
        {"in.flac", {}, 192000, 1, 48000},
        {"in.ogg", {"-c:a", "libvorbis"}, 22050, 2, 22050},
        {"in.opus", {}, 24000, 1, 48000},
        {"in.mp3", {}, 32000, 1, 32000},
        {"in.m4a", {"-c:a", "aac"}, 44100, 2, 44100},
        {"in.m4a", {"-c:a", "alac"}, 96000, 2, 96000},
        {"in.wma", {}, 16000, 2, 16000},
        {"in.mp4", {"-f", "lavfi", "-i", "testsrc=size=32x32:rate=10", "-shortest"}, 48000, 2, 48000},
    };
    constexpr double kSeconds = 1.0, kFrame = 0.1; // at 10 fps
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.file << " " << c.rate << " Hz " << c.channels << " ch");
        TempDir dir;
        WriteAudio(dir / c.file, c.rate, kSeconds, TwoTones(c.rate), c.channels, c.codec);
        const RunResult r = Execute(kProgram, {"render", dir / c.file, "-o", dir / "out.mp4", "--size", "64x36",
                                               "--fps", "10", "--plugin", kBundle});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, dir / "out.mp4\n");
        EXPECT_EQ(r.err, ""); // no progress bar when standard error is no terminal
        const std::string summary = VideoSummary(dir / "out.mp4");
        int frames = 0, aacRate = 0, aacChannels = 0;
        double videoSeconds = 0, audioSeconds = 0;
        ASSERT_EQ(std::sscanf(summary.c_str(), "h264 64x36 %d frames %lf s, aac %d Hz %d ch %lf s", &frames,
                              &videoSeconds, &aacRate, &aacChannels, &audioSeconds),
                  5)
            << summary;
        EXPECT_NEAR(frames * kFrame, videoSeconds, 1e-9) << summary;
        EXPECT_NEAR(videoSeconds, audioSeconds, kFrame) << summary;
        EXPECT_NEAR(audioSeconds, kSeconds, kFrame) << summary;
        EXPECT_EQ(aacRate, c.aacRate);
        EXPECT_EQ(aacChannels, 2);
        EXPECT_EQ(dir.entries(), (Lines{c.file, "out.mp4"}));
        const std::string mp4 = ReadText(dir / "out.mp4"); // index first, so it plays while it downloads
        EXPECT_LT(mp4.find("moov"), mp4.find("mdat"));

        // A seek (as play makes) lands on the sample a continuous read gives there.
        qvhost::AudioDecoder decoder(dir / c.file);
        std::vector<float> left(256 * 1024), right(left.size()), seekLeft(64), seekRight(64);
        const int total = decoder.read(left.data(), right.data(), static_cast<int>(left.size()));
        for (const int at : {total * 3 / 5 + 7, 3}) {
            decoder.seek(at);
            ASSERT_EQ(decoder.read(seekLeft.data(), seekRight.data(), 64), 64) << at;
            for (int i = 0; i < 64; ++i) {
                ASSERT_NEAR(seekLeft[i], left[at + i], 0.01) << "sample " << at + i;
                ASSERT_NEAR(seekRight[i], right[at + i], 0.01) << "sample " << at + i;
            }
        }
    }
}

// Frame n of the audio goes to the pattern's name for n, and --frame N writes
// that frame alone (what each frame hears is the hosted visual's own test).
TEST(Render, EveryFrameToItsNameAndOneAsAStill)
{
    TempDir dir;
    WriteAudio(dir / "in.wav", 44100, 2.0, TwoTones(44100));
    fs::create_directory(dir / "frames");
    Lines args = {"render", dir / "in.wav", "-o",      dir / "frames/%03d.png", "--size", "48x32", "--fps",
                  "30",     "--plugin",     kSpyBundle};
    const RunResult r = Execute(kProgram, args, {{"QV_SPY_LOG", dir / "spy.log"}});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, dir / "frames/%03d.png (60 frames)\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "frames"), fs::directory_iterator()), 60);
    EXPECT_EQ(Last(LogNames(dir / "spy.log"), 5), (Lines{"vrnd", "vstp", "hide", "clr", "module-clr"}));
    args[3] = dir / "still.png";
    args.insert(args.end(), {"--frame", "31"});
    EXPECT_EQ(Execute(kProgram, args).out, dir / "still.png\n");
    // The spy paints channel 0's peak, red = bin and blue = its byte: frame 30
    // (1 s) still hears the first tone, frame 31 the second.
    qvtest::Image f30, f31, still;
    ASSERT_TRUE(qvtest::ReadPng(dir / "frames/030.png", f30) && qvtest::ReadPng(dir / "frames/031.png", f31) &&
                qvtest::ReadPng(dir / "still.png", still));
    EXPECT_EQ(f30.argb, std::vector<uint32_t>(48 * 32, 0xFF1400FFu));
    EXPECT_EQ(f31.argb, std::vector<uint32_t>(48 * 32, 0xFF3C00FFu));
    EXPECT_EQ(still.argb, f31.argb);
}

// --frame N draws the frames before N unseen: the still is frame N of the
// full render, pixel for pixel, at every size and fit. A frame that contains
// the visual (taller than wide by default, or when asked) holds the picture
// of the 16:9 frame that fits it, unscaled, in its middle, and each bar
// beside it is one colour, the commonest along the picture's side it touches.
TEST(Render, StillsAreTheFullRendersFramesAndContainedPicturesAreWhole)
{
    TempDir dir;
    WriteAudio(dir / "in.wav", 22050, 1.0, TwoTones(22050));
    const struct {
        const char *size, *fit;
        int top, left; // of the 64x36 picture
    } rows[] = {{"64x36", "auto", 0, 0}, {"64x100", "auto", 32, 0}, {"120x36", "contain", 0, 28}};
    qvtest::Image picture;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.size);
        Lines args = {"render", dir / "in.wav", "--size", row.size, "--fit", row.fit, "--fps", "30", "--plugin", kBundle,
                      "-o", dir / "f%02d.png"};
        ASSERT_EQ(Execute(kProgram, args).status, 0);
        args.back() = dir / "still.png";
        args.insert(args.end(), {"--frame", "20"});
        ASSERT_EQ(Execute(kProgram, args).status, 0);
        qvtest::Image full, still;
        ASSERT_TRUE(qvtest::ReadPng(dir / "f20.png", full) && qvtest::ReadPng(dir / "still.png", still));
        EXPECT_EQ(still.argb, full.argb);
        if (picture.argb.empty())
            picture = full;
        std::map<uint32_t, int> sides[4]; // colours along the picture's top, bottom, left and right
        for (int y = 0; y < full.height; ++y)
            for (int x = 0; x < full.width; ++x) {
                const int px = x - row.left, py = y - row.top;
                if (px >= 0 && px < 64 && py >= 0 && py < 36) {
                    ASSERT_EQ(full.at(x, y), picture.at(px, py)) << "at " << x << "," << y;
                    sides[0][py == 0 ? full.at(x, y) : 0] += py == 0;
                    sides[1][py == 35 ? full.at(x, y) : 0] += py == 35;
                    sides[2][px == 0 ? full.at(x, y) : 0] += px == 0;
                    sides[3][px == 63 ? full.at(x, y) : 0] += px == 63;
                }
            }
        for (int y = 0; y < full.height; ++y)
            for (int x = 0; x < full.width; ++x) {
                const int side = y < row.top ? 0 : y >= row.top + 36 ? 1 : x < row.left ? 2 : x >= row.left + 64 ? 3 : -1;
                if (side < 0)
                    continue;
                const uint32_t bar = full.at(side == 3 ? full.width - 1 : 0, side == 1 ? full.height - 1 : 0);
                ASSERT_EQ(full.at(x, y), bar) << "at " << x << "," << y;
                for (const auto &[colour, count] : sides[side])
                    ASSERT_LE(count, sides[side][bar]) << "side " << side << ": " << std::hex << colour;
            }
    }
}

// An excerpt (--start, --duration) is the render of the audio cut at its
// start: the same frames from the first on, as many as its length gives.
TEST(Render, AnExcerptIsTheRenderOfTheAudioCutAtItsStart)
{
    TempDir dir;
    WriteAudio(dir / "song.wav", 22050, 2.0, TwoTones(22050));
    ASSERT_EQ(Execute("ffmpeg", {"-nostdin", "-v", "error", "-i", dir / "song.wav", "-af",
                                 "atrim=start_sample=15435:end_sample=28665", dir / "cut.wav"}).status, 0); // 0.7 s on, 0.6 s
    const Lines common = {"--size", "48x27", "--fps", "30", "--plugin", kBundle, "-o"};
    Lines excerpt = {"render", dir / "song.wav", "--start", "0:00.7", "--duration", "0.6"}, cut = {"render", dir / "cut.wav"};
    excerpt.insert(excerpt.end(), common.begin(), common.end());
    cut.insert(cut.end(), common.begin(), common.end());
    fs::create_directory(dir / "excerpt");
    fs::create_directory(dir / "cut");
    excerpt.push_back(dir / "excerpt/%02d.png");
    cut.push_back(dir / "cut/%02d.png");
    ASSERT_EQ(Execute(kProgram, excerpt).out, dir / "excerpt/%02d.png (18 frames)\n");
    ASSERT_EQ(Execute(kProgram, cut).out, dir / "cut/%02d.png (18 frames)\n");
    for (const auto &e : fs::directory_iterator(dir / "cut")) {
        qvtest::Image a, b;
        ASSERT_TRUE(qvtest::ReadPng(e.path(), a) && qvtest::ReadPng(dir / "excerpt/" + e.path().filename().string(), b));
        EXPECT_EQ(a.argb, b.argb) << e.path().filename();
    }
}

// Ctrl-C, SIGTERM and a closed terminal end a render with the shells'
// statuses (128 + the signal) and leave nothing; SIGKILL leaves its hidden
// temporary file, which the next render into the folder removes, sparing a
// link planted under a name like it and the file it points at.
TEST(Render, AnInterruptedRenderEndsTheVisualAndLeavesNothing)
{
    TempDir dir;
    WriteAudio(dir / "long.wav", 8000, 120.0, Tone(30, 8000, 0.3f));
    const std::string audio = ReadText(dir / "long.wav");
    const struct {
        int signal, status; // -1: killed
    } rows[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}, {SIGKILL, -1}};
    for (const auto &row : rows) {
        SCOPED_TRACE(strsignal(row.signal));
        Child render(kProgram,
                     {"render", dir / "long.wav", "-o", dir / "out.mp4", "--size", "320x240", "--preset", "veryslow",
                      "--plugin", kSpyBundle},
                     {{"QV_SPY_LOG", dir / "spy.log"}});
        ASSERT_TRUE(WaitFor([&] { return ReadLog(dir / "spy.log").size() > 20; }, 60s));
        kill(render.pid(), row.signal);
        EXPECT_EQ(render.wait(60s), row.status);
        if (row.status > 0) {
            EXPECT_EQ(Last(LogNames(dir / "spy.log"), 4), (Lines{"vstp", "hide", "clr", "module-clr"}));
        }
        fs::remove(dir / "spy.log");
    }
    Lines left = dir.entries();
    ASSERT_EQ(left.size(), 2u); // long.wav and what SIGKILL left
    const std::string partial = left[0], planted = partial.substr(0, partial.size() - 1) + (partial.back() == 'A' ? "B" : "A");
    fs::create_symlink(dir / "long.wav", dir / planted);
    EXPECT_EQ(Execute(kProgram, {"render", dir / "long.wav", "--frame", "0", "-o", dir / "still.png", "--plugin", kSpyBundle}).status, 0);
    EXPECT_EQ(dir.entries(), (Lines{planted, "long.wav", "still.png"}));
    EXPECT_EQ(ReadText(dir / "long.wav"), audio);
}

TEST(CommandLine, ExitStatusesAndWhatTheProgramSays)
{
    TempDir in, out;
    const std::string good = in / "good.wav", mp4 = out / "x.mp4";
    WriteAudio(good, 22050, 0.5, Tone(12, 22050, 0.5f));
    fs::copy(good, in / "pipe:x.wav"); // a name, not FFmpeg's standard input, as the output's is no protocol
    std::string deep = out.path; // a path beyond PATH_MAX
    while (deep.size() <= PATH_MAX)
        deep += "/" + std::string(200, 'd');
    // A video's sound is input too; no render may write over the file it reads, under any name.
    const std::string video = in / "take7.mp4";
    WriteAudio(video, 22050, 0.5, Tone(12, 22050, 0.5f));
    fs::create_symlink(video, out / "link.mp4");
    fs::create_hard_link(video, out / "hard.mp4");
    const std::string videoBytes = ReadText(video);
    fs::create_directory(out / "taken.mp4");
    // Where nothing can be written: a read-only directory, or for root a file system that refuses new files.
    fs::create_directory(out / "locked");
    fs::permissions(out / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    const std::string unwritable = geteuid() == 0 ? "/sys/qv-out.mp4" : out / "locked/x.mp4";
    const struct {
        Lines args;
        int status;
        std::string says; // on standard output for status 0, else in the one line on standard error
        Env env = {};
    } cases[] = {
        {{"--help"}, 0, "Exit status: 0 success, 1 failure, 2 bad usage"},
        {{"help", "render"}, 0, "Usage: quorvanta render [OPTIONS] FILE"},
        {{"rendr", good, "-o", mp4}, 2, "unknown command 'rendr'; did you mean 'render'?"},
        {{"help", "sing"}, 2, "unknown command 'sing' (the commands: play, live, render, demo, help)"},
        {{"play", good, "--size", "10x10"}, 2, "--size 10x10: each side must be 16 to 8192 pixels"},
        {{"play", good}, 1, "cannot open a window: no display", {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}},
        {{"--version"}, 0, "GL renderer: "},
        {{}, 2, "a command is needed"},
        {{"render", good}, 2, "--output is required"},
        {{"render", good, "-o", mp4, "--bogus"}, 2, "--bogus"},
        {{"render", good, "-o", mp4, "--size", "12"}, 2, "--size 12: expected WIDTHxHEIGHT"},
        {{"render", good, "-o", mp4, "--size", "0x0"}, 2, "--size 0x0: each side must be 16 to 8192"},
        {{"render", good, "-o", mp4, "--size", "99x64"}, 2, "--size 99x64: H.264 video needs an even"},
        {{"render", good, "-o", mp4, "--fps", "0"}, 2, "--fps"},
        {{"render", good, "-o", mp4, "--preset", "warp"}, 2, "--preset"},
        {{"render", good, "-o", mp4, "--start", "1:75"}, 2, "--start 1:75: expected seconds, m:ss or h:mm:ss"},
        {{"render", good, "-o", mp4, "--duration", "0"}, 2, "--duration 0:00: must be more than 0"},
        {{"render", good, "-o", mp4, "--start", "0:01"}, 2, "--start 0:01: the audio lasts only 0:00.5"},
        {{"render", good, "-o", mp4, "--smooth", "17"}, 2, "--smooth"},
        {{"render", good, "-o", mp4, "--fit", "stretch"}, 2, "--fit"},
        {{"render", good, "-o", out / "x.avi"}, 2, "x.avi: unknown kind of output"},
        {{"render", good, "-o", out / "f%d%d.png"}, 2, "exactly one %d"},
        {{"render", good, "-o", out / "f%099d.png"}, 2, "N up to 19"},
        {{"render", good, "-o", out / "X.MP4", "--size", "64x36"}, 0, "X.MP4"},
        {{"render", "pipe:x.wav", "-o", "12:34.mp4", "--size", "64x36"}, 0, "12:34.mp4"},
        {{"render", good, "-o", out / (std::string(236, 'n') + ".mp4"), "--size", "64x36"}, 0, "nnnn.mp4"},
        {{"render", good, "-o", out / (std::string(252, 'n') + ".mp4")}, 1, "File name too long"},
        {{"render", good, "-o", deep + "/x.mp4"}, 1, "File name too long"},
        {{"render", good, "--frame", "-1", "-o", out / "s.png"}, 2, "--frame"},
        {{"render", good, "--frame", "2", "-o", mp4}, 2, "writes a PNG"},
        {{"render", good, "--frame", "999", "-o", out / "s.png"}, 2, "--frame 999: the audio gives only 30 frames"},
        {{"render", video, "-o", video}, 2, "take7.mp4: is the input file"},
        {{"render", video, "-o", in / "../" + fs::path(in.path).filename().string() + "/./take7.mp4"}, 2, "input"},
        {{"render", video, "-o", out / "link.mp4"}, 2, "link.mp4: is the input file"},
        {{"render", video, "-o", out / "hard.mp4"}, 2, "hard.mp4: is the input file"},
        {{"render", video, "-o", in / "take%d.mp4"}, 2, "take%d.mp4: is the input file"},
        {{"render", good, "-o", out / "taken.mp4"}, 1, "taken.mp4: is a directory"},
        {{"render", good, "-o", out / "no/x.mp4", "--size", "8192x8192"}, 1, "no does not exist"},
        {{"render", good, "--frame", "3", "-o", out / "no/s.png"}, 1, "no does not exist"},
        {{"render", good, "-o", unwritable}, 1, "cannot write in"},
        {{"play", in / "none.wav"}, 1, "none.wav: No such file"},
        {{"render", good, "-o", mp4, "--plugin", in / "no.so"}, 1, "no.so: no plug-in bundle there"},
    };
    for (const auto &c : cases) {
        std::string command;
        for (const std::string &a : c.args)
            command += a + " ";
        SCOPED_TRACE(command);
        const Lines before = out.entries();
        const RunResult r = Execute(kProgram, c.args, c.env, 120s, in.path);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE((c.status ? r.err : r.out).find(c.says), std::string::npos) << r.out << r.err;
        if (c.status != 0) {
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err.rfind("quorvanta: ", 0), 0u);
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);
            EXPECT_EQ(out.entries(), before);
        }
    }
    EXPECT_EQ(ReadText(video), videoBytes);
}

} // namespace
