// `quorvanta render` against broken and hostile input, made here: truncated
// headers and data, lengths that lie, odd channel counts and rates, random
// bytes behind audio names and magic numbers, valid files full of NaN,
// infinities, denormals and enormous samples, and paths that hold no audio
// file. Each ends in one clear error (exit 1, one line on standard error
// naming the file and the reason, nothing left in the output folder) or a
// valid video (exit 0, an H.264 stream of the right size and frame count) of
// what decodes, with one warning line naming the file and the time when
// decoding stopped early; never a crash or a hang: each render has a time
// limit.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <limits>
#include <optional>
#include <random>

#include "host_test_support.h"

using namespace qvtest;

namespace {

constexpr int kRate = 22050;
constexpr uint32_t kHuge = 0xFFFFFFF0u;

// The bytes of a file of 0.6 s (or `seconds`) of two tones (or `f`) of type
// `ext`, encoded with `codec` options.
std::string Encode(
    const char *ext, const Lines &codec = {}, int rate = kRate, double seconds = 0.6, int channels = 2,
    std::function<float(int, double)> f = [](int c, double t) { return 0.5f * float(std::sin((c ? 2073 : 2765) * t)); })
{
    TempDir dir;
    WriteAudio(dir / "a" + ext, rate, seconds, f, channels, codec);
    return ReadText(dir / "a" + ext);
}
std::string Wav() { return Encode(".wav"); }
std::string Half(const std::string &bytes) { return bytes.substr(0, bytes.size() / 2); }
std::string Random(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char &c : s)
        c = static_cast<char>(gen());
    return s;
}
// Offset of the payload of the first RIFF chunk named `id`.
size_t Chunk(const std::string &wav, const char *id)
{
    uint32_t size = 0;
    size_t at = 12;
    for (; at + 8 <= wav.size() && wav.compare(at, 4, id) != 0; at += 8 + size + (size & 1))
        std::memcpy(&size, &wav[at + 4], 4);
    return at + 8;
}
template <typename T> std::string Put(std::string bytes, size_t at, T value)
{
    std::memcpy(&bytes[at], &value, sizeof value);
    return bytes;
}
// A WAV file with one field of its "fmt " chunk (at `offset` within the chunk) changed.
template <typename T> std::string WavField(size_t offset, T value)
{
    return Put(Wav(), Chunk(Wav(), "fmt ") + offset, value);
}

// Values that break arithmetic, in runs between runs of a tone.
float Hostile(int c, double t)
{
    using L = std::numeric_limits<float>;
    const float specials[] = {L::quiet_NaN(), L::infinity(), -L::infinity(), L::denorm_min(),
                              L::max(),       -L::max(),     1e30f,          -0.0f};
    const long i = std::lround(t * kRate);
    return (i / 997 + c) % 2 ? 0.5f * std::sin(0.125f * i) : specials[(i / 997 + i % 5) % 8];
}

using Bytes = std::optional<std::string>; // none: the row made its path itself, or left nothing there
Bytes Folder(const std::string &path)
{
    fs::create_directory(path);
    return {};
}
Bytes Socket(const std::string &path)
{
    sockaddr_un address{AF_UNIX, {}};
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    close(fd);
    return {};
}
Bytes VideoOnly(const std::string &path) // by the ffmpeg program
{
    Execute("ffmpeg", {"-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=32x32:rate=10:duration=0.5", path});
    return {};
}
std::string Mp3FramesOfNoise()
{
    std::string s;
    for (unsigned k = 0; k < 16; ++k)
        s += std::string("\xFF\xFB\x90\x64", 4) + Random(413, 8 + k);
    return s;
}

enum Outcome { Error, Video, Warned, Either }; // Warned: a video of what decoded and one warning line
struct Case {
    const char *name; // of the input file
    Outcome outcome;
    const char *reason;                                 // in the error or warning line
    std::function<Bytes(const std::string &path)> make; // the input's bytes
    int frames;                                         // of the video (0: at least one)
};

