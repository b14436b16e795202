/* The window port: the stand-in for the host's graphics port that the
 * visual draws into. */
#ifndef QV_PLATFORM_QDPORT_H
#define QV_PLATFORM_QDPORT_H

#include "platform/MacTypes.h"
#include "platform/QDPixMap.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct GrafPort GrafPort; /* defined by the platform */
typedef GrafPort *CGrafPtr;

/* Writes the port's bounds into *bounds and returns bounds. */
Rect *GetPortBounds(CGrafPtr port, Rect *bounds);

#ifdef __cplusplus
}
#endif

#endif
