// `quorvanta render` against broken and hostile input, made here from
// generated audio: truncated headers and data, lengths that lie, impossible
// channel counts and rates, random bytes behind audio names and magic
// numbers, valid files full of NaN, infinities, denormals and enormous
// samples, and paths that hold no audio file at all. Each ends in one clear
// error (exit 1, one line on standard error naming the file and the reason,
// nothing left in the output folder) or a valid video (exit 0, an H.264
// stream of the right size and frame count), never a crash or a hang: each
// render has a time limit. Renders are tiny (64 x 36 at 10 fps).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <limits>
#include <optional>
#include <cstring>
#include <random>

#include "host_test_support.h"

using namespace qvhosttest;

namespace {

constexpr int kRate = 22050;
constexpr double kSeconds = 0.6;

// The bytes of a valid file in `format` whose samples are sample(channel, index).
std::string Encode(int format, int rate = kRate, double seconds = kSeconds, int channels = 2,
                   const std::function<float(int, long)> &sample = {})
{
    TempDir dir;
    SF_INFO info{0, rate, channels, format, 0, 0};
    SNDFILE *f = sf_open((dir / "a").c_str(), SFM_WRITE, &info);
    std::vector<float> samples;
    for (long i = 0; i < std::lround(seconds * rate); ++i)
        for (int c = 0; c < channels; ++c)
            samples.push_back(sample ? sample(c, i) : 0.5f * std::sin(6.2831853f * (c ? 330 : 440) * i / rate));
    sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
    sf_close(f);
    return ReadText(dir / "a");
}
std::string Wav() { return Encode(SF_FORMAT_WAV | SF_FORMAT_PCM_16); }

std::string Random(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char &c : s)
        c = static_cast<char>(gen() & 0xFF);
    return s;
}

// Offset of the payload of the first RIFF chunk named `id` (after its 8-byte head).
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
// A WAV file with one field of its "fmt " chunk (offset within the chunk) changed.
template <typename T> std::string WavField(size_t field, T value)
{
    return Put(Wav(), Chunk(Wav(), "fmt ") + field, value);
}
std::string WavDataSize(uint32_t size) { return Put(Wav(), Chunk(Wav(), "data") - 4, size); }
std::string Half(const std::string &bytes) { return bytes.substr(0, bytes.size() / 2); }

// Values that break arithmetic, in runs of 997 samples between runs of a tone.
float Hostile(int c, long i)
{
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::denorm_min(),
                              std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(), 1e30f, -0.0f};
    return (i / 997 + c) % 2 ? 0.5f * std::sin(0.125f * i) : specials[(i / 997 + i % 5) % 8];
}

enum class Outcome { Error, Video, Either };
using Bytes = std::optional<std::string>; // none: the row made its path itself (or left nothing there)

struct Case {
    const char *name; // the input file's name
    Outcome outcome;
    const char *reason; // in the error line (Error rows)
    std::function<Bytes(const std::string &path)> make;
    int64_t frames; // of a valid video; 0: at least one
};

const uint32_t kHuge = 0xFFFFFFF0u;
const int kPcm16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

