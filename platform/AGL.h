/* AGL, the binding of GL contexts to window ports, over EGL. */
#ifndef QV_PLATFORM_AGL_H
#define QV_PLATFORM_AGL_H

#include "platform/MacTypes.h"
#include "platform/QDPort.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct __AGLContextRec *AGLContext;
typedef struct __AGLPixelFormatRec *AGLPixelFormat;

#ifdef __cplusplus
}
#endif

#endif
