// The audio of a frame as the visual receives it: spectrum bytes on the
// documented decibel scale, waveform bytes, channel handling, and the FFTW
// path against the direct DFT.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "host/AudioClip.h"
#include "host/SpectrumAnalyzer.h"
#include "host_test_support.h"

using namespace qvhost;
using qvhosttest::BinSine;
using qvhosttest::MakeClip;

namespace {

constexpr int kRate = 44100;

std::vector<float> SineWindow(int bin, float amplitude)
{
    std::vector<float> w(kAnalysisSize);
    for (int n = 0; n < kAnalysisSize; ++n)
        w[n] = BinSine(bin, kRate, static_cast<double>(n) / kRate, amplitude);
    return w;
}

RenderData Fill(const std::vector<float> &left, const std::vector<float> &right, ChannelRequest request = {})
{
    SpectrumAnalyzer analyzer;
    RenderData data;
    analyzer.fill(left.data(), right.data(), request, data);
    return data;
}

TEST(SpectrumScale, FullScaleSineAtItsBinIsTheTopOfTheScale)
{
    for (int bin : {3, 40, 200, 500}) {
        SCOPED_TRACE(bin);
        const std::vector<float> w = SineWindow(bin, 1.0f);
        const RenderData d = Fill(w, w);
        EXPECT_EQ(d.spectrumData[0][bin], 255);
        EXPECT_EQ(d.spectrumData[1][bin], 255);
        // Hann: the next bins hold half the magnitude (-6 dB), the ones
        // beyond almost nothing.
        EXPECT_LT(d.spectrumData[0][bin - 1], 255);
        EXPECT_LT(d.spectrumData[0][bin + 1], 255);
        EXPECT_GT(d.spectrumData[0][bin + 1], 200);
        for (int k = 0; k < kSpectrumBins; ++k) {
            if (std::abs(k - bin) >= 3) {
                ASSERT_EQ(d.spectrumData[0][k], 0) << "bin " << k;
            }
        }
    }
}

TEST(SpectrumScale, LevelsMapOntoTheDecibelScale)
{
    // byte = 255 * (1 + dB / 90): the scale's documented anchor points.
    struct Case {
        double dbfs;
        int byte;
    } cases[] = {{0.0, 255}, {-6.0, 238}, {-30.0, 170}, {-60.0, 85}, {-89.0, 3}, {-100.0, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.dbfs);
        const float amplitude = static_cast<float>(std::pow(10.0, c.dbfs / 20.0));
        const std::vector<float> w = SineWindow(64, amplitude);
        EXPECT_NEAR(Fill(w, w).spectrumData[0][64], c.byte, 1);
        EXPECT_NEAR(SpectrumByte(amplitude), c.byte, 0);
    }
    EXPECT_EQ(SpectrumByte(0.0), 0);
    EXPECT_EQ(SpectrumByte(4.0), 255); // louder than full scale clamps
    EXPECT_EQ(SpectrumByte(std::nan("")), 0);
}

TEST(SpectrumScale, SilenceIsZeroAndItsWaveformIsCentred)
{
    const std::vector<float> silence(kAnalysisSize, 0.0f);
    const RenderData d = Fill(silence, silence);
    EXPECT_EQ(d.numSpectrumChannels, 2);
    EXPECT_EQ(d.numWaveformChannels, 2);
    for (int c = 0; c < 2; ++c)
        for (int k = 0; k < kSpectrumBins; ++k) {
            ASSERT_EQ(d.spectrumData[c][k], 0);
            ASSERT_EQ(d.waveformData[c][k], 128);
        }
}

TEST(SpectrumScale, LeftOnlySignalLeavesTheRightChannelSilent)
{
    const std::vector<float> left = SineWindow(100, 0.5f);
    const std::vector<float> right(kAnalysisSize, 0.0f);
    const RenderData d = Fill(left, right);
    EXPECT_GT(d.spectrumData[0][100], 200);
    for (int k = 0; k < kSpectrumBins; ++k) {
        ASSERT_EQ(d.spectrumData[1][k], 0);
        ASSERT_EQ(d.waveformData[1][k], 128);
    }
}

TEST(SpectrumScale, WaveformIsTheLastSamplesCentredOn128)
{
    std::vector<float> left(kAnalysisSize, 0.0f), right(kAnalysisSize, 0.0f);
    // The waveform shows the newest kWaveformSamples: older samples are not in it.
    left[0] = 1.0f;
    const int tail = kAnalysisSize - kWaveformSamples;
    const float values[] = {1.0f, -1.0f, 0.5f, -0.5f, 2.0f, -2.0f};
    const int bytes[] = {255, 1, 192, 64, 255, 1}; // 128 + round(127 x), clamped
    for (int i = 0; i < 6; ++i)
        left[tail + i] = values[i];
    const RenderData d = Fill(left, right);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(d.waveformData[0][i], bytes[i]) << values[i];
    for (int i = 6; i < kWaveformSamples; ++i)
        ASSERT_EQ(d.waveformData[0][i], 128);
}

TEST(SpectrumScale, ChannelCountsFollowTheRequest)
{
    const std::vector<float> w = SineWindow(10, 1.0f);
    struct Case {
        int spectrum, waveform;
    } cases[] = {{0, 0}, {1, 2}, {2, 1}, {5, -1}};
    for (const Case &c : cases) {
        const RenderData d = Fill(w, w, ChannelRequest{c.spectrum, c.waveform});
        const int sc = std::clamp(c.spectrum, 0, 2), wc = std::clamp(c.waveform, 0, 2);
        EXPECT_EQ(d.numSpectrumChannels, sc);
        EXPECT_EQ(d.numWaveformChannels, wc);
        for (int ch = 0; ch < 2; ++ch) {
            EXPECT_EQ(d.spectrumData[ch][10], ch < sc ? 255 : 0);
            EXPECT_EQ(d.waveformData[ch][kWaveformSamples - 1] != 0, ch < wc);
        }
    }
}

TEST(SpectrumFastPath, MatchesTheDirectTransform)
{
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 0.2f);
    SpectrumAnalyzer analyzer;
    for (int trial = 0; trial < 6; ++trial) {
        std::vector<float> w(kAnalysisSize);
        for (int n = 0; n < kAnalysisSize; ++n) {
            // Noise with a few tones between bins and a DC offset: every part
            // of the scale gets used.
            const double t = static_cast<double>(n) / kRate;
            w[n] = noise(rng) * (trial % 3) * 0.3f + 0.3f * std::sin(2 * M_PI * (440.5 + 97 * trial) * t) +
                   0.05f * std::sin(2 * M_PI * 7000.25 * t) + 0.01f * trial;
        }
        UInt8 fast[kSpectrumBins], slow[kSpectrumBins];
        analyzer.spectrum(w.data(), fast);
        ReferenceSpectrum(w.data(), slow);
        for (int k = 0; k < kSpectrumBins; ++k)
            ASSERT_NEAR(fast[k], slow[k], 1) << "trial " << trial << " bin " << k;
    }
}

