// Decoding input files: the formats libsndfile reads, mono feeding both
// channels, and every kind of unusable file refused with its reason.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/AudioClip.h"
#include "host/HostError.h"
#include "host_test_support.h"

using namespace qvhost;
using namespace qvhosttest;

namespace {

AudioClip TestClip(int rate, double seconds)
{
    return MakeClip(rate, seconds, [](int c, double t) { return c == 0 ? 0.5f * std::sin(2 * M_PI * 440 * t) : 0.25f; });
}

TEST(Decode, ReadsEachFormatWithItsRateAndLength)
{
    struct Case {
        const char *name;
        int format;
        double tolerance; // lossy formats change the samples
    } cases[] = {{"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1e-4},
                 {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1e-4},
                 {"a.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 0.1},
                 {"a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1e-4}};
    TempDir dir;
    const AudioClip source = TestClip(22050, 0.5);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        WriteAudio(dir / c.name, source, 2, c.format);
        const AudioClip clip = DecodeAudioFile(dir / c.name);
        EXPECT_EQ(clip.sampleRate, 22050);
        ASSERT_EQ(clip.frames(), source.frames());
        for (int64_t i = 2000; i < 2100; ++i) {
            ASSERT_NEAR(clip.channels[0][i], source.channels[0][i], c.tolerance);
            ASSERT_NEAR(clip.channels[1][i], source.channels[1][i], c.tolerance);
        }
    }
}

TEST(Decode, MonoFeedsBothChannels)
{
    TempDir dir;
    WriteAudio(dir / "mono.wav", TestClip(8000, 0.25), 1);
    const AudioClip clip = DecodeAudioFile(dir / "mono.wav");
    ASSERT_EQ(clip.frames(), 2000);
    for (int64_t i = 0; i < clip.frames(); ++i)
        ASSERT_EQ(clip.channels[0][i], clip.channels[1][i]);
    EXPECT_GT(*std::max_element(clip.channels[1].begin(), clip.channels[1].end()), 0.4f);
}

// Each bad file is refused with a message that names it and says why.
TEST(Decode, RefusesUnusableFiles)
{
    TempDir dir;
    const AudioClip good = TestClip(44100, 0.5);
    WriteAudio(dir / "good.wav", good);
    const std::string wav = ReadText(dir / "good.wav");
    WriteAudio(dir / "good.flac", good, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const std::string flac = ReadText(dir / "good.flac");

    WriteText(dir / "empty.wav", "");
    WriteText(dir / "text.wav", "this is not audio at all, just some words in a file\n");
    WriteText(dir / "cut.wav", wav.substr(0, wav.size() / 2));
    WriteText(dir / "cut.flac", flac.substr(0, flac.size() / 2));
    WriteText(dir / "header-only.wav", wav.substr(0, 30));
    {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 4;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE *f = sf_open((dir / "quad.wav").c_str(), SFM_WRITE, &info);
        std::vector<float> frames(4 * 100, 0.1f);
        sf_writef_float(f, frames.data(), 100);
        sf_close(f);
    }
    WriteAudio(dir / "slow.wav", TestClip(4000, 0.5));
    WriteAudio(dir / "silent-length.wav", TestClip(44100, 0.0));
    mkdir((dir / "folder.wav").c_str(), 0755);

    struct Case {
        std::string file;
        std::string reason;
    } cases[] = {
        {"missing.wav", "No such file"},
        {"folder.wav", "is a directory"},
        {"empty.wav", "is empty"},
        {"text.wav", "not audio"},
        {"cut.wav", "truncated"},
        {"cut.flac", "truncated"},
        {"header-only.wav", "not audio"},
        {"quad.wav", "4 channels"},
        {"slow.wav", "4000 Hz is not supported"},
        {"silent-length.wav", "no audio"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        try {
            DecodeAudioFile(dir / c.file);
            ADD_FAILURE() << "accepted";
        } catch (const HostError &e) {
            const std::string what = e.what();
            EXPECT_EQ(what.rfind(dir / c.file + ": ", 0), 0u) << what;
            EXPECT_NE(what.find(c.reason), std::string::npos) << what;
            EXPECT_EQ(what.find('\n'), std::string::npos);
            EXPECT_EQ(e.exitStatus(), kExitFailure);
        }
    }
}

TEST(Decode, RefusesAFileThatCannotBeOpened)
{
    TempDir dir;
    // Root reads files whatever their mode; a socket cannot be opened by
    // anyone, so it stands in for an unreadable file there.
    const std::string path = dir / "unreadable.wav";
    if (geteuid() != 0) {
        WriteAudio(path, TestClip(44100, 0.1));
        chmod(path.c_str(), 0);
    } else {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        close(fd);
    }
    try {
        CheckAudioFile(path);
        ADD_FAILURE() << "accepted";
    } catch (const HostError &e) {
        EXPECT_EQ(std::string(e.what()).rfind(path + ": ", 0), 0u) << e.what();
    }
}

} // namespace
