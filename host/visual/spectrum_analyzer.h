// The audio of one frame as the visual receives it (RenderData): a magnitude
// spectrum and a waveform per channel.
//
// Spectrum: per channel the kAnalysisSize samples ending at the frame's time,
// weighted by a periodic Hann window, transformed with FFTW; bins 0..511
// (bin k is k * rate / 1024 Hz) are kept. A bin's magnitude is normalised so
// that a full-scale sine centred on the bin gives 1.0 (|X_k| / (N / 4), the
// Hann window's coherent gain being 1/2), and mapped to a byte on a decibel
// scale spanning kSpectrumRangeDb:
//
//     byte = round(255 * (1 + 20 * log10(m) / kSpectrumRangeDb)), clamped to 0..255
//
// so a full-scale sine reads 255 at its bin, -30 dB reads 170, anything at or
// below -90 dB (and silence) reads 0. Music mastered around -20 dBFS puts its
// bass bins near 170-200 and its treble near 40-100.
//
// Waveform: the last 512 samples of the window, x clamped to -1..1 and
// byte = 128 + round(127 * x), so silence is 128 and full scale spans 1..255.
#pragma once

#include <cstdint>
#include <vector>

#include "plugin/host_records.h"

namespace qvhost {

class SampleHistory;

constexpr int kAnalysisSize = 1024;
constexpr int kSpectrumBins = kVisualNumSpectrumEntries;    // 512
constexpr int kWaveformSamples = kVisualNumWaveformEntries; // 512
constexpr double kSpectrumRangeDb = 90.0;

// Byte for one waveform sample.
UInt8 WaveformByte(float sample);

// How many channels of each kind the visual asked for (0..2 each).
struct ChannelRequest {
    int spectrumChannels = 2;
    int waveformChannels = 2;
};

// The fast path: FFTW in single precision, bytes found from each bin's power
// by binary search over the scale's steps. One analyzer per thread; construction (planning)
// is serialised internally, analysis allocates nothing.
class SpectrumAnalyzer {
public:
    SpectrumAnalyzer();
    ~SpectrumAnalyzer();
    SpectrumAnalyzer(const SpectrumAnalyzer &) = delete;
    SpectrumAnalyzer &operator=(const SpectrumAnalyzer &) = delete;

    // `window`: kAnalysisSize samples, oldest first. `out`: kSpectrumBins bytes.
    void spectrum(const float *window, UInt8 *out);

    // Fills `data` from one analysis window per channel (left, right; each
    // kAnalysisSize samples ending at the frame's time). Channels beyond the
    // request are left zero and the counts say how many are filled.
    void fill(const float *left, const float *right, const ChannelRequest &request, RenderData &data);

    // Fills `data` for the moment `endSample` of a stream (the window is
    // [endSample - kAnalysisSize, endSample); samples the history does not
    // hold are silence).
    void fill(const SampleHistory &history, int64_t endSample, const ChannelRequest &request, RenderData &data);

private:
    struct Plan;
    Plan *plan_;
    std::vector<float> windows_[2];
};

} // namespace qvhost
