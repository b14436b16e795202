#include "host/common/sample_history.h"

#include <algorithm>

namespace qvhost {

SampleHistory::SampleHistory(int capacity)
{
    for (auto &c : channels_)
        c.assign(static_cast<size_t>(std::max(capacity, 1)), 0.0f);
}

template <typename Left, typename Right> void SampleHistory::put(int64_t count, Left left, Right right)
{
    const int64_t size = static_cast<int64_t>(channels_[0].size());
    // Only the last `size` of the new samples can stay.
    for (int64_t i = std::max<int64_t>(count - size, 0); i < count; ++i) {
        const size_t at = static_cast<size_t>((end_ + i) % size);
        channels_[0][at] = left(i);
        channels_[1][at] = right(i);
    }
    end_ += count;
    held_ = std::min(held_ + count, size);
}

void SampleHistory::append(const float *left, const float *right, int count)
{
    put(
        count, [left](int64_t i) { return left[i]; }, [right](int64_t i) { return right[i]; });
}

void SampleHistory::appendInterleaved(const float *samples, int64_t count, int channels)
{
    const int64_t second = channels > 1 ? 1 : 0;
    put(
        count, [=](int64_t i) { return samples[i * channels]; },
        [=](int64_t i) { return samples[i * channels + second]; });
}

void SampleHistory::restart(int64_t position)
{
    end_ = position;
    held_ = 0;
}

void SampleHistory::copy(int64_t start, int count, float *left, float *right) const
{
    const int64_t size = static_cast<int64_t>(channels_[0].size());
    for (int i = 0; i < count; ++i) {
        const int64_t at = start + i;
        const bool held = at >= begin() && at < end_;
        const size_t slot = held ? static_cast<size_t>(at % size) : 0;
        left[i] = held ? channels_[0][slot] : 0.0f;
        right[i] = held ? channels_[1][slot] : 0.0f;
    }
}

} // namespace qvhost