TEST(SpectrumWindow, TheWindowEndsAtTheFrameTimeAndIsSilentOutsideTheClip)
{
    std::vector<float> channel(3000);
    for (size_t i = 0; i < channel.size(); ++i)
        channel[i] = static_cast<float>(i + 1);
    struct Case {
        int64_t end;
        float first, last; // expected window[0] and window[count - 1]
    } cases[] = {{1024, 1.0f, 1024.0f}, {3000, 1977.0f, 3000.0f}, {0, 0.0f, 0.0f},
                 {10, 0.0f, 10.0f},     {3500, 2477.0f, 0.0f},    {9000, 0.0f, 0.0f}};
    std::vector<float> window(1024);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.end);
        CopyWindow(channel, c.end, 1024, window.data());
        EXPECT_EQ(window.front(), c.first);
        EXPECT_EQ(window.back(), c.last);
        for (int i = 0; i < 1024; ++i) {
            const int64_t at = c.end - 1024 + i;
            ASSERT_EQ(window[i], at >= 0 && at < 3000 ? static_cast<float>(at + 1) : 0.0f);
        }
    }
}

TEST(SpectrumWindow, ClipAnalysisUsesTheSamplesBeforeTheMoment)
{
    // Bin 20 before 0.5 s, bin 60 after: a window ending at 0.5 s sees only
    // the first tone, one ending 1024 samples later only the second.
    const AudioClip clip = MakeClip(kRate, 1.0, [](int, double t) {
        return t < 0.5 ? BinSine(20, kRate, t) : BinSine(60, kRate, t);
    });
    SpectrumAnalyzer analyzer;
    RenderData d;
    const int64_t switchAt = kRate / 2;
    analyzer.fill(clip, switchAt, ChannelRequest{}, d);
    EXPECT_EQ(d.spectrumData[0][20], 255);
    EXPECT_LT(d.spectrumData[0][60], 100);
    analyzer.fill(clip, switchAt + kAnalysisSize, ChannelRequest{}, d);
    EXPECT_EQ(d.spectrumData[0][60], 255);
    EXPECT_LT(d.spectrumData[0][20], 100);
}

} // namespace
