#include "host/audio/audio_source.h"

#include <algorithm>
#include <cstring>

namespace qvhost {

int ClipSource::read(float *left, float *right, int count)
{
    const int n = static_cast<int>(std::clamp<int64_t>(clip_.frames() - next_, 0, std::max(count, 0)));
    if (n > 0) {
        std::memcpy(left, clip_.channels[0].data() + next_, sizeof(float) * static_cast<size_t>(n));
        std::memcpy(right, clip_.channels[1].data() + next_, sizeof(float) * static_cast<size_t>(n));
    }
    next_ += n;
    return n;
}

ExcerptSource::ExcerptSource(AudioSource &source, int64_t start, int64_t length)
    : source_(source), start_(start), length_(length)
{
    if (start_ > 0) // a source starts at its beginning
        source_.seek(start_);
}

int ExcerptSource::read(float *left, float *right, int count)
{
    if (length_ >= 0)
        count = static_cast<int>(std::clamp<int64_t>(length_ - next_, 0, std::max(count, 0)));
    const int n = count > 0 ? source_.read(left, right, count) : 0;
    next_ += n;
    return n;
}

void ExcerptSource::seek(int64_t sample)
{
    next_ = sample < 0 ? 0 : sample;
    source_.seek(start_ + next_);
}

int64_t ExcerptSource::statedLength() const
{
    const int64_t whole = source_.statedLength();
    const int64_t rest = whole < 0 ? -1 : std::max<int64_t>(whole - start_, 0);
    return length_ < 0 ? rest : rest < 0 ? length_ : std::min(rest, length_);
}

} // namespace qvhost
