/* Stand-in for the memory manager's pointer calls. */
#ifndef QV_PLATFORM_MACMEMORY_H
#define QV_PLATFORM_MACMEMORY_H

#include "platform/mac_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Returns `size` zero-filled bytes, or null when memory runs out (or when the
 * failure hook below says so). Negative sizes yield null. The caller owns the
 * block and returns it with DisposePtr. */
Ptr NewPtrClear(SInt32 size);

/* Releases a block from NewPtrClear; null is accepted and ignored. */
void DisposePtr(Ptr p);

/* Test hook: the next `count` calls of NewPtrClear fail as if memory had run
 * out. 0 turns the hook off. Process-wide, not thread-safe. */
void QVPlatform_FailNextAllocations(int count);

/* Number of blocks handed out by NewPtrClear and not yet disposed. */
long QVPlatform_LivePtrCount(void);

#ifdef __cplusplus
}
#endif

#endif
