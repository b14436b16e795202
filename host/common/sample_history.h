// The latest samples of a stream, in a ring of fixed size: what an analysis
// window or an audio device reads, without the stream's past.
#pragma once

#include <cstdint>
#include <vector>

namespace qvhost {

class SampleHistory {
public:
    // Holds at most `capacity` samples per channel.
    explicit SampleHistory(int capacity);

    // The positions held: [begin(), end()), counted from the stream's start.
    int64_t begin() const { return end_ - held_; }
    int64_t end() const { return end_; }

    // Adds `count` samples per channel at end(); the oldest go when full.
    void append(const float *left, const float *right, int count);
    // The same for `count` sample frames of `channels` interleaved samples:
    // the first two channels (a mono stream fills both sides).
    void appendInterleaved(const float *samples, int64_t count, int channels);
    // Forgets everything; the next append lands at `position`.
    void restart(int64_t position);
    // Copies positions [start, start + count) into `left` and `right`, with
    // silence for the positions not held.
    void copy(int64_t start, int count, float *left, float *right) const;

private:
    // Stores left(i) and right(i) for i in [0, count) at end() + i.
    template <typename Left, typename Right> void put(int64_t count, Left left, Right right);

    std::vector<float> channels_[2];
    int64_t end_ = 0;
    int64_t held_ = 0;
};

} // namespace qvhost
