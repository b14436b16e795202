// Memory routines of the registration and the host glue.
#include "plugin/memory_routines.h"

#include <cstdint>
#include <cstring>

namespace plugin_module {

void MemClear(void *dest, SInt32 count)
{
    unsigned char *p = static_cast<unsigned char *>(dest);
    while (count > 0) {
        *p++ = 0;
        --count;
    }
}

} // namespace plugin_module

namespace host_glue {

// For more than 16 bytes: single bytes until the address is 4-aligned, then
// 32-bit words while more than 3 bytes remain; the rest byte by byte.
void MemClear(void *dest, SInt32 count)
{
    unsigned char *p = static_cast<unsigned char *>(dest);
    if (count > 16) {
        while (reinterpret_cast<std::uintptr_t>(p) & 3u) {
            *p++ = 0;
            --count;
        }
        const UInt32 zero = 0;
        while (count > 3) {
            std::memcpy(p, &zero, 4); // one aligned word store
            p += 4;
            count -= 4;
        }
    }
    while (count > 0) {
        *p++ = 0;
        --count;
    }
}

} // namespace host_glue

void BlockMoveData(const void *src, void *dest, SInt32 count)
{
    if (count > 0)
        std::memmove(dest, src, static_cast<size_t>(count));
}

QV_EXTERN_C void SetNumVersion(NumVersion *version, UInt8 majorRev, UInt8 minorAndBugRev, UInt8 stage,
                               UInt8 nonRelRev)
{
    version->majorRev = majorRev;
    version->minorAndBugRev = minorAndBugRev;
    version->stage = stage;
    version->nonRelRev = nonRelRev;
}
