#include "render/gl_context.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdio>

#include "platform/agl.h"
#include "render/frame_renderer.h"

float scr_left = 0.0f;
float scr_right = 0.0f;
float scr_top = 0.0f;
float scr_bottom = 0.0f;

QV_EXTERN_C SInt32 SetupAGL(VisualPluginState *state)
{
    // RGBA, accelerated, double-buffered, 16-bit depth; nothing else.
    const GLint attributes[] = {AGL_RGBA, AGL_ACCELERATED, AGL_DOUBLEBUFFER, AGL_DEPTH_SIZE, 16, AGL_NONE};
    AGLPixelFormat format = aglChoosePixelFormat(nullptr, 0, attributes);
    if (format == nullptr)
        return kSetupNoPixelFormat;
    state->aglContext = aglCreateContext(format, nullptr);
    aglDestroyPixelFormat(format); // the context keeps what it needs
    if (state->aglContext == nullptr)
        return kSetupNoContext;
    if (!aglSetDrawable(state->aglContext, state->port))
        return kSetupNotAttached;
    if (!aglSetCurrentContext(state->aglContext))
        return kSetupNotCurrent;
    if (!aglUpdateContext(state->aglContext))
        return kSetupSizeNotTaken;
    const GLint swapInterval = 1; // every swap waits for the display's refresh
    if (!aglSetInteger(state->aglContext, AGL_SWAP_INTERVAL, &swapInterval))
        return kSetupNoSwapInterval;
    return 0;
}

QV_EXTERN_C void CleanupAGL(VisualPluginState *state)
{
    aglSetCurrentContext(nullptr);
    if (state->aglContext != nullptr) {
        aglSetDrawable(state->aglContext, nullptr);
        aglDestroyContext(state->aglContext);
    }
    state->aglContext = nullptr;
}

QV_EXTERN_C void Init(void)
{
    glFrontFace(GL_CCW);
    glDepthFunc(GL_LESS);
    glEnable(GL_DEPTH_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glClearColor(0.0f, 0.1f, 0.0f, 1.0f);
}

bool UseContext(VisualPluginState *state)
{
    if (state->aglContext == nullptr)
        return false;
    return aglGetCurrentContext() == state->aglContext || aglSetCurrentContext(state->aglContext);
}

QV_EXTERN_C void SetViewport(VisualPluginState *state)
{
    if (!UseContext(state))
        return;
    GetPortBounds(state->port, &state->portBounds);

    // Port coordinates run top-down, AGL's bottom-up.
    const Rect &r = state->destRect;
    const GLint portHeight = GLint{state->portBounds.bottom} - state->portBounds.top;
    const GLint bufferRect[4] = {r.left, portHeight - r.bottom, GLint{r.right} - r.left, GLint{r.bottom} - r.top};
    const GLint width = bufferRect[2];
    const GLint height = bufferRect[3];

    if (!aglEnable(state->aglContext, AGL_BUFFER_RECT))
        std::printf("unable to enable AGL_BUFFER_RECT\n");
    if (!aglSetInteger(state->aglContext, AGL_BUFFER_RECT, bufferRect))
        std::printf("setViewport: aglSetInteger AGL_BUFFER_RECT != ok\n");
    if (!aglUpdateContext(state->aglContext))
        std::printf("reshapeAGL: aglUpdateContext != ok\n");

    // A rectangle without area has no aspect: keep the last usable viewport
    // and camera rather than divide by zero.
    if (width > 0 && height > 0) {
        glViewport(0, 0, width, height);
        const float aspect = static_cast<float>(width) / static_cast<float>(height);
        PosCamera(aspect, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    }
    glLoadIdentity();

    state->ready = 1;
    state->colorIndex = 0;
    draw(state, 0, 0, nullptr);
}

QV_EXTERN_C void PosCamera(float aspect, float, float, float, float, float, float)
{
    // The view spans 20 units on its shorter side; a ratio of 1 or less
    // (negative ones included) widens it vertically by 10 / aspect.
    const bool wide = aspect > 1.0f;
    const float left = wide ? -kViewHalfSpan * aspect : -kViewHalfSpan;
    const float right = wide ? kViewHalfSpan * aspect : kViewHalfSpan;
    const float bottom = wide ? -kViewHalfSpan : -kViewHalfSpan / aspect;
    const float top = wide ? kViewHalfSpan : kViewHalfSpan / aspect;
    // Where that divides by zero or leaves the finite numbers (a ratio of 0,
    // infinite or undefined, or so small that 10 / aspect overflows), or
    // gives a view without height, the camera stays as it is.
    if (!std::isfinite(left) || !std::isfinite(right) || !std::isfinite(bottom) || !std::isfinite(top) || bottom == top)
        return;
    scr_left = left, scr_right = right, scr_bottom = bottom, scr_top = top;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(scr_left, scr_right, scr_bottom, scr_top);
    glMatrixMode(GL_MODELVIEW);
}
