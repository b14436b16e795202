#include "x11_pixel.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace qvhosttest {

long WindowPixel(const std::string &display, unsigned long id, int x, int y)
{
    Display *d = XOpenDisplay(display.c_str());
    if (!d)
        return -1;
    long pixel = -1;
    if (XImage *img = XGetImage(d, id, x, y, 1, 1, AllPlanes, ZPixmap)) {
        pixel = static_cast<long>(XGetPixel(img, 0, 0) & 0xFFFFFF);
        XDestroyImage(img);
    }
    XCloseDisplay(d);
    return pixel;
}

} // namespace qvhosttest
