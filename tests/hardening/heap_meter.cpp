#include "hardening/heap_meter.h"

#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
#define QV_HEAP_METER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_HEAP_METER_ASAN 1
#endif
#endif
#ifdef QV_HEAP_METER_ASAN
// From the sanitizer runtime (gcc ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#endif

namespace soak {

size_t HeapInUse()
{
#ifdef QV_HEAP_METER_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
#endif
}

} // namespace soak
