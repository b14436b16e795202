// The host's road from decoded samples to the visual's RenderData, under
// hostile audio: any length (0 and 1 sample included), any rate (0, negative,
// far beyond what a file may say), samples that are NaN, infinite, denormal,
// enormous or negative zero, mono or stereo, any channel request.
//
// For the frames of a render (FrameCount, FrameSample) and moments around
// and outside the clip, SpectrumAnalyzer::fill must give the channel counts
// asked for (clamped to 0..2) and zeros beyond them; waveform bytes with the
// sample's sign (128 for 0 and NaN, 255 from full scale up, 1 from full scale
// down); silence (all 0) for a window without sound; bytes within one step of
// the direct DFT for a finite window no louder than full scale; and the same
// bytes for the same moment whatever was analysed in between. The frame
// count puts the last frame inside the clip and the next one past it.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "host/AudioClip.h"
#include "host/OfflineRenderer.h"
#include "tests/host/reference.h"

namespace {

using namespace qvhost;

#define CHECK(cond, ...)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "audio_fuzz: check failed: %s\n  ", #cond);                                           \
            std::fprintf(stderr, __VA_ARGS__);                                                                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

float Sample(FuzzedDataProvider &in, int mode)
{
    using L = std::numeric_limits<float>;
    static const float kSpecial[] = {L::quiet_NaN(), L::infinity(), -L::infinity(), L::denorm_min(), -L::denorm_min(),
                                     L::min() / 2, L::max(), -L::max(), -0.0f, 0.0f, 1.0f, -1.0f, 1e30f, -1e-30f, 0.5f,
                                     1.0000001f};
    if (mode == 0) { // any bit pattern
        const uint32_t bits = in.ConsumeIntegral<uint32_t>();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    if (mode == 1) // 16-bit PCM as a decoder gives it
        return in.ConsumeIntegral<int16_t>() / 32768.0f;
    return kSpecial[in.ConsumeIntegralInRange<size_t>(0, sizeof kSpecial / sizeof kSpecial[0] - 1)];
}

void CheckMoment(SpectrumAnalyzer &analyzer, const AudioClip &clip, int64_t end, const ChannelRequest &request,
                 bool compareReference, RenderData &data)
{
    analyzer.fill(clip, end, request, data);
    const int waves = std::clamp(request.waveformChannels, 0, 2), spectra = std::clamp(request.spectrumChannels, 0, 2);
    CHECK(data.numWaveformChannels == waves && data.numSpectrumChannels == spectra, "channels for a request of %d, %d\n",
          request.spectrumChannels, request.waveformChannels);
    for (int c = 0; c < 2; ++c) {
        float window[kAnalysisSize];
        bool silent = true, usable = true; // usable: finite and no louder than full scale
        for (int i = 0; i < kAnalysisSize; ++i) {
            const int64_t at = end - kAnalysisSize + i;
            const float x = window[i] = at >= 0 && at < clip.frames() ? clip.channels[c][static_cast<size_t>(at)] : 0.0f;
            silent = silent && x == 0.0f;
            usable = usable && std::fabs(x) <= 1.0f;
            if (i < kAnalysisSize - kWaveformSamples)
                continue;
            const int b = data.waveformData[c][i - (kAnalysisSize - kWaveformSamples)];
            const bool right = c >= waves      ? b == 0
                               : x >= 1.0f     ? b == 255
                               : x <= -1.0f    ? b == 1
                               : x > 0.0f      ? b >= 128
                               : x < 0.0f      ? b >= 1 && b <= 128
                                               : b == 128; // 0 and NaN
            CHECK(right, "channel %d sample %g at %lld gave waveform byte %d\n", c, x, static_cast<long long>(at), b);
        }
        const bool zero = c >= spectra || silent;
        if (!zero && !(compareReference && usable))
            continue;
        UInt8 expected[kSpectrumBins] = {0};
        if (!zero)
            qvreference::Spectrum(window, expected);
        for (int k = 0; k < kSpectrumBins; ++k)
            CHECK(std::abs(data.spectrumData[c][k] - expected[k]) <= (zero ? 0 : 1), "channel %d bin %d is %d, not %d\n",
                  c, k, data.spectrumData[c][k], expected[k]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    static SpectrumAnalyzer analyzer; // planned once, as a render does
    FuzzedDataProvider in(bytes, size);
    AudioClip clip;
    const int rateKind = in.ConsumeIntegralInRange(0, 3);
    clip.sampleRate = rateKind == 0   ? in.ConsumeIntegral<int>() // anything a header could claim
                      : rateKind == 1 ? in.ConsumeIntegralInRange(1, 1000)
                                      : in.ConsumeIntegralInRange(kMinSampleRate, kMaxSampleRate);
    const int fps = in.ConsumeIntegralInRange(1, 1000);
    const ChannelRequest request{in.ConsumeIntegralInRange(-2, 4), in.ConsumeIntegralInRange(-2, 4)};
    const bool compareReference = in.ConsumeIntegralInRange(0, 7) == 0, mono = in.ConsumeBool();
    const int mode = in.ConsumeIntegralInRange(0, 2);
    // Long runs of one value stand for long files without long inputs.
    const size_t repeat = in.ConsumeIntegralInRange<size_t>(1, 4096), maxFrames = 1 << 16;
    while (in.remaining_bytes() > 0 && clip.channels[0].size() < maxFrames) {
        const float left = Sample(in, mode), right = mono ? left : Sample(in, mode);
        const size_t n = std::min(repeat, maxFrames - clip.channels[0].size());
        clip.channels[0].insert(clip.channels[0].end(), n, left);
        clip.channels[1].insert(clip.channels[1].end(), n, right);
    }
    const int64_t frames = clip.frames(), count = FrameCount(frames, clip.sampleRate, fps);
    if (frames <= 0 || clip.sampleRate <= 0) {
        CHECK(count == 0, "%lld video frames for %lld samples at %d Hz\n", static_cast<long long>(count),
              static_cast<long long>(frames), clip.sampleRate);
    } else {
        CHECK(count >= 1 && FrameSample(count - 1, clip.sampleRate, fps) < frames &&
                  FrameSample(count, clip.sampleRate, fps) >= frames,
              "%lld video frames for %lld samples at %d Hz, %d fps\n", static_cast<long long>(count),
              static_cast<long long>(frames), clip.sampleRate, fps);
    }

    // The render's first and last frames, the one past the end, and the
    // edges of the clip, before its start and after its end.
    std::vector<int64_t> moments;
    if (count > 0)
        for (int64_t n : {int64_t{0}, count - 1, count})
            moments.push_back(FrameSample(n, clip.sampleRate, fps));
    for (int64_t m : {int64_t{0}, int64_t{1}, frames, frames + kAnalysisSize, int64_t{-kAnalysisSize}})
        moments.push_back(m);
    moments.resize(std::min<size_t>(moments.size(), 8));
    RenderData first, other;
    for (size_t i = 0; i < moments.size(); ++i)
        CheckMoment(analyzer, clip, moments[i], request, compareReference && i == 0, i == 0 ? first : other);
    analyzer.fill(clip, moments[0], request, other); // what was analysed in between leaves no trace
    CHECK(std::memcmp(&first, &other, sizeof first) == 0, "the same moment gave other bytes the second time\n");
    return 0;
}
