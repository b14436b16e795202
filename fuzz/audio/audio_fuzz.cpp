// The host's road from decoded samples to the visual's RenderData under
// hostile audio: any length and rate (0, negative, beyond what a file may
// say), samples that are NaN, infinite, denormal or enormous, mono or stereo,
// any channel request. At the frames of a render (FrameCount, FrameSample)
// and at and beyond the clip's edges, SpectrumAnalyzer::fill gives the
// channel counts asked for (clamped to 0..2) and zeros beyond them, waveform
// bytes with the sample's sign, silence for a window without sound, bytes
// within one step of the direct DFT for a window no louder than full scale,
// and the same bytes for the same moment whatever came between. The last
// frame lies inside the clip and the next one past it.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "host/audio_source.h"
#include "host/offline_renderer.h"
#include "host/sample_history.h"
#include "host/spectrum_analyzer.h"
#include "tests/host/reference.h"

using namespace qvhost;

namespace {

void Check(bool ok, const char *what, long long a, long long b)
{
    if (!ok) {
        std::fprintf(stderr, "audio_fuzz: wrong %s (%lld, %lld)\n", what, a, b);
        std::abort();
    }
}

// Whether `b` is a waveform byte `x` may give: its sign, 255 and 1 from full scale on, 128 for 0 and NaN.
bool WaveformByteFits(float x, int b)
{
    if (x >= 1.0f || x <= -1.0f)
        return b == (x > 0 ? 255 : 1);
    if (x > 0.0f || x < 0.0f)
        return x > 0 ? b >= 128 : b >= 1 && b <= 128;
    return b == 128;
}

float Sample(FuzzedDataProvider &in, int mode)
{
    using L = std::numeric_limits<float>;
    const float special[] = {L::quiet_NaN(), L::infinity(), -L::infinity(), L::denorm_min(), L::max(),
                             -0.0f,          1.0f,          -1.0f,          1.0000001f,      -1e-30f};
    if (mode == 1) // 16-bit PCM as a decoder gives it
        return in.ConsumeIntegral<int16_t>() / 32768.0f;
    if (mode == 2)
        return special[in.ConsumeIntegralInRange(0, 9)];
    const uint32_t bits = in.ConsumeIntegral<uint32_t>(); // any bit pattern
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// The RenderData of the moment `end`; its spectra against the direct DFT if `compare`.
void CheckMoment(SpectrumAnalyzer &analyzer, const AudioClip &clip, const SampleHistory &history, int64_t end,
                 ChannelRequest request, bool compare, RenderData &data)
{
    analyzer.fill(history, end, request, data);
    const int waves = std::clamp(request.waveformChannels, 0, 2), spectra = std::clamp(request.spectrumChannels, 0, 2);
    Check(data.numWaveformChannels == waves && data.numSpectrumChannels == spectra, "channel counts", waves, spectra);
    for (int c = 0; c < 2; ++c) {
        float window[kAnalysisSize];
        bool silent = true, usable = true; // usable: finite and no louder than full scale
        for (int i = 0; i < kAnalysisSize; ++i) {
            const int64_t at = end - kAnalysisSize + i, w = i - (kAnalysisSize - kWaveformSamples);
            const float x = window[i] = at >= 0 && at < clip.frames() ? clip.channels[c][at] : 0.0f;
            silent = silent && x == 0.0f;
            usable = usable && std::fabs(x) <= 1.0f;
            const int b = w >= 0 ? data.waveformData[c][w] : 128;
            Check(w < 0 || (c >= waves ? b == 0 : WaveformByteFits(x, b)), "waveform byte", at, b);
        }
        const bool zero = c >= spectra || silent;
        UInt8 expected[kSpectrumBins] = {0};
        if (!zero && compare && usable)
            qvreference::Spectrum(window, expected);
        for (int k = 0; k < kSpectrumBins && (zero || (compare && usable)); ++k)
            Check(std::abs(data.spectrumData[c][k] - expected[k]) <= (zero ? 0 : 1), "spectrum byte", k,
                  data.spectrumData[c][k]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    static SpectrumAnalyzer analyzer; // planned once, as a render does
    FuzzedDataProvider in(bytes, size);
    AudioClip clip;
    clip.sampleRate = in.ConsumeBool() ? in.ConsumeIntegral<int>() // anything a header could claim
                                       : in.ConsumeIntegralInRange(kMinSampleRate, kMaxSampleRate);
    const int fps = in.ConsumeIntegralInRange(1, 1000), mode = in.ConsumeIntegralInRange(0, 2);
    const ChannelRequest request{in.ConsumeIntegralInRange(-2, 4), in.ConsumeIntegralInRange(-2, 4)};
    const bool compare = in.ConsumeIntegralInRange(0, 7) == 0, mono = in.ConsumeBool();
    const size_t repeat = in.ConsumeIntegralInRange<size_t>(1, 4096); // long runs stand for long files
    while (in.remaining_bytes() > 0 && clip.channels[0].size() < 65536) {
        const float left = Sample(in, mode), right = mono ? left : Sample(in, mode);
        clip.channels[0].insert(clip.channels[0].end(), repeat, left);
        clip.channels[1].insert(clip.channels[1].end(), repeat, right);
    }
    const int64_t frames = clip.frames(), count = FrameCount(frames, clip.sampleRate, fps);
    const bool sound = frames > 0 && clip.sampleRate > 0;
    Check(sound ? count >= 1 && FrameSample(count - 1, clip.sampleRate, fps) < frames &&
                      FrameSample(count, clip.sampleRate, fps) >= frames
                : count == 0,
          "frame count", count, frames);

    // The render's first and last frames, the one past its end, the clip's edges and beyond.
    const int64_t moments[] = {FrameSample(0, clip.sampleRate, fps),
                               FrameSample(count - 1, clip.sampleRate, fps),
                               FrameSample(count, clip.sampleRate, fps),
                               1,
                               frames,
                               frames + kAnalysisSize,
                               -kAnalysisSize};
    SampleHistory history(static_cast<int>(std::max<int64_t>(frames, 1))); // the whole clip
    history.append(clip.channels[0].data(), clip.channels[1].data(), static_cast<int>(frames));
    RenderData first, other;
    for (size_t i = 0; i < sizeof moments / sizeof moments[0]; ++i)
        CheckMoment(analyzer, clip, history, moments[i], request, compare && i == 0, i == 0 ? first : other);
    analyzer.fill(history, moments[0], request, other); // what came between leaves no trace
    Check(std::memcmp(&first, &other, sizeof first) == 0, "bytes the second time", moments[0], 0);
    return 0;
}
