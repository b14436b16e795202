// `quorvanta render` against broken and hostile audio files: truncated
// headers and data, lengths that lie, impossible channel counts and rates,
// random bytes behind audio names and magic numbers, and valid files full of
// NaN, infinities, denormals and enormous samples. Each file ends in one
// clear error (exit 1, one line on standard error naming the file, nothing
// left in the output folder) or a valid video (exit 0, an H.264 stream of
// the right size and frame count), never a crash or a hang: each render has
// a time limit. The files are made here from generated audio; renders are
// tiny (64 x 36 at 10 fps).
#include <gtest/gtest.h>
extern "C" {
#include <libavformat/avformat.h>
}

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <ostream>
#include <random>
#include <string>

#include "host_test_support.h"

using namespace qvhosttest;

namespace {

constexpr int kRate = 22050;
constexpr double kSeconds = 0.6;
constexpr int kFps = 10;

enum class Outcome { Error, Video, Either };

struct Material {
    TempDir &dir;
    // A valid file of the tone in `format`, as bytes.
    std::string encode(int format, int rate = kRate, double seconds = kSeconds, int channels = 2) const
    {
        const qvhost::AudioClip clip =
            MakeClip(rate, seconds, [](int c, double t) { return 0.5f * std::sin(6.2831853 * (c ? 330 : 440) * t); });
        const std::string path = dir / "material";
        WriteAudio(path, clip, channels, format);
        const std::string bytes = ReadText(path);
        std::remove(path.c_str());
        return bytes;
    }
    std::string wav() const { return encode(SF_FORMAT_WAV | SF_FORMAT_PCM_16); }
};

std::string Random(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char &c : s)
        c = static_cast<char>(gen() & 0xFF);
    return s;
}

// Offset of the payload of the first RIFF chunk named `id` (after its
// 8-byte head), or npos.
size_t Chunk(const std::string &wav, const char *id)
{
    for (size_t at = 12; at + 8 <= wav.size();) {
        uint32_t size;
        std::memcpy(&size, &wav[at + 4], 4);
        if (wav.compare(at, 4, id) == 0)
            return at + 8;
        at += 8 + size + (size & 1);
    }
    return std::string::npos;
}

template <typename T> std::string Put(std::string bytes, size_t at, T value)
{
    std::memcpy(&bytes[at], &value, sizeof value);
    return bytes;
}

// A WAV file with one of its `fmt ` fields (offset within the chunk) changed.
template <typename T> std::string WavField(const std::string &wav, size_t field, T value)
{
    return Put(wav, Chunk(wav, "fmt ") + field, value);
}

// A 32-bit float WAV whose samples are the values that break arithmetic.
std::string HostileFloats(const TempDir &dir)
{
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(),  std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::denorm_min(),
                              std::numeric_limits<float>::max(),       -std::numeric_limits<float>::max(),
                              1e30f,                                   -0.0f};
    qvhost::AudioClip clip = MakeClip(kRate, kSeconds, [](int, double t) { return 0.5f * std::sin(2765.0 * t); });
    for (int c = 0; c < 2; ++c)
        for (size_t i = 0; i < clip.channels[c].size(); ++i)
            if ((i / 997 + c) % 2 == 0)
                clip.channels[c][i] = specials[(i / 997 + i % 5) % 8];
    WriteAudio(dir / "floats", clip, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    const std::string bytes = ReadText(dir / "floats");
    std::remove((dir / "floats").c_str());
    return bytes;
}

struct Case {
    const char *name;
    const char *extension;
    Outcome outcome;
    std::function<std::string(const Material &)> make;
    int64_t frames; // video frames of a valid video (0: do not check)
};

void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name << "." << c.extension;
}

const uint32_t kHuge = 0xFFFFFFF0u;

