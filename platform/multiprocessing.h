/* Stand-in for the Multiprocessing Services calls the drawing library uses. */
#ifndef QV_PLATFORM_MULTIPROCESSING_H
#define QV_PLATFORM_MULTIPROCESSING_H

#include "platform/mac_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Copies `count` bytes from `src` to `dst`. Overlapping areas are copied as if
 * through a temporary buffer. Nothing happens for count <= 0. */
void MPBlockCopy(const void *src, void *dst, long count);

/* Present only when a host provides Multiprocessing Services: a weak
 * reference, so its address is null in a process that defines no such
 * function. Returns non-zero once the services are ready. */
extern Boolean _MPIsFullyInitialized(void) __attribute__((weak));

#ifdef __cplusplus
}
#endif

#endif
