#include "render/message_texture.h"

#include <GL/gl.h>
#include <GL/glu.h>

void CreateMessageTexture(VisualPluginState *state)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    state->msgTexture = name;
    if (name == 0)
        return; // frames are drawn without the message
    glBindTexture(GL_TEXTURE_2D, name);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_MODULATE));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    // Scales the image to power-of-two sizes and builds every level; a
    // failure leaves an incomplete texture, which draws as no texture.
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA8, msg_texture_width, msg_texture_height, GL_RGBA, GL_UNSIGNED_BYTE,
                      msg_texture_bitmap);
}

void DeleteMessageTexture(VisualPluginState *state)
{
    if (state->msgTexture == 0)
        return;
    GLuint name = state->msgTexture;
    glDeleteTextures(1, &name);
    state->msgTexture = 0;
}
