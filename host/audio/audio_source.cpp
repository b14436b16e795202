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

} // namespace qvhost
