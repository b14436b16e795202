#include "host/visual/frame_grid.h"

namespace qvhost {
namespace {

using Wide = __int128;

int64_t Clamped(Wide v)
{
    return v > INT64_MAX ? INT64_MAX : static_cast<int64_t>(v);
}

} // namespace

int64_t FrameSample(int64_t n, int rate, FrameRate fps)
{
    return Clamped(static_cast<Wide>(n) * rate * fps.den / fps.num);
}

int64_t FramesBefore(int64_t end, int rate, FrameRate fps)
{
    if (end <= 0)
        return 0;
    const Wide step = static_cast<Wide>(rate) * fps.den;
    return Clamped((static_cast<Wide>(end) * fps.num + step - 1) / step);
}

double FrameTime(int64_t n, FrameRate fps)
{
    return static_cast<double>(n) * fps.den / fps.num;
}

time_t FrameSeconds(int64_t n, FrameRate fps)
{
    return static_cast<time_t>(Clamped(static_cast<Wide>(n) * fps.den / fps.num));
}

} // namespace qvhost
