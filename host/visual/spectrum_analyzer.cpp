#include "host/visual/spectrum_analyzer.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "host/common/sample_history.h"

namespace qvhost {
namespace {

constexpr double kPi = 3.14159265358979323846;
// |X_k| of a bin-centred full-scale sine under a periodic Hann window.
constexpr double kFullScaleMagnitude = kAnalysisSize / 4.0;

// FFTW's planner is not thread-safe.
std::mutex &PlannerMutex()
{
    static std::mutex m;
    return m;
}

std::vector<double> HannWindow()
{
    std::vector<double> w(kAnalysisSize);
    for (int n = 0; n < kAnalysisSize; ++n)
        w[n] = 0.5 - 0.5 * std::cos(2.0 * kPi * n / kAnalysisSize);
    return w;
}

// The scale as steps of power: byte b begins where 255 * (1 + dB / range)
// reaches b - 1/2. A bin's byte is the number of steps its power has passed,
// found by a binary search without branches (conditional moves), which
// spares a logarithm per bin.
struct PowerSteps {
    float start[255]; // start[b - 1]: the power (magnitude squared) where byte b begins
    PowerSteps()
    {
        for (int b = 1; b <= 255; ++b)
            start[b - 1] = static_cast<float>(std::pow(10.0, kSpectrumRangeDb * ((b - 0.5) / 255.0 - 1.0) / 10.0));
    }
};

const PowerSteps kPowerSteps;

inline UInt8 ByteOfPower(float power)
{
    if (!(power > 0.0f)) // also NaN
        return 0;
    int b = 0;
    for (int step = 128; step > 0; step >>= 1)
        b += kPowerSteps.start[b + step - 1] <= power ? step : 0;
    return static_cast<UInt8>(b);
}

} // namespace

UInt8 WaveformByte(float sample)
{
    if (!(sample == sample)) // NaN
        return 128;
    const float x = std::clamp(sample, -1.0f, 1.0f);
    return static_cast<UInt8>(128.0f + std::round(127.0f * x));
}

struct SpectrumAnalyzer::Plan {
    float *in = nullptr;
    fftwf_complex *out = nullptr;
    fftwf_plan plan = nullptr;
    float window[kAnalysisSize];
};

SpectrumAnalyzer::SpectrumAnalyzer() : plan_(new Plan)
{
    const std::vector<double> w = HannWindow();
    for (int n = 0; n < kAnalysisSize; ++n)
        plan_->window[n] = static_cast<float>(w[n]);
    plan_->in = fftwf_alloc_real(kAnalysisSize);
    plan_->out = fftwf_alloc_complex(kAnalysisSize / 2 + 1);
    // FFTW_ESTIMATE: the same plan in every run, so the same input gives the
    // same bytes (measured plans may differ in rounding from run to run).
    std::lock_guard<std::mutex> lock(PlannerMutex());
    plan_->plan = fftwf_plan_dft_r2c_1d(kAnalysisSize, plan_->in, plan_->out, FFTW_ESTIMATE);
    for (auto &w2 : windows_)
        w2.assign(kAnalysisSize, 0.0f);
}

SpectrumAnalyzer::~SpectrumAnalyzer()
{
    {
        std::lock_guard<std::mutex> lock(PlannerMutex());
        fftwf_destroy_plan(plan_->plan);
    }
    fftwf_free(plan_->in);
    fftwf_free(plan_->out);
    delete plan_;
}

void SpectrumAnalyzer::spectrum(const float *window, UInt8 *out)
{
    for (int n = 0; n < kAnalysisSize; ++n)
        plan_->in[n] = window[n] * plan_->window[n];
    fftwf_execute(plan_->plan);
    const float scale = static_cast<float>(1.0 / kFullScaleMagnitude);
    for (int k = 0; k < kSpectrumBins; ++k) {
        const float re = plan_->out[k][0] * scale, im = plan_->out[k][1] * scale;
        out[k] = ByteOfPower(re * re + im * im);
    }
}

void SpectrumAnalyzer::fill(const float *left, const float *right, const ChannelRequest &request, RenderData &data)
{
    std::memset(&data, 0, sizeof data);
    const float *channels[2] = {left, right};
    const int waveCount = std::clamp(request.waveformChannels, 0, 2);
    const int specCount = std::clamp(request.spectrumChannels, 0, 2);
    data.numWaveformChannels = static_cast<UInt8>(waveCount);
    data.numSpectrumChannels = static_cast<UInt8>(specCount);
    for (int c = 0; c < waveCount; ++c) {
        const float *tail = channels[c] + (kAnalysisSize - kWaveformSamples);
        for (int i = 0; i < kWaveformSamples; ++i)
            data.waveformData[c][i] = WaveformByte(tail[i]);
    }
    for (int c = 0; c < specCount; ++c)
        spectrum(channels[c], data.spectrumData[c]);
}

void SpectrumAnalyzer::fill(const SampleHistory &history, int64_t endSample, const ChannelRequest &request,
                            RenderData &data)
{
    history.copy(endSample - kAnalysisSize, kAnalysisSize, windows_[0].data(), windows_[1].data());
    fill(windows_[0].data(), windows_[1].data(), request, data);
}

} // namespace qvhost
