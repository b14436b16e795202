#include "host/visual/renderer_info.h"

#include <algorithm>

#include "platform/agl.h"
#include "platform/qd_port.h"

namespace qvhost {

GlRenderer ProbeGlRenderer()
{
    const GLint attributes[] = {AGL_RGBA, AGL_DOUBLEBUFFER, AGL_DEPTH_SIZE, 16, AGL_NONE};
    AGLPixelFormat format = aglChoosePixelFormat(nullptr, 0, attributes);
    if (!format)
        return {"none (no pixel format for the visual)"};
    AGLContext context = aglCreateContext(format, nullptr);
    aglDestroyPixelFormat(format);
    if (!context)
        return {"none (no GL context could be made)"};
    GlRenderer gl{"none (the GL context cannot be made current)"};
    if (aglSetCurrentContext(context)) {
        const GLubyte *renderer = glGetString(GL_RENDERER);
        const GLubyte *version = glGetString(GL_VERSION);
        gl.description = renderer ? reinterpret_cast<const char *>(renderer) : "unknown";
        if (version)
            gl.description += std::string(", OpenGL ") + reinterpret_cast<const char *>(version);
        GLint renderbuffer = 0, viewport[2] = {0, 0};
        glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
        glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
        gl.largestSide = std::min({static_cast<int>(renderbuffer), static_cast<int>(viewport[0]),
                                   static_cast<int>(viewport[1]), static_cast<int>(kQVPortMaxSide)});
        aglSetCurrentContext(nullptr);
    }
    aglDestroyContext(context);
    return gl;
}

} // namespace qvhost
