#include "gst/audio_tail.h"

#include <algorithm>
#include <cstring>

namespace qvgst {
namespace {

constexpr float kS16FullScale = 32768.0f; // as the program's decoder (libswresample) normalises 16-bit PCM

float Sample(const void *data, int64_t index, SampleFormat format)
{
    if (format == SampleFormat::F32)
        return static_cast<const float *>(data)[index];
    return static_cast<float>(static_cast<const int16_t *>(data)[index]) / kS16FullScale;
}

void CopyHeld(const std::vector<float> &held, int64_t from, int64_t endSample, int count, float *out)
{
    const int64_t size = static_cast<int64_t>(held.size());
    const int64_t first = endSample - count - from; // index in `held` of out[0]
    const int64_t lo = std::clamp<int64_t>(first, 0, size);
    const int64_t hi = std::clamp<int64_t>(first + count, 0, size);
    std::fill(out, out + count, 0.0f);
    if (hi > lo)
        std::memcpy(out + (lo - first), held.data() + lo, static_cast<size_t>(hi - lo) * sizeof(float));
}

} // namespace

int64_t FrameSample(int64_t n, int rate, int fpsN, int fpsD)
{
    return n * rate * fpsD / fpsN;
}

int64_t FirstFrameFrom(int64_t s, int rate, int fpsN, int fpsD)
{
    // Smallest n with n * rate * fpsD >= s * fpsN.
    const int64_t step = static_cast<int64_t>(rate) * fpsD;
    return (s * fpsN + step - 1) / step;
}

void AudioTail::reset(int64_t start)
{
    start_ = start;
    left_.clear();
    right_.clear();
}

void AudioTail::append(const void *data, int64_t count, int channels, SampleFormat format)
{
    const size_t at = left_.size();
    left_.resize(at + static_cast<size_t>(count));
    right_.resize(at + static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) {
        left_[at + i] = Sample(data, i * channels, format);
        right_[at + i] = Sample(data, i * channels + channels - 1, format);
    }
}

void AudioTail::window(int64_t endSample, int count, float *left, float *right) const
{
    CopyHeld(left_, start_, endSample, count, left);
    CopyHeld(right_, start_, endSample, count, right);
}

void AudioTail::trim(int count)
{
    const int64_t drop = static_cast<int64_t>(left_.size()) - count;
    if (drop <= 0)
        return;
    left_.erase(left_.begin(), left_.begin() + drop);
    right_.erase(right_.begin(), right_.begin() + drop);
    start_ += drop;
}

} // namespace qvgst