const Case kCases[] = {
    // Places that hold no audio file.
    {"missing.wav", Outcome::Error, "No such file", [](auto &) { return Bytes(); }, 0},
    {"folder.wav", Outcome::Error, "is a directory", [](auto &path) { fs::create_directory(path); return Bytes(); }, 0},
    {"socket.wav", Outcome::Error, "is not a regular file",
     [](auto &path) {
         sockaddr_un addr{AF_UNIX, {}};
         path.copy(addr.sun_path, sizeof addr.sun_path - 1);
         const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
         bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
         close(fd);
         return Bytes();
     }, 0},
    {"empty.wav", Outcome::Error, "is empty", [](auto &) { return ""; }, 0},
    // WAV: headers cut or lying.
    {"cut_in_header.wav", Outcome::Error, "not audio", [](auto &) { return Wav().substr(0, 30); }, 0},
    {"header_only.wav", Outcome::Error, "", [](auto &) { return Wav().substr(0, Chunk(Wav(), "data")); }, 0},
    {"cut_in_data.wav", Outcome::Error, "is truncated", [](auto &) { return Wav().substr(0, Wav().size() * 2 / 3); }, 0},
    {"riff_size_too_long.wav", Outcome::Error, "is truncated", [](auto &) { return Put(Wav(), 4, kHuge); }, 0},
    {"riff_size_too_short.wav", Outcome::Either, "", [](auto &) { return Put(Wav(), 4, 100u); }, 0},
    {"data_size_too_long.wav", Outcome::Either, "", [](auto &) { return WavDataSize(kHuge); }, 0},
    {"data_size_zero.wav", Outcome::Either, "", [](auto &) { return WavDataSize(0); }, 0},
    {"no_samples.wav", Outcome::Error, "holds no audio", [](auto &) { return Encode(kPcm16, kRate, 0.0); }, 0},
    {"no_channels.wav", Outcome::Error, "not audio", [](auto &) { return WavField<uint16_t>(2, 0); }, 0},
    {"six_channels.wav", Outcome::Error, "6 channels", [](auto &) { return Encode(kPcm16, kRate, kSeconds, 6); }, 0},
    {"65535_channels.wav", Outcome::Error, "not audio", [](auto &) { return WavField<uint16_t>(2, 0xFFFF); }, 0},
    {"rate_zero.wav", Outcome::Error, "not audio", [](auto &) { return WavField<uint32_t>(4, 0); }, 0},
    {"rate_huge.wav", Outcome::Error, "", [](auto &) { return WavField<uint32_t>(4, 0xFFFFFFFFu); }, 0},
    {"rate_too_low.wav", Outcome::Error, "rate 7999 Hz is not", [](auto &) { return Encode(kPcm16, 7999, 0.25); }, 0},
    {"rate_too_high.wav", Outcome::Error, "rate 192001 Hz", [](auto &) { return Encode(kPcm16, 192001, 0.25); }, 0},
    {"block_align_zero.wav", Outcome::Either, "", [](auto &) { return WavField<uint16_t>(12, 0); }, 0},
    {"seven_bit_samples.wav", Outcome::Either, "", [](auto &) { return WavField<uint16_t>(14, 7); }, 0},
    {"unknown_format_tag.wav", Outcome::Error, "not audio", [](auto &) { return WavField<uint16_t>(0, 0x7777); }, 0},
    {"riff_then_random.wav", Outcome::Error, "not audio",
     [](auto &) { return "RIFF" + std::string("\x00\x10\x00\x00WAVE", 8) + Random(4096, 1); }, 0},
    {"zeros.wav", Outcome::Error, "not audio", [](auto &) { return std::string(4096, '\0'); }, 0},
    {"random.wav", Outcome::Error, "not audio", [](auto &) { return Random(4096, 2); }, 0},
    // WAV: valid containers of hostile or extreme sound.
    {"nan_inf_denormal_huge.wav", Outcome::Video, "",
     [](auto &) { return Encode(SF_FORMAT_WAV | SF_FORMAT_FLOAT, kRate, kSeconds, 2, Hostile); }, 6},
    {"one_sample.wav", Outcome::Video, "", [](auto &) { return Encode(kPcm16, kRate, 1.0 / kRate); }, 1},
    {"lowest_rate_mono_odd.wav", Outcome::Video, "", [](auto &) { return Encode(kPcm16, 8000, 1001.0 / 8000, 1); }, 2},
    {"highest_rate.wav", Outcome::Video, "", [](auto &) { return Encode(kPcm16, 192000, 0.25); }, 3},
    {"wav_named.mp3", Outcome::Video, "", [](auto &) { return Wav(); }, 6},
    // The other formats, whole and broken.
    {"whole.aiff", Outcome::Video, "", [](auto &) { return Encode(SF_FORMAT_AIFF | SF_FORMAT_PCM_24); }, 6},
    {"whole.flac", Outcome::Video, "", [](auto &) { return Encode(SF_FORMAT_FLAC | SF_FORMAT_PCM_16); }, 6},
    {"whole.ogg", Outcome::Video, "", [](auto &) { return Encode(SF_FORMAT_OGG | SF_FORMAT_VORBIS); }, 6},
    // (MP3 lengths are estimates, so a cut MP3 may still play.)
    {"cut.flac", Outcome::Error, "truncated", [](auto &) { return Half(Encode(SF_FORMAT_FLAC | SF_FORMAT_PCM_16)); }, 0},
    {"stream_info_only.flac", Outcome::Error, "",
     [](auto &) { return Encode(SF_FORMAT_FLAC | SF_FORMAT_PCM_16).substr(0, 42); }, 0},
    {"magic_then_random.flac", Outcome::Error, "", [](auto &) { return "fLaC" + Random(4096, 3); }, 0},
    {"cut.ogg", Outcome::Either, "", [](auto &) { return Half(Encode(SF_FORMAT_OGG | SF_FORMAT_VORBIS)); }, 0},
    {"magic_then_random.ogg", Outcome::Error, "", [](auto &) { return "OggS" + Random(4096, 5); }, 0},
    {"cut.mp3", Outcome::Either, "", [](auto &) { return Half(Encode(SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III)); }, 0},
    {"id3_tag_only.mp3", Outcome::Error, "", [](auto &) { return std::string("ID3\x04\0\0\0\0\0\x0A", 10) + std::string(10, '\0'); }, 0},
    {"random.mp3", Outcome::Either, "", [](auto &) { return Random(4096, 7); }, 0},
    {"frame_sync_then_random.mp3", Outcome::Either, "",
     [](auto &) {
         std::string s;
         for (unsigned k = 0; k < 16; ++k)
             s += std::string("\xFF\xFB\x90\x64", 4) + Random(413, 8 + k);
         return s;
     }, 0},
};

