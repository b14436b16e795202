// Four voices mixed into a stereo buffer: kick, snare and hats, a filtered
// saw bass following the chord roots in eighths, and a detuned pad playing
// the progression Am - F - C - G once per bar. Noise comes from a fixed-seed
// generator so the result never changes.
#include "host/audio/demo_song.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace qvhost {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Noise {
    uint32_t state = 0x9E3779B9u;
    double next() // -1..1
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }
};

double MidiHz(int note)
{
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

class Mixer {
public:
    explicit Mixer(int64_t frames) : left_(static_cast<size_t>(frames)), right_(static_cast<size_t>(frames)) {}

    int64_t frames() const { return static_cast<int64_t>(left_.size()); }
    // Adds `v` at sample `i` with `pan` from -1 (left) to 1 (right).
    void add(int64_t i, double v, double pan = 0.0)
    {
        if (i < 0 || i >= frames())
            return;
        left_[static_cast<size_t>(i)] += v * std::sqrt(0.5 * (1.0 - pan));
        right_[static_cast<size_t>(i)] += v * std::sqrt(0.5 * (1.0 + pan));
    }
    std::vector<double> &left() { return left_; }
    std::vector<double> &right() { return right_; }

private:
    std::vector<double> left_, right_;
};

constexpr double kRate = kDemoSampleRate;

void Kick(Mixer &m, double at, double gain)
{
    const int64_t start = static_cast<int64_t>(at * kRate);
    double phase = 0.0;
    for (int64_t i = 0; i < static_cast<int64_t>(0.45 * kRate); ++i) {
        const double t = i / kRate;
        const double hz = 45.0 + 110.0 * std::exp(-t * 28.0);
        phase += 2.0 * kPi * hz / kRate;
        const double click = i < 48 ? 0.3 * (1.0 - i / 48.0) : 0.0;
        m.add(start + i, gain * (std::sin(phase) * std::exp(-t * 7.0) + click));
    }
}

void Snare(Mixer &m, Noise &noise, double at, double gain)
{
    const int64_t start = static_cast<int64_t>(at * kRate);
    double hp = 0.0, prev = 0.0;
    for (int64_t i = 0; i < static_cast<int64_t>(0.25 * kRate); ++i) {
        const double t = i / kRate;
        const double n = noise.next();
        hp = 0.7 * (hp + n - prev); // one-pole high-pass: the rattle
        prev = n;
        const double body = std::sin(2.0 * kPi * 185.0 * t) * std::exp(-t * 30.0);
        m.add(start + i, gain * (0.55 * hp * std::exp(-t * 18.0) + 0.5 * body), 0.1);
    }
}

void Hat(Mixer &m, Noise &noise, double at, double gain, double decay)
{
    const int64_t start = static_cast<int64_t>(at * kRate);
    double prev = 0.0;
    for (int64_t i = 0; i < static_cast<int64_t>(5.0 / decay * kRate); ++i) {
        const double t = i / kRate;
        const double n = noise.next();
        const double hp = n - prev; // first difference: bright
        prev = n;
        m.add(start + i, gain * hp * std::exp(-t * decay), -0.35);
    }
}

// A saw through a one-pole low-pass whose cut-off closes after the attack.
void BassNote(Mixer &m, double at, double length, int note, double gain)
{
    const int64_t start = static_cast<int64_t>(at * kRate);
    const double hz = MidiHz(note);
    double phase = 0.0, lp = 0.0;
    for (int64_t i = 0; i < static_cast<int64_t>(length * kRate); ++i) {
        const double t = i / kRate;
        phase += hz / kRate;
        phase -= std::floor(phase);
        const double saw = 2.0 * phase - 1.0;
        const double cutoff = 180.0 + 1400.0 * std::exp(-t * 14.0);
        const double a = 1.0 - std::exp(-2.0 * kPi * cutoff / kRate);
        lp += a * (saw - lp);
        const double env = std::min(1.0, t * 400.0) * std::min(1.0, (length - t) * 60.0);
        m.add(start + i, gain * lp * env);
    }
}

// Three detuned saws per chord tone, softened by a low-pass, spread in stereo.
void PadChord(Mixer &m, double at, double length, const int *notes, int count, double gain)
{
    const int64_t start = static_cast<int64_t>(at * kRate);
    const double detune[3] = {-0.09, 0.0, 0.11};
    for (int v = 0; v < count; ++v) {
        for (int d = 0; d < 3; ++d) {
            const double hz = MidiHz(notes[v]) * std::pow(2.0, detune[d] / 12.0);
            const double pan = (d - 1) * 0.6;
            double phase = 0.17 * (v * 3 + d), lp = 0.0;
            const double a = 1.0 - std::exp(-2.0 * kPi * 1800.0 / kRate);
            for (int64_t i = 0; i < static_cast<int64_t>(length * kRate); ++i) {
                const double t = i / kRate;
                phase += hz / kRate;
                phase -= std::floor(phase);
                lp += a * ((2.0 * phase - 1.0) - lp);
                const double env = std::min(1.0, t * 12.0) * std::min(1.0, (length - t) * 8.0);
                m.add(start + i, gain * lp * env, pan);
            }
        }
    }
}

} // namespace

