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

namespace qvgst {

// The sample at which frame n stands.
int64_t FrameSample(int64_t n, int rate, int fpsN, int fpsD);
// The first frame standing at or after sample `s` (s >= 0).
int64_t FirstFrameFrom(int64_t s, int rate, int fpsN, int fpsD);

enum class SampleFormat { F32, S16 };

class AudioTail {
public:
    // Forgets all audio; the next samples appended start at sample `start`.
    void reset(int64_t start);
    // Appends `count` interleaved frames of `channels` (1 or 2) channels in
    // native byte order. A mono stream fills both channels.
    void append(const void *data, int64_t count, int channels, SampleFormat format);
    // One past the last sample appended.
    int64_t end() const { return start_ + static_cast<int64_t>(left_.size()); }
    // Copies the `count` samples before `endSample` of each channel into
    // `left` and `right`; samples not held (before the stream) are silence.
    void window(int64_t endSample, int count, float *left, float *right) const;
    // Keeps only the `count` samples before end().
    void trim(int count);

private:
    int64_t start_ = 0; // the sample held at index 0
    std::vector<float> left_, right_;
};

} // namespace qvgst
