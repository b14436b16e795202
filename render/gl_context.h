/* The GL context of the visual, its fixed state, the viewport and the camera.
 *
 * World coordinates: x right, y up, origin at the centre of the drawing
 * rectangle; the shorter side of the rectangle spans 20 units (-10 to 10).
 * Everything here runs on the host's message thread. */
#ifndef QV_RENDER_GLCONTEXT_H
#define QV_RENDER_GLCONTEXT_H

#include "platform/export.h"
#include "render/plugin_state.h"

/* Creates the context for state->port, attaches it and makes it current with
 * a swap interval of 1. Returns 0, or the step that failed: 1 no pixel
 * format, 2 no context, 3 not attached, 4 not current (1 to 4 leave no
 * current context), 5 the drawable's size not taken up, 6 swap interval not
 * set (5 and 6 leave the context current). The pixel format is released on
 * every path. Expects state->aglContext to be null. */
enum {
    kSetupNoPixelFormat = 1,
    kSetupNoContext = 2,
    kSetupNotAttached = 3,
    kSetupNotCurrent = 4, /* the last step that leaves no current context */
    kSetupSizeNotTaken = 5,
    kSetupNoSwapInterval = 6,
};
QV_EXTERN_C SInt32 SetupAGL(VisualPluginState *state);

/* Makes no context current, then detaches and destroys state->aglContext if
 * there is one, leaving it null. Safe to call without a context. */
QV_EXTERN_C void CleanupAGL(VisualPluginState *state);

/* The GL state that holds for the life of the context: counter-clockwise
 * front faces, depth test with GL_LESS, blend function source-alpha /
 * one-minus-source-alpha (blending itself stays off), clear colour. Needs the
 * context current. */
QV_EXTERN_C QV_EXPORT void Init(void);

/* Makes state->aglContext current unless it already is, and says whether it
 * is current now (false without a context). With one instance its context
 * stays current from "show" to "hide"; a host that shows several instances,
 * or hides one while another is shown, leaves another context current (or
 * none), and every GL step of an instance starts here. */
bool UseContext(VisualPluginState *state);

/* Restricts drawing to state->destRect (the AGL buffer rectangle), sets the
 * viewport and the camera for it, sets ready to 1 and colorIndex to 0, and
 * draws one frame without audio data. An AGL step that fails prints its line
 * on standard output and the rest goes on. A rectangle without area keeps the
 * viewport and camera it had (its aspect would be undefined). Does nothing
 * while the state has no context. */
QV_EXTERN_C void SetViewport(VisualPluginState *state);

/* Orthographic projection whose shorter side spans -10 to 10 for the width /
 * height ratio `aspect`; stores the edges in scr_left .. scr_bottom and
 * leaves the modelview matrix current. The other six values are ignored. An
 * aspect of 1 or less (negative ones too) gives the width 20 and the height
 * 20 / aspect; one for which that is not finite or has no height (0, infinite,
 * undefined, or small enough to overflow) changes nothing. */
QV_EXTERN_C QV_EXPORT void PosCamera(float aspect, float, float, float, float, float, float);

/* Half the shorter side of the view, world units. */
constexpr float kViewHalfSpan = 10.0f;

/* World coordinates of the edges of the view; 0 until the first PosCamera. */
extern float scr_left, scr_right, scr_top, scr_bottom;

#endif
