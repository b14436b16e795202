// Memory routines of the registration and the host glue.
#include "plugin/memory_routines.h"

#include <cstring>

void MemClear(void *dest, SInt32 count)
{
    if (count > 0)
        std::memset(dest, 0, static_cast<size_t>(count));
}

void BlockMoveData(const void *src, void *dest, SInt32 count)
{
    if (count > 0)
        std::memmove(dest, src, static_cast<size_t>(count));
}

QV_EXTERN_C void SetNumVersion(NumVersion *version, UInt8 majorRev, UInt8 minorAndBugRev, UInt8 stage, UInt8 nonRelRev)
{
    version->majorRev = majorRev;
    version->minorAndBugRev = minorAndBugRev;
    version->stage = stage;
    version->nonRelRev = nonRelRev;
}
