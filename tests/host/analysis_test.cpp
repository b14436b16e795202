// What the host makes of audio and frames before the plug-in and the encoder
// see them: the spectrum and waveform bytes of RenderData and the colour
// conversion of frames, each fast path against its reference.
#include <gtest/gtest.h>

#include <random>

#include "host/YuvConversion.h"
#include "host_test_support.h"
#include "reference.h"

using namespace qvhost;
using namespace qvhosttest;

namespace {

constexpr int kRate = 44100;

RenderData Fill(const std::vector<float> &left, const std::vector<float> &right, ChannelRequest request = {})
{
    SpectrumAnalyzer analyzer;
    RenderData data;
    analyzer.fill(left.data(), right.data(), request, data);
    return data;
}

std::vector<float> SineWindow(int bin, float amplitude)
{
    return Tone(bin, kRate, static_cast<double>(kAnalysisSize) / kRate, amplitude).channels[0];
}

TEST(Spectrum, LevelsMapOntoTheDecibelScale)
{
    // byte = 255 * (1 + dB / 90), clamped; a bin-centred sine reads its level at its bin.
    const struct {
        double dbfs;
        int byte;
    } cases[] = {{0.0, 255}, {-6.0, 238}, {-30.0, 170}, {-60.0, 85}, {-89.0, 3}, {-100.0, 0}, {12.0, 255}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.dbfs);
        const float amplitude = static_cast<float>(std::pow(10.0, c.dbfs / 20.0));
        EXPECT_EQ(SpectrumByte(amplitude), c.byte);
        const std::vector<float> w = SineWindow(64, std::min(amplitude, 1.0f));
        EXPECT_NEAR(Fill(w, w).spectrumData[1][64], std::min(c.byte, 255), 1);
    }
    EXPECT_EQ(SpectrumByte(0.0), 0);
    EXPECT_EQ(SpectrumByte(std::nan("")), 0);
}

TEST(Spectrum, FastPathMatchesTheDirectTransform)
{
    // Noise, tones between bins and a DC offset: every part of the scale is used.
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 0.2f);
    SpectrumAnalyzer analyzer;
    for (int trial = 0; trial < 6; ++trial) {
        std::vector<float> w(kAnalysisSize);
        for (int n = 0; n < kAnalysisSize; ++n) {
            const double t = static_cast<double>(n) / kRate;
            w[n] = noise(rng) * (trial % 3) * 0.3f + 0.3f * std::sin(2 * M_PI * (440.5 + 97 * trial) * t) +
                   0.05f * std::sin(2 * M_PI * 7000.25 * t) + 0.01f * trial;
        }
        UInt8 fast[kSpectrumBins], slow[kSpectrumBins];
        analyzer.spectrum(w.data(), fast);
        qvreference::Spectrum(w.data(), slow);
        for (int k = 0; k < kSpectrumBins; ++k)
            ASSERT_NEAR(fast[k], slow[k], 1) << "trial " << trial << " bin " << k;
    }
}

TEST(Spectrum, WaveformIsTheNewestSamplesCentredOn128)
{
    std::vector<float> left(kAnalysisSize, 0.0f), right(kAnalysisSize, 0.0f);
    left[0] = 1.0f; // older than the waveform's samples
    const float values[] = {1.0f, -1.0f, 0.5f, -0.5f, 2.0f, -2.0f, std::nanf("")};
    const int bytes[] = {255, 1, 192, 64, 255, 1, 128}; // 128 + round(127 x), clamped
    for (int i = 0; i < 7; ++i)
        left[kAnalysisSize - kWaveformSamples + i] = values[i];
    const RenderData d = Fill(left, right);
    for (int i = 0; i < kWaveformSamples; ++i) {
        ASSERT_EQ(d.waveformData[0][i], i < 7 ? bytes[i] : 128) << i;
        ASSERT_EQ(d.waveformData[1][i], 128) << i;
    }
}

TEST(Spectrum, ChannelCountsFollowTheRequestAndTheRestStaysZero)
{
    const std::vector<float> w = SineWindow(10, 1.0f);
    const struct {
        int spectrum, waveform;
    } cases[] = {{0, 0}, {1, 2}, {2, 1}, {5, -1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.spectrum << " " << c.waveform);
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

TEST(YuvConversion, FastPathMatchesTheReferenceAndKnownColours)
{
    const struct {
        uint32_t argb;
        int y, u, v;
    } known[] = {{0xFF000000u, 16, 128, 128}, {0xFFFFFFFFu, 235, 128, 128}, {0xFFFF0000u, 63, 102, 240},
                 {0xFF00FF00u, 173, 42, 26},  {0xFF0000FFu, 32, 240, 118},  {0x00808080u, 126, 128, 128}};
    // Noise, rows wider than the image, the known colours as 2x2 blocks along the top.
    const int w = 38, h = 22, stride = 41;
    std::mt19937 rng(11);
    std::vector<uint32_t> src(static_cast<size_t>(stride) * h);
    for (uint32_t &p : src)
        p = rng();
    for (int k = 0; k < 6; ++k)
        for (int i = 0; i < 4; ++i)
            src[(i / 2) * stride + 2 * k + i % 2] = known[k].argb;
    std::vector<uint8_t> planes[2][3]; // fast, reference: y, u, v
    for (int r = 0; r < 2; ++r) {
        planes[r][0].resize(w * h);
        planes[r][1].resize(w * h / 4);
        planes[r][2].resize(w * h / 4);
        const YuvPlanes out{planes[r][0].data(), w, planes[r][1].data(), w / 2, planes[r][2].data(), w / 2};
        (r ? qvreference::ArgbToYuv420 : ArgbToYuv420)(src.data(), w, h, stride, out);
        for (int k = 0; k < 6; ++k) {
            SCOPED_TRACE(::testing::Message() << (r ? "reference " : "fast ") << std::hex << known[k].argb);
            EXPECT_EQ(planes[r][0][2 * k], known[k].y);
            EXPECT_EQ(planes[r][0][w + 2 * k + 1], known[k].y);
            EXPECT_EQ(planes[r][1][k], known[k].u);
            EXPECT_EQ(planes[r][2][k], known[k].v);
        }
    }
    for (int p = 0; p < 3; ++p)
        for (size_t i = 0; i < planes[0][p].size(); ++i)
            ASSERT_NEAR(planes[0][p][i], planes[1][p][i], 1) << "plane " << p << " sample " << i;
}

} // namespace
