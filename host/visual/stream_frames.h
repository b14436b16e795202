// The frames of a stream that arrives as it plays (a pipeline's or a
// player's audio), cut on the stream's own time grid: frame n stands at
// FrameSample(n) samples from the stream's start (running time 0) and is
// drawn as soon as the audio up to its moment has arrived, so that a stream
// gives the frames a render of the same audio gives, however its buffers are
// cut.
//
// Audio comes as interleaved samples at known places in the stream. It is
// taken a chunk (kChunk sample frames) at a time, each chunk followed by the
// frames it completes: a frame then stands at or after the previous chunk's
// end, and its analysis window is still held. Only the window and one chunk
// are kept.
//
// Used from one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "host/common/sample_history.h"
#include "host/visual/frame_grid.h"

namespace qvhost {

enum class SampleFormat { F32, S16 };

class StreamFrames {
public:
    static constexpr int64_t kChunk = 4096;

    StreamFrames();

    // The audio's rate and the video's frame rate. A change moves the grid:
    // the frames from the audio's end on stand where the new rates put them;
    // the audio held stays.
    void setRates(int rate, FrameRate fps);
    // The next audio starts at stream sample `start` (before the stream's
    // start when negative). Where that is not where the audio so far ended,
    // or nothing came since reset(), the audio held is forgotten and the next
    // frame is the first standing at or after `start`.
    void place(int64_t start);
    // Forgets where the stream is (a flush): the next audio must be placed.
    void reset() { placed_ = false; }
    bool placed() const { return placed_; }
    // One past the last sample appended.
    int64_t end() const { return history_.end(); }

    // Appends `count` interleaved sample frames of `channels` (1 or 2; a
    // mono stream fills both channels) of `format` in native byte order, and
    // calls `draw(n)` for each frame the audio completes, in order. Stops
    // early, returning false, when `draw` returns false.
    bool append(const void *data, int64_t count, int channels, SampleFormat format,
                const std::function<bool(int64_t)> &draw);

    // The audio a frame is drawn from, and its rates.
    const SampleHistory &audio() const { return history_; }
    int rate() const { return rate_; }
    FrameRate fps() const { return fps_; }

private:
    int rate_ = 0;
    FrameRate fps_;
    bool placed_ = false;
    int64_t next_ = 0; // the next frame to draw
    SampleHistory history_;
    std::vector<float> left_, right_; // one chunk, per channel
};

} // namespace qvhost
