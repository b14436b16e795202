// The host's road from decoded samples to RenderData under hostile audio: any
// length, rate, frame rate and sample bits, any channel request. The frame grid
// (FramesBefore, FrameSample) ends inside the clip. At its first and last frames, the one past
// its end and beyond the clip, SpectrumAnalyzer::fill gives channel counts
// clamped to 0..2, zeros beyond them, each waveform byte from its sample, zero
// spectra for silence, spectra within one step of the direct DFT for a window no
// louder than full scale, and the same bytes for the same moment whatever came between.
// The same bytes are also a file for AudioDecoder, whose headers (rates, sizes, lengths) claim
// anything: it decodes at a rate the program works at, and fuzz/audio.cmake bounds what one input
// may allocate, so that no header's claim costs gigabytes.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/audio/audio_decoder.h"
#include "host/audio/audio_source.h"
#include "host/common/host_error.h"
#include "host/common/sample_history.h"
#include "host/visual/frame_grid.h"
#include "host/visual/spectrum_analyzer.h"
#include "tests/host/reference.h"

using namespace qvhost;

#define CHECK(ok) ((ok) ? void() : (std::fprintf(stderr, "audio_fuzz: %s fails\n", #ok), std::abort()))

// 16-bit PCM as a decoder gives it, a float at an edge (NaN, infinities, the smallest denormal, the
// largest float, -0, full scale and just beyond, -1e-30) or any bits.
static float Sample(FuzzedDataProvider &in, int mode)
{
    static const uint32_t kEdges[] = {0x7fc00000, 0x7f800000, 0xff800000, 1,          0x7f7fffff,
                                      0x80000000, 0x3f800000, 0xbf800000, 0x3f800001, 0x8da24260};
    const uint32_t bits = mode == 2 ? kEdges[in.ConsumeIntegralInRange(0, 9)] : in.ConsumeIntegral<uint32_t>();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return mode == 1 ? static_cast<int16_t>(bits) / 32768.0f : f;
}

// The RenderData of the window ending at `end`; its spectra against the direct DFT if `compare`.
static void CheckMoment(const std::vector<float> *clip, const SampleHistory &history, int64_t end,
                        ChannelRequest request, bool compare, RenderData &data)
{
    static SpectrumAnalyzer analyzer; // planned once, as a render does
    analyzer.fill(history, end, request, data);
    const int waves = std::clamp(request.waveformChannels, 0, 2), spectra = std::clamp(request.spectrumChannels, 0, 2);
    CHECK(data.numWaveformChannels == waves && data.numSpectrumChannels == spectra);
    for (int c = 0; c < 2; ++c) {
        float window[kAnalysisSize];
        bool silent = true, usable = true; // usable: no NaN, no louder than full scale
        for (int i = 0, w = -(kAnalysisSize - kWaveformSamples); i < kAnalysisSize; ++i, ++w) {
            const int64_t at = end - kAnalysisSize + i;
            const float x = window[i] = at >= 0 && at < int64_t(clip[c].size()) ? clip[c][at] : 0.0f;
            silent = silent && x == 0.0f;
            usable = usable && std::fabs(x) <= 1.0f;
            CHECK(w < 0 || data.waveformData[c][w] == (c < waves ? WaveformByte(x) : 0));
        }
        UInt8 expected[kSpectrumBins] = {0};
        const bool zero = c >= spectra || silent, known = zero || (compare && usable);
        if (!zero && known)
            qvtest::Spectrum(window, expected);
        for (int k = 0; k < kSpectrumBins && known; ++k)
            CHECK(std::abs(data.spectrumData[c][k] - expected[k]) <= !zero); // exact when zero
    }
}

// Decodes `bytes` as an audio file, up to a second or so of its samples.
static void DecodeAsFile(const uint8_t *bytes, size_t size)
{
    static const int fd = memfd_create("audio_fuzz", MFD_CLOEXEC);
    CHECK(fd >= 0 && ftruncate(fd, 0) == 0 && pwrite(fd, bytes, size, 0) == static_cast<ssize_t>(size));
    try {
        AudioDecoder decoder("/proc/self/fd/" + std::to_string(fd));
        CHECK(decoder.sampleRate() >= kMinSampleRate && decoder.sampleRate() <= kMaxSampleRate);
        std::vector<float> left(4096), right(4096);
        for (int read = 0, total = 0; (read = decoder.read(left.data(), right.data(), 4096)) > 0 && total < (1 << 20);)
            total += read;
    } catch (const HostError &) { // not audio, or a rate no audio has: said in one line
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    DecodeAsFile(bytes, size);
    FuzzedDataProvider in(bytes, size);
    const int rate = in.ConsumeBool() ? in.ConsumeIntegral<int>() // anything a header could claim
                                      : in.ConsumeIntegralInRange(kMinSampleRate, kMaxSampleRate);
    const FrameRate fps{in.ConsumeIntegralInRange(1, 1000), in.ConsumeIntegralInRange(1, 1001)};
    const int mode = in.ConsumeIntegralInRange(0, 2);
    const ChannelRequest request{in.ConsumeIntegralInRange(-2, 4), in.ConsumeIntegralInRange(-2, 4)};
    const bool compare = in.ConsumeIntegralInRange(0, 7) == 0, mono = in.ConsumeBool();
    const size_t repeat = in.ConsumeIntegralInRange<size_t>(1, 4096); // long runs stand for long files
    std::vector<float> clip[2];
    while (in.remaining_bytes() > 0 && clip[0].size() < 65536) {
        const float left = Sample(in, mode), right = mono ? left : Sample(in, mode);
        clip[0].insert(clip[0].end(), repeat, left);
        clip[1].insert(clip[1].end(), repeat, right);
    }
    const int64_t frames = clip[0].size(), count = rate > 0 ? FramesBefore(frames, rate, fps) : 0;
    const auto at = [&](int64_t n) { return FrameSample(n, rate, fps); };
    CHECK(frames > 0 && rate > 0 ? count >= 1 && at(count - 1) < frames && at(count) >= frames : count == 0);
    SampleHistory history(static_cast<int>(std::max<int64_t>(frames, 1))); // the whole clip
    history.append(clip[0].data(), clip[1].data(), static_cast<int>(frames));
    const int64_t moments[] = {at(0), at(count - 1), at(count), 1, frames, frames + kAnalysisSize, -kAnalysisSize};
    RenderData first, other;
    for (size_t i = 0; i < std::size(moments); ++i)
        CheckMoment(clip, history, moments[i], request, compare && i == 0, i == 0 ? first : other);
    CheckMoment(clip, history, moments[0], request, false, other); // what came between leaves no trace
    CHECK(std::memcmp(&first, &other, sizeof first) == 0);
    return 0;
}
