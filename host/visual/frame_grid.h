// Where the frames of a video stand in its audio. Frame n of a video at
// `fps` frames per second stands at time n / fps; in audio of `rate` samples
// per second, at sample floor(n * rate / fps). It is drawn from the audio
// before that moment and the visual's clock reads its whole seconds, so the
// same audio gives the same frames in every host.
//
// The arithmetic is exact for any frame of any stream (128-bit products):
// a timestamp far from zero cannot overflow it.
#pragma once

#include <cstdint>
#include <ctime>

namespace qvhost {

// num / den frames per second, both at least 1.
struct FrameRate {
    int num = 0;
    int den = 1;
};

// The sample at which frame n (>= 0) stands: floor(n * rate * den / num).
int64_t FrameSample(int64_t n, int rate, FrameRate fps);
// The frames that stand before sample `end`, which is also the first frame
// standing at or after it: ceil(end * num / (rate * den)); 0 for end <= 0.
int64_t FramesBefore(int64_t end, int rate, FrameRate fps);
// Frame n's time in seconds (for intervals between frames).
double FrameTime(int64_t n, FrameRate fps);
// The whole seconds of frame n's time, which the visual's clock reads.
time_t FrameSeconds(int64_t n, FrameRate fps);

} // namespace qvhost
