#include "gst/audio_tail.h"

#include <algorithm>

namespace qvgst {
namespace {

constexpr float kS16FullScale = 32768.0f; // as the program's decoder (libswresample) normalises 16-bit PCM

float Sample(const void *data, int64_t index, SampleFormat format)
{
    if (format == SampleFormat::F32)
        return static_cast<const float *>(data)[index];
    return static_cast<float>(static_cast<const int16_t *>(data)[index]) / kS16FullScale;
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

AudioTail::AudioTail(int window)
    : window_(window), history_(window + static_cast<int>(kChunk)), left_(kChunk), right_(kChunk)
{
}

int64_t AudioTail::append(const void *data, int64_t count, int channels, SampleFormat format)
{
    const int64_t taken = std::min(count, kChunk);
    for (int64_t i = 0; i < taken; ++i) {
        left_[i] = Sample(data, i * channels, format);
        right_[i] = Sample(data, i * channels + channels - 1, format);
    }
    history_.append(left_.data(), right_.data(), static_cast<int>(taken));
    return taken;
}

void AudioTail::window(int64_t endSample, float *left, float *right) const
{
    history_.copy(endSample - window_, window_, left, right);
}

} // namespace qvgst
