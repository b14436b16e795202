/* The frame renderer: one call draws one frame and swaps it to the port.
 * Host thread only; the renderer's statics make it non-reentrant and shared
 * by every instance. */
#ifndef QV_RENDER_FRAMERENDERER_H
#define QV_RENDER_FRAMERENDERER_H

#include "platform/export.h"
#include "render/plugin_state.h"

/* Background colours, one per five-second slot of the clock: red, green,
 * blue for each of five slots. */
QV_EXTERN_C QV_EXPORT const float kavoAdColors[5][3];

/* Draws one frame into state's current context and swaps it. With `hasData`
 * non-zero, `spectrum` points at channel 0 of the spectrum and the 40 lowest
 * of its `numEntries` entries set the bass level; without data (or with no
 * spectrum or no entries) the last level stands. Advances the motion one
 * step. Draws nothing and changes nothing while the state has no context. */
void draw(VisualPluginState *state, UInt8 hasData, UInt16 numEntries, const UInt8 *spectrum);

#endif
