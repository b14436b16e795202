#include "host/visual/renderer_info.h"

#include "platform/agl.h"
#include "platform/qd_port.h"

namespace qvhost {

std::string GlRendererDescription()
{
    const GLint attributes[] = {AGL_RGBA, AGL_DOUBLEBUFFER, AGL_DEPTH_SIZE, 16, AGL_NONE};
    AGLPixelFormat format = aglChoosePixelFormat(nullptr, 0, attributes);
    if (!format)
        return "none (no pixel format for the visual)";
    AGLContext context = aglCreateContext(format, nullptr);
    aglDestroyPixelFormat(format);
    if (!context)
        return "none (no GL context could be made)";
    std::string description = "none (the GL context cannot be made current)";
    if (aglSetCurrentContext(context)) {
        const GLubyte *renderer = glGetString(GL_RENDERER);
        const GLubyte *version = glGetString(GL_VERSION);
        description = renderer ? reinterpret_cast<const char *>(renderer) : "unknown";
        if (version)
            description += std::string(", OpenGL ") + reinterpret_cast<const char *>(version);
        aglSetCurrentContext(nullptr);
    }
    aglDestroyContext(context);
    return description;
}

} // namespace qvhost
