// What --version reports about the GL the visual will draw with.
#pragma once

#include <string>

namespace qvhost {

// Makes a throw-away context the way the visual does and returns its
// GL_RENDERER and GL_VERSION, or "none (reason)".
std::string GlRendererDescription();

} // namespace qvhost
