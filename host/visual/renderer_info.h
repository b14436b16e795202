// What the GL the visual will draw with is and can do.
#pragma once

#include <string>

namespace qvhost {

struct GlRenderer {
    // GL_RENDERER and GL_VERSION, or "none (reason)".
    std::string description;
    // The longest side of a frame it can draw: the smallest of its largest
    // renderbuffer and viewport sides; 0 when no context could be made.
    int largestSide = 0;
};

// Makes a throw-away context the way the visual does, current on the
// calling thread for a moment (no other context may be current there), and
// asks it.
GlRenderer ProbeGlRenderer();

} // namespace qvhost
