/* AGL, the binding of GL contexts to window ports, over EGL.
 *
 * Contexts are desktop OpenGL, compatibility profile (immediate mode works),
 * on an EGL display that needs no window system: a GPU's EGL device where a
 * driver offers one, else Mesa's surfaceless platform (llvmpipe). A context
 * attached to a port draws into an offscreen framebuffer (RGBA8 colour, depth
 * of the pixel format) the size of its buffer rectangle, or of the whole port
 * while no buffer rectangle is enabled. aglSwapBuffers copies the finished
 * frame into the port's pixel map and tells the port's frame procedure.
 *
 * Coordinates of AGL_BUFFER_RECT are x, y, width, height in port pixels with
 * the origin at the bottom-left corner of the port.
 *
 * All calls run on the thread that uses the context; the current context is
 * per thread. Nothing here is locked. */
#ifndef QV_PLATFORM_AGL_H
#define QV_PLATFORM_AGL_H

#include <GL/gl.h>

#include "platform/mac_types.h"
#include "platform/qd_port.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct __AGLContextRec *AGLContext;
typedef struct __AGLPixelFormatRec *AGLPixelFormat;
typedef void *AGLDevice; /* a screen; the chooser always considers every screen */
typedef CGrafPtr AGLDrawable;

/* Pixel format attributes; a list ends with AGL_NONE. */
#define AGL_NONE 0
#define AGL_RGBA 4
#define AGL_DOUBLEBUFFER 5
#define AGL_DEPTH_SIZE 12 /* followed by the number of depth bits */
#define AGL_ACCELERATED 73

/* Context parameters (aglSetInteger, aglGetInteger, aglEnable). */
#define AGL_BUFFER_RECT 202   /* four values: x, y, width, height */
#define AGL_SWAP_INTERVAL 222 /* one value: 0 do not pace, 1 one frame per refresh */

/* A format for the attribute list, or null when none matches. AGL_RGBA,
 * AGL_DOUBLEBUFFER, AGL_ACCELERATED (a software renderer counts as
 * accelerated) and AGL_DEPTH_SIZE up to 24 can be met; any other attribute
 * makes the chooser find nothing. `gdevs` and `ndev` are not used. The caller
 * releases the format with aglDestroyPixelFormat. */
AGLPixelFormat aglChoosePixelFormat(const AGLDevice *gdevs, GLint ndev, const GLint *attribs);
/* Null is ignored. Contexts made from the format stay valid. */
void aglDestroyPixelFormat(AGLPixelFormat pix);

/* A new context, or null. Sharing GL objects with `share` is not supported:
 * it must be null. The caller destroys the context with aglDestroyContext. */
AGLContext aglCreateContext(AGLPixelFormat pix, AGLContext share);
/* Makes it not current if it is, detaches it and releases it with all of its
 * GL objects. Null gives GL_FALSE. */
GLboolean aglDestroyContext(AGLContext ctx);

/* Attaches the context to a port (its framebuffer takes the port's size, or
 * the buffer rectangle's when enabled), or with null detaches it. The port
 * must outlive the attachment. */
GLboolean aglSetDrawable(AGLContext ctx, AGLDrawable draw);
/* Makes the context current on the calling thread (null: none). A context
 * needs no drawable to be current; drawing without one goes nowhere. */
GLboolean aglSetCurrentContext(AGLContext ctx);
AGLContext aglGetCurrentContext(void);
/* Takes up the port's current size and the buffer rectangle set since the
 * last update: the framebuffer is resized (its contents are then undefined).
 * GL_FALSE when the context has no drawable. */
GLboolean aglUpdateContext(AGLContext ctx);

/* AGL_SWAP_INTERVAL: 0 or 1 (other values GL_FALSE). AGL_BUFFER_RECT: width
 * and height must be positive and within the GL's largest framebuffer and
 * viewport, else GL_FALSE and the old rectangle stays; it applies from the
 * next aglUpdateContext. */
GLboolean aglSetInteger(AGLContext ctx, GLenum pname, const GLint *params);
/* Reads back what aglSetInteger set (the rectangle as last set, enabled or
 * not; before any, the whole port). */
GLboolean aglGetInteger(AGLContext ctx, GLenum pname, GLint *params);
/* AGL_BUFFER_RECT only; applies from the next aglUpdateContext. */
GLboolean aglEnable(AGLContext ctx, GLenum pname);
GLboolean aglDisable(AGLContext ctx, GLenum pname);

/* Copies the framebuffer into the port's pixel map at the buffer rectangle
 * (clipped to the port), as opaque native 32-bit ARGB words (the pixel
 * format has no alpha), then calls the port's frame procedure with the
 * changed rectangle and the swap interval. Where the GL can return rows top
 * first the read lands straight in the port's rows; elsewhere it goes through
 * a buffer of the context's. Expects the default pixel pack state and leaves
 * it so. Does nothing for a context without a drawable. Allocates nothing. */
void aglSwapBuffers(AGLContext ctx);

#ifdef __cplusplus
}
#endif

#endif
