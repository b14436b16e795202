// The host's road from decoded samples to the visual's RenderData, under
// hostile audio: any length (0 and 1 frame included), any rate (0, negative,
// far beyond what a file may say), samples that are NaN, infinite, denormal,
// enormous or negative zero, mono or stereo, any channel request.
//
// For the frames of a render (FrameCount, FrameSample) and for moments
// around and outside the clip, SpectrumAnalyzer::fill must give:
// - the channel counts asked for (clamped to 0..2), and zeros beyond them;
// - waveform bytes with the sample's sign (128 for 0 and NaN, 255 from full
//   scale up, 1 from full scale down), read from the right samples;
// - silence (all 0) for a window without sound, and the same bytes for the
//   same moment whatever was analysed in between;
// - within one step of the direct DFT (ReferenceSpectrum) for a finite
//   window no louder than full scale.
// And the frame count must put the last frame inside the clip and the next
// one past it.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "host/AudioClip.h"
#include "host/OfflineRenderer.h"
#include "host/SpectrumAnalyzer.h"

namespace {

using qvhost::kAnalysisSize;
using qvhost::kSpectrumBins;
using qvhost::kWaveformSamples;

constexpr size_t kMaxFrames = 1 << 16;
constexpr int kMaxMoments = 8;

#define CHECK(cond, ...)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "audio_fuzz: check failed: %s\n  ", #cond);                                           \
            std::fprintf(stderr, __VA_ARGS__);                                                                         \
            std::fprintf(stderr, "\n");                                                                                \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

float Sample(FuzzedDataProvider &in, int mode)
{
    static const float kSpecial[] = {
        std::numeric_limits<float>::quiet_NaN(),    std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity(),    std::numeric_limits<float>::denorm_min(),
        -std::numeric_limits<float>::denorm_min(),  std::numeric_limits<float>::min() / 2,
        std::numeric_limits<float>::max(),          -std::numeric_limits<float>::max(),
        -0.0f, 0.0f, 1.0f, -1.0f, 1e30f, -1e-30f, 0.5f, 1.0000001f};
    switch (mode) {
    case 0: { // any bit pattern
        const uint32_t bits = in.ConsumeIntegral<uint32_t>();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    case 1: // 16-bit PCM as a decoder gives it
        return in.ConsumeIntegral<int16_t>() / 32768.0f;
    default:
        return kSpecial[in.ConsumeIntegralInRange<size_t>(0, sizeof kSpecial / sizeof kSpecial[0] - 1)];
    }
}

// The sample of `channel` at `index`, silence outside the clip.
float At(const std::vector<float> &channel, int64_t index)
{
    return index >= 0 && index < static_cast<int64_t>(channel.size()) ? channel[static_cast<size_t>(index)] : 0.0f;
}

void CheckWaveformByte(float x, UInt8 b, int64_t index)
{
    if (std::isnan(x) || x == 0.0f) {
        CHECK(b == 128, "sample %g at %lld gave %d", x, static_cast<long long>(index), b);
    } else if (x >= 1.0f) {
        CHECK(b == 255, "sample %g at %lld gave %d", x, static_cast<long long>(index), b);
    } else if (x <= -1.0f) {
        CHECK(b == 1, "sample %g at %lld gave %d", x, static_cast<long long>(index), b);
    } else {
        CHECK(x > 0 ? b >= 128 : b <= 128, "sample %g at %lld gave %d", x, static_cast<long long>(index), b);
        CHECK(b >= 1, "sample %g at %lld gave %d", x, static_cast<long long>(index), b);
    }
}

void CheckMoment(qvhost::SpectrumAnalyzer &analyzer, const qvhost::AudioClip &clip, int64_t end,
                 const qvhost::ChannelRequest &request, bool compareReference, RenderData &data)
{
    analyzer.fill(clip, end, request, data);
    const int waves = std::clamp(request.waveformChannels, 0, 2);
    const int spectra = std::clamp(request.spectrumChannels, 0, 2);
    CHECK(data.numWaveformChannels == waves, "%d waveform channels for a request of %d", data.numWaveformChannels,
          request.waveformChannels);
    CHECK(data.numSpectrumChannels == spectra, "%d spectrum channels for a request of %d",
          data.numSpectrumChannels, request.spectrumChannels);

    for (int c = 0; c < 2; ++c) {
        const std::vector<float> &channel = clip.channels[c];
        if (c >= waves) {
            for (int i = 0; i < kWaveformSamples; ++i)
                CHECK(data.waveformData[c][i] == 0, "waveform channel %d beyond the request", c);
        } else {
            for (int i = 0; i < kWaveformSamples; ++i) {
                const int64_t index = end - kWaveformSamples + i;
                CheckWaveformByte(At(channel, index), data.waveformData[c][i], index);
            }
        }

        bool silent = true, finite = true, fullScale = true;
        std::vector<float> window(kAnalysisSize);
        for (int i = 0; i < kAnalysisSize; ++i) {
            const float x = At(channel, end - kAnalysisSize + i);
            window[i] = x;
            silent = silent && x == 0.0f;
            finite = finite && std::isfinite(x);
            fullScale = fullScale && std::fabs(x) <= 1.0f;
        }
        if (c >= spectra || silent) {
            for (int k = 0; k < kSpectrumBins; ++k)
                CHECK(data.spectrumData[c][k] == 0, "channel %d bin %d is %d for %s", c, k, data.spectrumData[c][k],
                      c >= spectra ? "a channel beyond the request" : "silence");
        } else if (compareReference && finite && fullScale) {
            UInt8 reference[kSpectrumBins];
            qvhost::ReferenceSpectrum(window.data(), reference);
            for (int k = 0; k < kSpectrumBins; ++k)
                CHECK(std::abs(data.spectrumData[c][k] - reference[k]) <= 1, "channel %d bin %d: %d, reference %d", c,
                      k, data.spectrumData[c][k], reference[k]);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    static qvhost::SpectrumAnalyzer analyzer; // planned once, as a render does
    FuzzedDataProvider in(bytes, size);

    qvhost::AudioClip clip;
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        clip.sampleRate = in.ConsumeIntegral<int>(); // anything a header could claim
        break;
    case 1:
        clip.sampleRate = in.ConsumeIntegralInRange(1, 1000);
        break;
    default:
        clip.sampleRate = in.ConsumeIntegralInRange(qvhost::kMinSampleRate, qvhost::kMaxSampleRate);
    }
    const int fps = in.ConsumeIntegralInRange(1, 1000);
    qvhost::ChannelRequest request;
    request.spectrumChannels = in.ConsumeIntegralInRange(-2, 4);
    request.waveformChannels = in.ConsumeIntegralInRange(-2, 4);
    const bool compareReference = in.ConsumeIntegralInRange(0, 7) == 0;
    const bool mono = in.ConsumeBool();
    const int mode = in.ConsumeIntegralInRange(0, 2);
    // Long runs of one value stand for long files without long inputs.
    const size_t repeat = in.ConsumeIntegralInRange<size_t>(1, 4096);

    while (in.remaining_bytes() > 0 && clip.channels[0].size() < kMaxFrames) {
        const float left = Sample(in, mode);
        const float right = mono ? left : Sample(in, mode);
        const size_t n = std::min(repeat, kMaxFrames - clip.channels[0].size());
        clip.channels[0].insert(clip.channels[0].end(), n, left);
        clip.channels[1].insert(clip.channels[1].end(), n, right);
    }
    const int64_t frames = clip.frames();

    // The render's frames: the last inside the clip, the next one past it.
    const int64_t count = qvhost::FrameCount(frames, clip.sampleRate, fps);
    if (frames <= 0 || clip.sampleRate <= 0) {
        CHECK(count == 0, "%lld video frames for %lld samples at %d Hz", static_cast<long long>(count),
              static_cast<long long>(frames), clip.sampleRate);
    } else {
        CHECK(count >= 1, "no video frame for %lld samples at %d Hz", static_cast<long long>(frames),
              clip.sampleRate);
        CHECK(qvhost::FrameSample(count - 1, clip.sampleRate, fps) < frames, "last frame past the clip");
        CHECK(qvhost::FrameSample(count, clip.sampleRate, fps) >= frames, "a frame short of the clip's end");
    }

    // Moments: the render's first and last frames, the one past the end,
    // and the edges of the clip, before its start and after its end.
    RenderData data, again;
    std::vector<int64_t> moments;
    if (count > 0) {
        moments.push_back(qvhost::FrameSample(0, clip.sampleRate, fps));
        moments.push_back(qvhost::FrameSample(count - 1, clip.sampleRate, fps));
        moments.push_back(qvhost::FrameSample(count, clip.sampleRate, fps));
    }
    for (int64_t m : {int64_t{0}, int64_t{1}, frames, frames + kAnalysisSize, int64_t{-kAnalysisSize}})
        moments.push_back(m);
    moments.resize(std::min<size_t>(moments.size(), kMaxMoments));
    for (size_t i = 0; i < moments.size(); ++i)
        CheckMoment(analyzer, clip, moments[i], request, compareReference && i == 0, i == 0 ? data : again);
    // What was analysed in between leaves no trace.
    if (!moments.empty()) {
        analyzer.fill(clip, moments[0], request, again);
        CHECK(std::memcmp(&data, &again, sizeof data) == 0, "the same moment gave other bytes the second time");
    }
    return 0;
}
