// The command line: help and version, and every kind of bad input refused
// with one line that names the thing and the reason, the right exit status,
// and no output file left behind.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host_test_support.h"

using namespace qvhosttest;

namespace {

TEST(CommandLine, HelpAndVersion)
{
    const RunResult help = RunProgram(ProgramPath(), {"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char *word : {"play", "live", "render", "demo", "--plugin", "--version"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    const RunResult renderHelp = RunProgram(ProgramPath(), {"render", "--help"});
    EXPECT_EQ(renderHelp.status, 0);
    for (const char *word : {"--size", "--fps", "--frame", "-o", "%04d"})
        EXPECT_NE(renderHelp.out.find(word), std::string::npos) << word;
    const RunResult version = RunProgram(ProgramPath(), {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("quorvanta ", 0), 0u) << version.out;
    EXPECT_NE(version.out.find("GL renderer: "), std::string::npos) << version.out;
    EXPECT_EQ(version.out.find("GL renderer: none"), std::string::npos) << version.out;
}

class BadInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        const qvhost::AudioClip tone =
            MakeClip(22050, 0.5, [](int, double t) { return BinSine(12, 22050, t, 0.5f); });
        WriteAudio(in / "good.wav", tone);
        const std::string wav = ReadText(in / "good.wav");
        WriteText(in / "cut.wav", wav.substr(0, wav.size() * 2 / 3));
        WriteText(in / "empty.wav", "");
        WriteText(in / "words.wav", "RIFF? no, just words\n");
        WriteText(in / "notes.so", "not a library\n");
        mkdir((in / "folder.wav").c_str(), 0755);
        WriteAudio(in / "slow.wav", MakeClip(2000, 0.5, [](int, double) { return 0.0f; }));
        SF_INFO info{};
        info.samplerate = 22050;
        info.channels = 6;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE *f = sf_open((in / "six.wav").c_str(), SFM_WRITE, &info);
        std::vector<float> frames(6 * 512, 0.1f);
        sf_writef_float(f, frames.data(), 512);
        sf_close(f);
        // An unreadable input: a socket (root reads any file whatever its mode).
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", (in / "socket.wav").c_str());
        bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        close(fd);
        if (geteuid() != 0) {
            WriteAudio(in / "locked.wav", tone);
            chmod((in / "locked.wav").c_str(), 0);
        }
        mkdir((out / "taken.mp4").c_str(), 0755);
        mkdir((out / "locked").c_str(), 0555);
    }

    // Where the test cannot write: a read-only directory, or for root a
    // file system that refuses new files.
    std::string unwritable() const { return geteuid() == 0 ? "/sys/qv-out.mp4" : out / "locked/x.mp4"; }

    void expectRefused(const std::vector<std::string> &args, int status, const std::string &reason,
                       const std::map<std::string, std::string> &env = {})
    {
        const std::vector<std::string> before = out.entries();
        const RunResult r = RunProgram(ProgramPath(), args, env);
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("quorvanta: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
        EXPECT_EQ(out.entries(), before) << r.err;
    }

    TempDir in, out;
};

TEST_F(BadInput, InputFiles)
{
    struct Case {
        std::string file;
        std::string reason;
    } cases[] = {
        {in / "missing.wav", "missing.wav: No such file"},
        {in / "folder.wav", "folder.wav: is a directory"},
        {in / "empty.wav", "empty.wav: is empty"},
        {in / "cut.wav", "cut.wav: is truncated"},
        {in / "words.wav", "words.wav: not audio"},
        {in / "six.wav", "six.wav: 6 channels"},
        {in / "slow.wav", "slow.wav: sample rate 2000 Hz"},
        {in / "socket.wav", "socket.wav: is not a regular file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        expectRefused({"render", c.file, "-o", out / "x.mp4", "--plugin", SpyBundlePath()}, 1, c.reason);
        expectRefused({"play", c.file, "--plugin", SpyBundlePath()}, 1, c.reason);
    }
    if (geteuid() != 0)
        expectRefused({"render", in / "locked.wav", "-o", out / "x.mp4"}, 1, "locked.wav: cannot be read");
}

TEST_F(BadInput, OutputPlaces)
{
    const std::string good = in / "good.wav";
    struct Case {
        std::string output;
        std::string reason;
    } cases[] = {
        {out / "taken.mp4", "taken.mp4: is a directory"},
        {out / "nowhere/x.mp4", "does not exist"},
        {unwritable(), "cannot write in"},
        {out / "nowhere/%03d.png", "does not exist"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.output);
        expectRefused({"render", good, "-o", c.output, "--size", "32x32", "--plugin", SpyBundlePath()}, 1, c.reason);
    }
    expectRefused({"render", good, "--frame", "3", "-o", out / "nowhere/s.png", "--plugin", SpyBundlePath()}, 1,
                  "does not exist");
}

TEST_F(BadInput, Options)
{
    const std::string good = in / "good.wav";
    const std::string mp4 = out / "x.mp4";
    struct Case {
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        {{"render", good, "-o", mp4, "--bogus"}, "--bogus"},
        {{"render", good}, "--output is required"},
        {{}, "a command is needed"},
        {{"dance"}, "dance"},
        {{"render", good, "-o", mp4, "--size", "12"}, "--size 12: expected WIDTHxHEIGHT"},
        {{"render", good, "-o", mp4, "--size", "axb"}, "--size axb"},
        {{"render", good, "-o", mp4, "--size", "0x0"}, "--size 0x0: each side must be"},
        {{"render", good, "-o", mp4, "--size", "99999x64"}, "--size 99999x64"},
        {{"render", good, "-o", mp4, "--size", "99x64"}, "even width and height"},
        {{"render", good, "-o", mp4, "--fps", "0"}, "--fps"},
        {{"render", good, "-o", mp4, "--fps", "fast"}, "--fps"},
        {{"render", good, "-o", mp4, "--fps", "1001"}, "--fps"},
        {{"render", good, "-o", out / "x.avi"}, "x.avi: unknown kind of output"},
        {{"render", good, "-o", out / "f%d%d.png"}, "exactly one %d"},
        {{"render", good, "-o", out / "f%s.png"}, "exactly one %d"},
        {{"render", good, "--frame", "-1", "-o", out / "s.png"}, "--frame"},
        {{"render", good, "--frame", "2", "-o", mp4}, "writes a PNG"},
        {{"render", good, "--frame", "999", "-o", out / "s.png", "--plugin", SpyBundlePath()},
         "--frame 999: the audio gives only 30 frames"},
        {{"render", good, "-o", mp4, "--preset", "warp"}, "--preset"},
        {{"play", good, "--size", "1x"}, "--size 1x"},
    };
    for (const Case &c : cases) {
        std::string joined;
        for (const std::string &a : c.args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        expectRefused(c.args, 2, c.reason);
    }
}

TEST_F(BadInput, Bundles)
{
    const std::string good = in / "good.wav";
    struct Case {
        std::string bundle;
        const char *fail;
        std::string reason;
    } cases[] = {
        {in / "notes.so", "", "notes.so: not a loadable plug-in bundle"},
        {in / "none.so", "", "none.so: no plug-in bundle there"},
        {NoEntryBundlePath(), "", "no entry point iTunesPluginMainMachO"},
        {SpyBundlePath(), "init", "the visual plug-in failed to initialise"},
        {SpyBundlePath(), "show", "the visual plug-in failed to show"},
        {SpyBundlePath(), "register", "registered no visual plug-in"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bundle + " " + c.fail);
        expectRefused({"render", good, "-o", out / "x.mp4", "--size", "32x32", "--plugin", c.bundle}, 1, c.reason,
                      {{"QV_SPY_FAIL", c.fail}});
        expectRefused({"render", good, "-o", out / "%d.png", "--size", "32x32", "--plugin", c.bundle}, 1, c.reason,
                      {{"QV_SPY_FAIL", c.fail}});
    }
}

} // namespace
