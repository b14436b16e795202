#include "host/common/frame_size.h"

#include "host/common/defaults.h"
#include "host/common/host_error.h"

namespace qvhost {

void CheckFrameSize(int width, int height)
{
    if (width < kMinSide || height < kMinSide || width > kMaxSide || height > kMaxSide)
        throw UsageError("--size " + SizeText(width, height) + ": each side must be " + std::to_string(kMinSide) +
                         " to " + std::to_string(kMaxSide) + " pixels");
}

std::string SizeText(int width, int height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

} // namespace qvhost
