#include "host/visual/stream_frames.h"

#include <algorithm>

#include "host/visual/spectrum_analyzer.h"

namespace qvhost {
namespace {

constexpr float kS16FullScale = 32768.0f; // as the program's decoder (libswresample) normalises 16-bit PCM

float Sample(const void *data, int64_t index, SampleFormat format)
{
    if (format == SampleFormat::F32)
        return static_cast<const float *>(data)[index];
    return static_cast<float>(static_cast<const int16_t *>(data)[index]) / kS16FullScale;
}

} // namespace

StreamFrames::StreamFrames() : history_(kAnalysisSize + static_cast<int>(kChunk)), left_(kChunk), right_(kChunk) {}

void StreamFrames::setRates(int rate, FrameRate fps)
{
    if (rate == rate_ && fps.num == fps_.num && fps.den == fps_.den)
        return;
    rate_ = rate;
    fps_ = fps;
    next_ = FramesBefore(end(), rate_, fps_);
}

void StreamFrames::place(int64_t start)
{
    if (placed_ && start == end())
        return;
    placed_ = true;
    history_.restart(start);
    next_ = FramesBefore(start, rate_, fps_);
}

bool StreamFrames::append(const void *data, int64_t count, int channels, SampleFormat format,
                          const std::function<bool(int64_t)> &draw)
{
    const auto *bytes = static_cast<const uint8_t *>(data);
    const size_t frameBytes = static_cast<size_t>(channels) * (format == SampleFormat::F32 ? 4 : 2);
    for (int64_t done = 0; done < count;) {
        const int64_t taken = std::min(count - done, kChunk);
        const void *chunk = bytes + static_cast<size_t>(done) * frameBytes;
        for (int64_t i = 0; i < taken; ++i) {
            left_[i] = Sample(chunk, i * channels, format);
            right_[i] = Sample(chunk, i * channels + channels - 1, format);
        }
        history_.append(left_.data(), right_.data(), static_cast<int>(taken));
        done += taken;
        while (FrameSample(next_, rate_, fps_) < end())
            if (!draw(next_++))
                return false;
    }
    return true;
}

} // namespace qvhost