const Case kCases[] = {
    {"missing.wav", Error, "No such file", [](auto &) { return Bytes(); }, 0},
    {"folder.wav", Error, "is a directory", Folder, 0},
    {"socket.wav", Error, "is not a regular file", Socket, 0},
    {"empty.wav", Error, "is empty", [](auto &) { return ""; }, 0},
    {"cut_in_header.wav", Error, "not audio", [](auto &) { return Wav().substr(0, 30); }, 0},
    {"header_only.wav", Error, "holds no audio", [](auto &) { return Wav().substr(0, Chunk(Wav(), "data")); }, 0},
    // What decodes is what renders, whatever the header says.
    {"cut_in_data.wav", Warned, "decoding stopped at 0:00.399",
     [](auto &) { return Wav().substr(0, Wav().size() * 2 / 3); }, 4},
    {"riff_size_too_long.wav", Video, "", [](auto &) { return Put(Wav(), 4, kHuge); }, 6},
    {"data_size_too_long.wav", Video, "", [](auto &) { return Put(Wav(), Chunk(Wav(), "data") - 4, kHuge); }, 6},
    {"no_samples.wav", Error, "holds no audio", [](auto &) { return Encode(".wav", {}, kRate, 0.0); }, 0},
    {"no_channels.wav", Error, "not audio", [](auto &) { return WavField<uint16_t>(2, 0); }, 0},
    {"rate_zero.wav", Error, "not audio", [](auto &) { return WavField<uint32_t>(4, 0); }, 0},
    {"unknown_format_tag.wav", Error, "not audio", [](auto &) { return WavField<uint16_t>(0, 0x7777); }, 0},
    {"riff_then_noise.wav", Error, "not audio", [](auto &) { return Wav().substr(0, 12) + Random(4096, 1); }, 0},
    {"noise.wav", Error, "not audio", [](auto &) { return Random(4096, 2); }, 0},
    {"video_only.mp4", Error, "no audio stream", VideoOnly, 0},
    // Mixed down to two channels; rates beyond the program's resampled into them.
    {"six_channels.wav", Video, "", [](auto &) { return Encode(".wav", {}, kRate, 0.6, 6); }, 6},
    {"rate_below_range.wav", Video, "", [](auto &) { return Encode(".wav", {}, 7999, 0.25); }, 3},
    {"rate_above_range.wav", Video, "", [](auto &) { return Encode(".wav", {}, 192001, 0.25); }, 3},
    // Rates no audio has are refused before a buffer is sized by them (once 4 GB and 1.5 GB).
    {"one_hertz.flac", Error, "claims a sample rate of 1 Hz", [](auto &) { // STREAMINFO's 20 bits from byte 18
         std::string flac = Encode(".flac");
         return flac.replace(18, 3, {0, 0, char(0x10 | (flac[20] & 0x0F))});
     }, 0},
    {"rate_2147483647.wav", Error, "claims a sample rate of 2147483647 Hz", [](auto &) { return WavField<uint32_t>(4, 2147483647); }, 0},
    {"nan_inf_denormal_huge.wav", Video, "",
     [](auto &) { return Encode(".wav", {"-c:a", "pcm_f32le"}, kRate, 0.6, 2, Hostile); }, 6},
    {"one_sample.wav", Video, "", [](auto &) { return Encode(".wav", {}, kRate, 1.0 / kRate); }, 1},
    {"lowest_rate_mono_odd.wav", Video, "", [](auto &) { return Encode(".wav", {}, 8000, 1001.0 / 8000, 1); }, 2},
    {"wav_named.mp3", Video, "", [](auto &) { return Wav(); }, 6},
    {"whole.aiff", Video, "", [](auto &) { return Encode(".aiff", {"-c:a", "pcm_s24be"}); }, 6},
    // Decoding stops at damage: the part before it renders, with a warning.
    {"cut.flac", Warned, "decoding stopped at 0:00.", [](auto &) { return Half(Encode(".flac")); }, 3},
    {"magic_then_noise.flac", Error, "", [](auto &) { return "fLaC" + Random(4096, 3); }, 0},
    {"cut.ogg", Either, "", [](auto &) { return Half(Encode(".ogg", {"-c:a", "libvorbis"})); }, 0},
    {"magic_then_noise.ogg", Error, "", [](auto &) { return "OggS" + Random(4096, 5); }, 0},
    {"cut.mp3", Either, "", [](auto &) { return Half(Encode(".mp3")); }, 0},
    {"id3_tag_only.mp3", Error, "",
     [](auto &) { return std::string("ID3\x04\0\0\0\0\0\x0A", 10) + std::string(10, '\0'); }, 0},
    {"frame_sync_then_noise.mp3", Either, "", [](auto &) { return Mp3FramesOfNoise(); }, 0},
};

class BrokenAudio : public ::testing::TestWithParam<Case> {};

TEST_P(BrokenAudio, EndsInOneClearErrorOrAValidVideo)
{
    const Case &c = GetParam();
    TempDir in, out;
    const std::string input = in / c.name;
    if (const Bytes bytes = c.make(input))
        WriteText(input, *bytes);
#if defined(__SANITIZE_ADDRESS__)
    const auto limit = 180s;
#else
    const auto limit = 60s;
#endif
    const RunResult r =
        Execute(kProgram, {"render", input, "-o", out / "v.mp4", "--size", "64x36", "--fps", "10"}, {}, limit);
    RecordProperty("exit_status", r.status); // which way each file went, in the XML report
    ASSERT_TRUE(r.status == 0 || r.status == 1) << "exit status " << r.status << " (-1: crashed or out of time)\n"
                                                << r.err;
    if (c.outcome != Either) {
        EXPECT_EQ(r.status, c.outcome == Error ? 1 : 0) << r.err;
        EXPECT_EQ(r.err.empty(), c.outcome == Video) << r.err;
    }
    if (!r.err.empty()) { // (a sanitizer's report, in the sanitizer build, is never one line)
        const std::string kind = r.status == 0 ? "warning: " : "";
        EXPECT_EQ(r.err.rfind("quorvanta: " + kind + input + ": ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    }
    if (r.status == 1) {
        EXPECT_EQ(out.entries(), Lines()) << "output left behind after a failure";
    } else {
        const std::string video = VideoSummary(out / "v.mp4");
        EXPECT_EQ(video.rfind("h264 64x36 " + (c.frames ? std::to_string(c.frames) + " frames" : ""), 0), 0u) << video;
        EXPECT_EQ(video.find(" 0 frames"), std::string::npos) << video;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, BrokenAudio, ::testing::ValuesIn(kCases), [](const auto &info) {
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), '.', '_');
    return name;
});

} // namespace
