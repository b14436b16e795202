// AGL for test programs that link the bundle's parts with the GL recorder (a cross build's target has no GL):
// contexts keep what AGL would (drawable, buffer rectangle, swap interval, the current one) and a swap tells
// the port's frame procedure of the buffer rectangle, as platform/agl_egl.cpp does; nothing is drawn.
#include <algorithm>

#include "platform/agl.h"
#include "platform/agl_test_hooks.h"
#include "platform/qd_port_frame.h"

struct __AGLPixelFormatRec {};

struct __AGLContextRec {
    CGrafPtr port = nullptr;
    GLint rect[4] = {}, pendingRect[4] = {}; // x, y, width, height from the port's bottom-left
    bool rectOn = false, pendingRectOn = false, hadDrawable = false;
    GLint interval = 0;
};

namespace {

AGLContext g_current = nullptr;
long g_contexts = 0, g_formats = 0, g_framebuffers = 0; // alive

} // namespace

extern "C" {

AGLPixelFormat aglChoosePixelFormat(const AGLDevice *, GLint, const GLint *)
{
    return ++g_formats, new __AGLPixelFormatRec;
}

void aglDestroyPixelFormat(AGLPixelFormat pix)
{
    g_formats -= pix != nullptr;
    delete pix;
}

AGLContext aglCreateContext(AGLPixelFormat pix, AGLContext share)
{
    return pix && !share ? (++g_contexts, new __AGLContextRec) : nullptr;
}

GLboolean aglDestroyContext(AGLContext ctx)
{
    if (!ctx)
        return GL_FALSE;
    g_current = g_current == ctx ? nullptr : g_current;
    g_contexts -= 1, g_framebuffers -= ctx->hadDrawable;
    delete ctx;
    return GL_TRUE;
}

GLboolean aglSetDrawable(AGLContext ctx, AGLDrawable draw)
{
    g_framebuffers += draw && !ctx->hadDrawable;
    ctx->hadDrawable |= draw != nullptr;
    ctx->port = draw;
    return GL_TRUE;
}

GLboolean aglSetCurrentContext(AGLContext ctx) { return g_current = ctx, GL_TRUE; }
AGLContext aglGetCurrentContext(void) { return g_current; }
GLboolean aglEnable(AGLContext ctx, GLenum pname) { return pname == AGL_BUFFER_RECT && (ctx->pendingRectOn = true); }

GLboolean aglUpdateContext(AGLContext ctx)
{
    if (!ctx->port)
        return GL_FALSE;
    std::copy(ctx->pendingRect, ctx->pendingRect + 4, ctx->rect);
    ctx->rectOn = ctx->pendingRectOn;
    return GL_TRUE;
}

GLboolean aglSetInteger(AGLContext ctx, GLenum pname, const GLint *params)
{
    if (pname == AGL_SWAP_INTERVAL && (params[0] == 0 || params[0] == 1))
        return ctx->interval = params[0], GL_TRUE;
    if (pname != AGL_BUFFER_RECT || params[2] <= 0 || params[3] <= 0)
        return GL_FALSE;
    std::copy(params, params + 4, ctx->pendingRect);
    return GL_TRUE;
}

GLboolean aglGetInteger(AGLContext ctx, GLenum pname, GLint *params)
{
    if (pname != AGL_BUFFER_RECT)
        return GL_FALSE;
    std::copy(ctx->pendingRect, ctx->pendingRect + 4, params);
    return GL_TRUE;
}

// The changed rectangle in top-down port coordinates, clipped to the port.
void aglSwapBuffers(AGLContext ctx)
{
    if (!ctx->port)
        return;
    Rect port;
    GetPortBounds(ctx->port, &port);
    const GLint *r = ctx->rect;
    const Rect changed = !ctx->rectOn ? port
                                      : Rect{SInt16(std::max<GLint>(port.bottom - r[1] - r[3], 0)),
                                             SInt16(std::max<GLint>(r[0], 0)),
                                             SInt16(std::min<GLint>(port.bottom - r[1], port.bottom)),
                                             SInt16(std::min<GLint>(r[0] + r[2], port.right))};
    QVPort_FrameReady(ctx->port, &changed, ctx->interval);
}

long QVAGL_LiveContextCount(void) { return g_contexts; }
long QVAGL_LivePixelFormatCount(void) { return g_formats; }
long QVAGL_LiveFramebufferCount(void) { return g_framebuffers; }

} // extern "C"