const Case kCases[] = {
    // WAV: headers cut or lying.
    {"wav_cut_in_header", "wav", Outcome::Error, [](const Material &m) { return m.wav().substr(0, 30); }, 0},
    {"wav_header_only", "wav", Outcome::Error,
     [](const Material &m) {
         const std::string w = m.wav();
         return w.substr(0, Chunk(w, "data"));
     }, 0},
    {"wav_cut_in_data", "wav", Outcome::Error,
     [](const Material &m) {
         const std::string w = m.wav();
         return w.substr(0, w.size() * 2 / 3 + 1);
     }, 0},
    {"wav_riff_size_too_long", "wav", Outcome::Error, [](const Material &m) { return Put(m.wav(), 4, kHuge); }, 0},
    {"wav_riff_size_too_short", "wav", Outcome::Either, [](const Material &m) { return Put(m.wav(), 4, 100u); }, 0},
    {"wav_data_size_too_long", "wav", Outcome::Either,
     [](const Material &m) {
         const std::string w = m.wav();
         return Put(w, Chunk(w, "data") - 4, kHuge);
     }, 0},
    {"wav_data_size_zero", "wav", Outcome::Either,
     [](const Material &m) {
         const std::string w = m.wav();
         return Put(w, Chunk(w, "data") - 4, 0u);
     }, 0},
    {"wav_no_channels", "wav", Outcome::Error, [](const Material &m) { return WavField<uint16_t>(m.wav(), 2, 0); }, 0},
    {"wav_65535_channels", "wav", Outcome::Error,
     [](const Material &m) { return WavField<uint16_t>(m.wav(), 2, 0xFFFF); }, 0},
    {"wav_rate_zero", "wav", Outcome::Error, [](const Material &m) { return WavField<uint32_t>(m.wav(), 4, 0); }, 0},
    {"wav_rate_huge", "wav", Outcome::Error,
     [](const Material &m) { return WavField<uint32_t>(m.wav(), 4, 0xFFFFFFFFu); }, 0},
    {"wav_block_align_zero", "wav", Outcome::Either,
     [](const Material &m) { return WavField<uint16_t>(m.wav(), 12, 0); }, 0},
    {"wav_seven_bit_samples", "wav", Outcome::Either,
     [](const Material &m) { return WavField<uint16_t>(m.wav(), 14, 7); }, 0},
    {"wav_unknown_format_tag", "wav", Outcome::Error,
     [](const Material &m) { return WavField<uint16_t>(m.wav(), 0, 0x7777); }, 0},
    {"wav_riff_then_random", "wav", Outcome::Error,
     [](const Material &) { return "RIFF" + std::string("\x00\x10\x00\x00", 4) + "WAVE" + Random(4096, 1); }, 0},
    {"wav_zeros", "wav", Outcome::Error, [](const Material &) { return std::string(4096, '\0'); }, 0},
    {"wav_random", "wav", Outcome::Error, [](const Material &) { return Random(4096, 2); }, 0},
    // WAV: valid containers of hostile sound.
    {"wav_nan_inf_denormal_huge", "wav", Outcome::Video, [](const Material &m) { return HostileFloats(m.dir); }, 6},
    {"wav_one_frame", "wav", Outcome::Video,
     [](const Material &m) { return m.encode(SF_FORMAT_WAV | SF_FORMAT_PCM_16, kRate, 1.0 / kRate); }, 1},
    {"wav_lowest_rate_mono_odd_length", "wav", Outcome::Video,
     [](const Material &m) { return m.encode(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1001.0 / 8000, 1); }, 2},
    {"wav_highest_rate", "wav", Outcome::Video,
     [](const Material &m) { return m.encode(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 192000, 0.25); }, 3},
    {"wav_rate_below_lowest", "wav", Outcome::Error,
     [](const Material &m) { return m.encode(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 7999, 0.25); }, 0},
    {"wav_rate_above_highest", "wav", Outcome::Error,
     [](const Material &m) { return m.encode(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 192001, 0.25); }, 0},
    {"wav_named_mp3", "mp3", Outcome::Video, [](const Material &m) { return m.wav(); }, 6},
    // FLAC.
    {"flac_cut", "flac", Outcome::Error,
     [](const Material &m) {
         const std::string f = m.encode(SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
         return f.substr(0, f.size() / 2);
     }, 0},
    {"flac_stream_info_only", "flac", Outcome::Error,
     [](const Material &m) { return m.encode(SF_FORMAT_FLAC | SF_FORMAT_PCM_16).substr(0, 42); }, 0},
    {"flac_magic_then_random", "flac", Outcome::Error, [](const Material &) { return "fLaC" + Random(4096, 3); }, 0},
    {"flac_random", "flac", Outcome::Error, [](const Material &) { return Random(4096, 4); }, 0},
    // Ogg Vorbis.
    {"ogg_cut", "ogg", Outcome::Either,
     [](const Material &m) {
         const std::string o = m.encode(SF_FORMAT_OGG | SF_FORMAT_VORBIS);
         return o.substr(0, o.size() / 2);
     }, 0},
    {"ogg_magic_then_random", "ogg", Outcome::Error, [](const Material &) { return "OggS" + Random(4096, 5); }, 0},
    {"ogg_random", "ogg", Outcome::Error, [](const Material &) { return Random(4096, 6); }, 0},
    // MP3 (lengths are estimates there, so a cut file may still play).
    {"mp3_cut", "mp3", Outcome::Either,
     [](const Material &m) {
         const std::string o = m.encode(SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III);
         return o.substr(0, o.size() / 2);
     }, 0},
    {"mp3_id3_tag_only", "mp3", Outcome::Error,
     [](const Material &) { return std::string("ID3\x04\x00\x00\x00\x00\x00\x0A", 10) + std::string(10, '\0'); }, 0},
    {"mp3_random", "mp3", Outcome::Either, [](const Material &) { return Random(4096, 7); }, 0},
    {"mp3_frame_sync_then_random", "mp3", Outcome::Either,
     [](const Material &) {
         std::string s;
         for (unsigned k = 0; k < 16; ++k)
             s += std::string("\xFF\xFB\x90\x64", 4) + Random(413, 8 + k);
         return s;
     }, 0},
};

struct Video {
    bool opened = false;
    int videoStreams = 0, width = 0, height = 0;
    int64_t videoPackets = 0;
    std::string codec;
};

Video ReadVideo(const std::string &path)
{
    Video v;
    AVFormatContext *fmt = nullptr;
    if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0)
        return v;
    v.opened = avformat_find_stream_info(fmt, nullptr) >= 0;
    int video = -1;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVCodecParameters *p = fmt->streams[i]->codecpar;
        if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
            ++v.videoStreams;
            video = static_cast<int>(i);
            v.width = p->width;
            v.height = p->height;
            v.codec = avcodec_get_name(p->codec_id);
        }
    }
    AVPacket *pkt = av_packet_alloc();
    while (av_read_frame(fmt, pkt) >= 0) {
        if (pkt->stream_index == video)
            ++v.videoPackets;
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    avformat_close_input(&fmt);
    return v;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr int kTimeLimitSeconds = 180;
#else
constexpr int kTimeLimitSeconds = 60;
#endif

class BrokenAudio : public ::testing::TestWithParam<Case> {};

TEST_P(BrokenAudio, EndsInOneClearErrorOrAValidVideo)
{
    const Case &c = GetParam();
    TempDir in, out;
    const std::string input = in / (std::string(c.name) + "." + c.extension);
    WriteText(input, c.make(Material{in}));
    const std::string output = out / "video.mp4";

    const RunResult r = RunProgram(ProgramPath(),
                                   {"render", input, "-o", output, "--size", "64x36", "--fps", std::to_string(kFps)},
                                   {}, std::chrono::seconds(kTimeLimitSeconds));
    RecordProperty("exit_status", r.status); // which way each file went, in the XML report
    ASSERT_NE(r.status, -1) << "crashed or still running after " << kTimeLimitSeconds << " s\n" << r.err;
    ASSERT_TRUE(r.status == 0 || r.status == 1) << "exit status " << r.status << "\n" << r.err;
    if (c.outcome != Outcome::Either) {
        EXPECT_EQ(r.status, c.outcome == Outcome::Video ? 0 : 1) << r.err;
    }

    // A sanitizer's report (in the sanitizer build) is never one line.
    if (r.status == 1) {
        const size_t newline = r.err.find('\n');
        EXPECT_TRUE(r.err.rfind("quorvanta: ", 0) == 0 && newline + 1 == r.err.size())
            << "not one line of the program's on standard error:\n" << r.err;
        EXPECT_NE(r.err.find(input), std::string::npos) << "the error does not name the file: " << r.err;
        EXPECT_TRUE(out.entries().empty()) << "output left behind after a failure";
    } else {
        const Video v = ReadVideo(output);
        EXPECT_TRUE(v.opened);
        EXPECT_EQ(v.videoStreams, 1);
        EXPECT_EQ(v.codec, "h264");
        EXPECT_EQ(v.width, 64);
        EXPECT_EQ(v.height, 36);
        EXPECT_GE(v.videoPackets, 1);
        if (c.frames > 0) {
            EXPECT_EQ(v.videoPackets, c.frames);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, BrokenAudio, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

} // namespace
