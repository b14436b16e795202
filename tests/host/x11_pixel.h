// Reading a window's pixels back from the X server (kept apart: Xlib's
// macros clash with GoogleTest's names).
#pragma once

#include <string>

namespace qvhosttest {

// The 24-bit colour at (x, y) of window `id` on `display`, or -1 if it cannot
// be read.
long WindowPixel(const std::string &display, unsigned long id, int x, int y);

} // namespace qvhosttest
