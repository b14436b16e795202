#include "host/common/sample_history.h"

#include <algorithm>

namespace qvhost {

SampleHistory::SampleHistory(int capacity)
{
    for (auto &c : channels_)
        c.assign(static_cast<size_t>(std::max(capacity, 1)), 0.0f);
}

void SampleHistory::append(const float *left, const float *right, int count)
{
    const int64_t size = static_cast<int64_t>(channels_[0].size());
    // Only the last `size` of the new samples can stay.
    const int skip = static_cast<int>(std::max<int64_t>(count - size, 0));
    for (int i = skip; i < count; ++i) {
        const size_t at = static_cast<size_t>((end_ + i) % size);
        channels_[0][at] = left[i];
        channels_[1][at] = right[i];
    }
    end_ += count;
    held_ = std::min(held_ + count, size);
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