#if defined(__SANITIZE_ADDRESS__)
constexpr auto kTimeLimit = 180s;
#else
constexpr auto kTimeLimit = 60s;
#endif

class BrokenAudio : public ::testing::TestWithParam<Case> {};

TEST_P(BrokenAudio, EndsInOneClearErrorOrAValidVideo)
{
    const Case &c = GetParam();
    TempDir in, out;
    const std::string input = in / c.name;
    if (const Bytes bytes = c.make(input))
        WriteText(input, *bytes);
    const RunResult r =
        Execute(kProgram, {"render", input, "-o", out / "video.mp4", "--size", "64x36", "--fps", "10"}, {}, kTimeLimit);
    RecordProperty("exit_status", r.status); // which way each file went, in the XML report
    ASSERT_TRUE(r.status == 0 || r.status == 1) << "exit status " << r.status << " (-1: crashed or out of time)\n"
                                                 << r.err;
    if (c.outcome != Outcome::Either) {
        EXPECT_EQ(r.status, c.outcome == Outcome::Video ? 0 : 1) << r.err;
    }
    if (r.status == 1) { // (a sanitizer's report, in the sanitizer build, is never one line)
        EXPECT_EQ(r.err.rfind("quorvanta: " + input + ": ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_EQ(out.entries(), Lines()) << "output left behind after a failure";
    } else {
        const std::string video = VideoSummary(out / "video.mp4");
        EXPECT_EQ(video.rfind("h264 64x36 " + (c.frames ? std::to_string(c.frames) + " frames" : std::string()), 0), 0u)
            << video;
        EXPECT_EQ(video.find(" 0 frames"), std::string::npos) << video;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, BrokenAudio, ::testing::ValuesIn(kCases), [](const auto &info) {
    std::string name = info.param.name;
    std::replace_if(name.begin(), name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
    return name;
});

} // namespace
