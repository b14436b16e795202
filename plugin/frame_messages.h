/* The handler's window and frame messages: "show", "swin", "hide", "vrnd",
 * "null", and the release of the scene and message texture. Host thread only. */
#ifndef QV_PLUGIN_FRAMEMESSAGES_H
#define QV_PLUGIN_FRAMEMESSAGES_H

#include "plugin/host_records.h"
#include "render/plugin_state.h"

/* "show" answers a status below kShowContextErrBase when no GL context could
 * be made current: kShowContextErrBase - step, the failing step of SetupAGL
 * (1 no pixel format, 2 no context, 3 not attached to the port, 4 not made
 * current). It answers memFullErr when the scene cannot be allocated. Either
 * way nothing is left built and `ready` is 0. */
enum { kShowContextErrBase = -3000 };

/* Each returns the handler's status for the message. `state` is non-null;
 * the record pointers are non-null (the dispatcher checks both). */
OSStatus ShowWindow(VisualPluginState *state, const WindowRecord *record);
OSStatus SetWindow(VisualPluginState *state, const WindowRecord *record);
OSStatus HideWindow(VisualPluginState *state);
/* `record` may be null: a render message without a record draws nothing. */
OSStatus RenderFrame(VisualPluginState *state, const RenderMessageRecord *record);
OSStatus IdleFrame(VisualPluginState *state);

/* Destroys the scene (polys) and deletes the message texture, leaving polys
 * null and msgTexture 0. Does nothing for what is already gone. */
void ReleaseSceneAndTexture(VisualPluginState *state);

#endif
