// Audio as the program reads it: two channels of float samples (-1..1 full
// scale) at one rate, pulled in order by whoever draws or plays them, so
// that only what a frame needs is held at a time.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qvhost {

// The sample rates the program works at. Audio at other rates is resampled
// to the nearest of these bounds.
constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 192000;
// The rates a file may claim at all; others are refused. Below 1 kHz is no
// audio anyone records; 3.072 MHz is DSD512 of the 48 kHz family as FFmpeg
// decodes it (at an eighth of its bit rate), the highest rate audio comes
// at. Within them resampling to the bounds above changes a packet's size by
// at most 8 times and a filter's length by at most 16, so a header's claim
// costs kilobytes, not gigabytes.
constexpr int kLowestRate = 1000;
constexpr int kHighestRate = 3072000;

// A stream of stereo samples. Used from one thread.
class AudioSource {
public:
    virtual ~AudioSource() = default;
    // Samples per second per channel, for the life of the source.
    virtual int sampleRate() const = 0;
    // Copies the next samples, up to `count` per channel, into `left` and
    // `right`; returns how many. Fewer than `count` only at the end.
    virtual int read(float *left, float *right, int count) = 0;
    // Makes the next read start at `sample` (from 0; past the end, reads
    // return nothing).
    virtual void seek(int64_t sample) = 0;
    // The samples the source says it holds: an estimate, -1 when unknown.
    // What reads give is what counts.
    virtual int64_t statedLength() const = 0;
    // When the audio ended early because the rest could not be decoded: one
    // line naming the source, the time and the reason. Empty otherwise.
    virtual std::string failure() const { return std::string(); }
};

// Audio held whole in memory (the built-in demo).
struct AudioClip {
    int sampleRate = 0;
    // Both channels hold the same number of samples.
    std::array<std::vector<float>, 2> channels;

    int64_t frames() const { return static_cast<int64_t>(channels[0].size()); }
};

class ClipSource : public AudioSource {
public:
    explicit ClipSource(AudioClip clip) : clip_(std::move(clip)) {}
    int sampleRate() const override { return clip_.sampleRate; }
    int read(float *left, float *right, int count) override;
    void seek(int64_t sample) override { next_ = sample < 0 ? 0 : sample; }
    int64_t statedLength() const override { return clip_.frames(); }

private:
    AudioClip clip_;
    int64_t next_ = 0;
};

// A part of another source: `length` samples (-1: up to its end) from its
// sample `start` on, read as if the audio began there.
class ExcerptSource : public AudioSource {
public:
    ExcerptSource(AudioSource &source, int64_t start, int64_t length);
    int sampleRate() const override { return source_.sampleRate(); }
    int read(float *left, float *right, int count) override;
    void seek(int64_t sample) override;
    int64_t statedLength() const override;
    std::string failure() const override { return source_.failure(); }

private:
    AudioSource &source_;
    int64_t start_, length_;
    int64_t next_ = 0;
};

} // namespace qvhost