AudioClip SynthesizeDemoSong(double seconds)
{
    const double beat = 60.0 / kDemoTempoBpm;
    const double bar = 4.0 * beat;
    const double full = kDemoBars * bar + 0.5; // let the last hits ring out
    const double length = seconds > 0.0 ? std::min(seconds, full) : full;
    Mixer mix(static_cast<int64_t>(std::llround(length * kRate)));
    Noise noise;

    // Am - F - C - G: chord tones (MIDI) and the bass root of each bar.
    const int chords[4][4] = {{57, 60, 64, 69}, {53, 57, 60, 65}, {55, 60, 64, 67}, {55, 59, 62, 67}};
    const int roots[4] = {33, 29, 36, 31};

    for (int b = 0; b < kDemoBars; ++b) {
        const double t0 = b * bar;
        const int c = b % 4;
        PadChord(mix, t0, bar, chords[c], 4, 0.035);
        if (b >= 1) {
            for (int e = 0; e < 8; ++e)
                Hat(mix, noise, t0 + e * beat / 2, e % 2 ? 0.10 : 0.16, e == 7 && b % 2 ? 9.0 : 60.0);
        }
        if (b >= 2) {
            Kick(mix, t0, 0.9);
            Kick(mix, t0 + 2 * beat, 0.9);
            if (b % 2)
                Kick(mix, t0 + 2.5 * beat, 0.7);
            Snare(mix, noise, t0 + beat, 0.55);
            Snare(mix, noise, t0 + 3 * beat, 0.55);
            if (b == kDemoBars - 1) // fill into the end
                for (int s = 0; s < 4; ++s)
                    Snare(mix, noise, t0 + 3 * beat + s * beat / 4, 0.35 + 0.1 * s);
            const int pattern[8] = {0, 0, 12, 0, 0, 7, 0, 12};
            for (int e = 0; e < 8; ++e)
                BassNote(mix, t0 + e * beat / 2, beat / 2 * 0.9, roots[c] + pattern[e], 0.32);
        }
    }
    if (seconds <= 0.0 || seconds >= full)
        Kick(mix, kDemoBars * bar, 1.0); // the closing hit on the next downbeat

    double peak = 1e-9;
    for (auto *ch : {&mix.left(), &mix.right()})
        for (double v : *ch)
            peak = std::max(peak, std::fabs(v));
    const double gain = 0.89 / peak; // -1 dBFS
    AudioClip clip;
    clip.sampleRate = kDemoSampleRate;
    for (int c = 0; c < 2; ++c) {
        const std::vector<double> &src = c ? mix.right() : mix.left();
        clip.channels[c].resize(src.size());
        for (size_t i = 0; i < src.size(); ++i)
            clip.channels[c][i] = static_cast<float>(src[i] * gain);
    }
    return clip;
}

} // namespace qvhost
