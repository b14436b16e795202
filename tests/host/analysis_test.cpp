// What the host makes of audio and frames before the plug-in and the encoder
// see them: the spectrum and waveform bytes of RenderData and the colour
// conversion of frames, each fast path against its reference.
#include <gtest/gtest.h>

#include <random>

#include "host/common/time_text.h"
#include "host/video/progress.h"
#include "host_test_support.h"
#include "reference.h"

using namespace qvhost;
using namespace qvtest;

namespace {

constexpr int kRate = 44100;

std::vector<float> Window(const std::function<float(int, double)> &f)
{
    std::vector<float> w(kAnalysisSize);
    for (int n = 0; n < kAnalysisSize; ++n)
        w[n] = f(0, static_cast<double>(n) / kRate);
    return w;
}

TEST(Spectrum, FastPathMatchesTheDirectTransformAndTheDecibelScale)
{
    // Noise, tones between bins and a DC offset: every part of the scale is used.
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 0.2f);
    SpectrumAnalyzer analyzer;
    UInt8 fast[kSpectrumBins], slow[kSpectrumBins];
    for (int trial = 0; trial < 6; ++trial) {
        const std::vector<float> w = Window([&](int, double t) {
            return noise(rng) * (trial % 3) * 0.3f + 0.3f * std::sin(2 * M_PI * (440.5 + 97 * trial) * t) +
                   0.05f * std::sin(2 * M_PI * 7000.25 * t) + 0.01f * trial;
        });
        analyzer.spectrum(w.data(), fast);
        qvtest::Spectrum(w.data(), slow);
        for (int k = 0; k < kSpectrumBins; ++k)
            ASSERT_NEAR(fast[k], slow[k], 1) << "trial " << trial << " bin " << k;
    }
    // A bin-centred sine reads its level at its bin: byte = 255 * (1 + dB / 90), clamped.
    const double levels[][2] = {{0, 255}, {-6, 238}, {-30, 170}, {-60, 85}, {-89, 3}, {-100, 0}}; // dBFS, byte
    for (const auto &level : levels) {
        analyzer.spectrum(Window(Tone(64, kRate, std::pow(10.0, level[0] / 20))).data(), fast);
        EXPECT_NEAR(fast[64], level[1], 1) << level[0] << " dB";
    }
}

TEST(Spectrum, ChannelsFollowTheRequestAndTheWaveformIsTheNewestSamples)
{
    // A full-scale sine at bin 10 whose last samples test the waveform's
    // bytes, 128 + round(127 x) clamped (NaN reads 128).
    std::vector<float> w = Window(Tone(10, kRate));
    const float tail[] = {1.0f, -1.0f, 0.5f, -0.5f, 2.0f, -2.0f, 0.0f};
    const int tailBytes[] = {255, 1, 192, 64, 255, 1, 128};
    std::copy(tail, tail + 7, w.end() - 7);
    EXPECT_EQ(WaveformByte(std::nanf("")), 128);
    const int requests[][2] = {{2, 2}, {0, 0}, {1, 2}, {2, 1}, {5, -1}}; // spectrum, waveform
    for (const auto &request : requests) {
        SpectrumAnalyzer analyzer;
        RenderData d;
        analyzer.fill(w.data(), w.data(), ChannelRequest{request[0], request[1]}, d);
        const int sc = std::clamp(request[0], 0, 2), wc = std::clamp(request[1], 0, 2);
        EXPECT_EQ(d.numSpectrumChannels, sc);
        EXPECT_EQ(d.numWaveformChannels, wc);
        for (int ch = 0; ch < 2; ++ch) {
            SCOPED_TRACE(::testing::Message() << "request " << request[0] << ", " << request[1] << " channel " << ch);
            EXPECT_EQ(d.spectrumData[ch][10], ch < sc ? 255 : 0);
            for (int i = 0; i < 7; ++i)
                EXPECT_EQ(d.waveformData[ch][kWaveformSamples - 7 + i], ch < wc ? tailBytes[i] : 0) << tail[i];
        }
    }
}

TEST(YuvConversion, FastPathMatchesTheReference)
{
    const int w = 38, h = 22, stride = 41; // rows wider than the image
    std::mt19937 rng(11);
    std::vector<uint32_t> src(static_cast<size_t>(stride) * h);
    for (uint32_t &p : src)
        p = rng();
    std::vector<uint8_t> planes[2][3]; // fast, reference: y, u, v
    for (int r = 0; r < 2; ++r) {
        planes[r][0].resize(w * h);
        planes[r][1].resize(w * h / 4);
        planes[r][2].resize(w * h / 4);
        const YuvPlanes out{planes[r][0].data(), w, planes[r][1].data(), w / 2, planes[r][2].data(), w / 2};
        (r ? qvtest::ArgbToYuv420 : qvhost::ArgbToYuv420)(src.data(), w, h, stride, out);
    }
    for (int p = 0; p < 3; ++p) { // within one step of the reference, and rounding to nearest: no bias
        long bias = 0;
        for (size_t i = 0; i < planes[0][p].size(); ++i) {
            ASSERT_NEAR(planes[0][p][i], planes[1][p][i], 1) << "plane " << p << " sample " << i;
            bias += planes[0][p][i] - planes[1][p][i];
        }
        EXPECT_LT(std::abs(double(bias)) / planes[0][p].size(), 0.1) << "plane " << p;
    }
}

// The progress line's estimate of the time left comes from the pace so far.
TEST(Progress, EstimatesTheTimeLeft)
{
    EXPECT_EQ(Progress::Line("render", 25, 100, 5.0, 10), "render [##........]  25% 25/100  00:05 elapsed  ETA 00:15");
    EXPECT_EQ(Progress::Line("frame", 1, 3, 3725.0, 3), "frame [#..]  33% 1/3  1:02:05 elapsed  ETA 2:04:10");
}

// --start and --duration read seconds, m:ss or h:mm:ss; messages write
// times back the same way, with no trailing zeros in the fraction.
TEST(Times, ReadAndWrittenAsPeopleWriteThem)
{
    const struct {
        const char *text;
        double seconds; // -1: refused
    } read[] = {{"90", 90}, {"1.5", 1.5}, {"1:30", 90}, {"0:00.7", 0.7}, {"1:02:03", 3723}, {"1:75", -1},
                {"1:5", -1}, {"1:60:00", -1}, {"1:5:00", -1}, {"1:", -1}, {"-3", -1}};
    for (const auto &r : read) {
        const std::optional<double> t = ParseTime(r.text);
        EXPECT_EQ(t.value_or(-1), r.seconds) << r.text;
    }
    const struct {
        double seconds;
        const char *text;
    } written[] = {{0.5, "0:00.5"}, {90.25, "1:30.25"}, {3723, "1:02:03"}, {59.9996, "1:00"}};
    for (const auto &w : written)
        EXPECT_EQ(TimeText(w.seconds), w.text) << w.seconds;
}

} // namespace
