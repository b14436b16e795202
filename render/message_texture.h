/* The message image and its texture, drawn in the bottom-right corner.
 *
 * The image: msg_texture_width x msg_texture_height pixels, rows top first,
 * 4 bytes per pixel (red, green, blue, alpha; straight alpha), compiled in
 * from render/msg_image.png. */
#ifndef QV_RENDER_MESSAGETEXTURE_H
#define QV_RENDER_MESSAGETEXTURE_H

#include "platform/export.h"
#include "render/plugin_state.h"

QV_EXTERN_C QV_EXPORT const SInt32 msg_texture_width;
QV_EXTERN_C QV_EXPORT const SInt32 msg_texture_height;
QV_EXTERN_C QV_EXPORT const UInt8 msg_texture_bitmap[];

/* Generates state->msgTexture and uploads the image with its mipmaps; leaves
 * the name 0 (and makes nothing) when GL yields no name. Needs the state's
 * context current. */
void CreateMessageTexture(VisualPluginState *state);

/* Deletes the texture if there is one and sets the name to 0. The context
 * that holds it must still be current. */
void DeleteMessageTexture(VisualPluginState *state);

#endif
