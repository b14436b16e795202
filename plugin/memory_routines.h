/* The small memory routines of the registration and the host glue. Internal to
 * the bundle (hidden) but SetNumVersion. */
#ifndef QV_PLUGIN_MEMORYROUTINES_H
#define QV_PLUGIN_MEMORYROUTINES_H

#include "platform/export.h"
#include "platform/mac_types.h"

/* Sets `count` bytes from `dest` on to zero; nothing when count <= 0. */
void MemClear(void *dest, SInt32 count);

/* Copies `count` bytes from `src` to `dest` (source first), overlap-safe like
 * memmove; nothing when count <= 0. */
void BlockMoveData(const void *src, void *dest, SInt32 count);

/* Stores the low 8 bits of each value into the four bytes of the record. */
QV_EXTERN_C QV_EXPORT void SetNumVersion(NumVersion *version, UInt8 majorRev, UInt8 minorAndBugRev, UInt8 stage,
                                         UInt8 nonRelRev);

#endif
