// The recent audio of a stream, in stream samples counted from running time
// 0: what the frames still to be drawn need. Frame n of a video at fps_n /
// fps_d frames per second stands at sample floor(n * rate * fps_d / fps_n)
// (the same place `quorvanta render` puts it for integer rates) and sees the
// kAnalysisSize samples before it, per channel.
//
// Used on the streaming thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "host/sample_history.h"

namespace qvgst {

// The sample at which frame n stands.
int64_t FrameSample(int64_t n, int rate, int fpsN, int fpsD);
// The first frame standing at or after sample `s` (s >= 0).
int64_t FirstFrameFrom(int64_t s, int rate, int fpsN, int fpsD);

enum class SampleFormat { F32, S16 };

// Holds the window before any frame still to be drawn, in the host's ring
// of latest samples. Audio comes in chunks of at most kChunk sample frames,
// so the caller draws the frames each chunk completes before the next one:
// a frame then stands at or after the previous end() and its window is held.
class AudioTail {
public:
    static constexpr int64_t kChunk = 4096;

    explicit AudioTail(int window);
    // Forgets all audio; the next samples appended start at sample `start`.
    void reset(int64_t start) { history_.restart(start); }
    // Appends the first min(count, kChunk) of `count` interleaved sample
    // frames of `channels` (1 or 2) channels in native byte order, and
    // returns how many it took. A mono stream fills both channels.
    int64_t append(const void *data, int64_t count, int channels, SampleFormat format);
    // One past the last sample appended.
    int64_t end() const { return history_.end(); }
    // Copies the window before `endSample` of each channel into `left` and
    // `right`; samples not held (before the stream) are silence.
    void window(int64_t endSample, float *left, float *right) const;

private:
    int window_;
    qvhost::SampleHistory history_;
    std::vector<float> left_, right_; // one chunk, per channel
};

} // namespace qvgst
