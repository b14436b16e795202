#include "platform/export.h"
#include "qdmp/include/qdmp.h"
#include "qdmp/pixel_map.h"

#include <cstddef>

namespace {

using qdmp::Map;

/* Bresenham's walk along the major axis; the minor coordinate steps when the
 * error term exceeds the major extent strictly. Draws 1 + max(|dx|, |dy|)
 * pixels, each stored only if it lies in the map. Differences and the error
 * term are ints, so lines between any two 16-bit points are drawn true. The
 * pixel's byte offset from the map's base is carried along with (x, y) and
 * turned into an address only for pixels inside. */
template <typename Pixel> void draw_line(PixMapHandle pm, int fromH, int fromV, int toH, int toV, Pixel value)
{
    Map m;
    if (!qdmp::open_map<Pixel>(pm, &m))
        return;
    int x = fromH, y = fromV;
    int dx = toH - fromH, dy = toV - fromV;
    int sx = 1, sy = 1;
    if (dx < 0) {
        dx = -dx;
        sx = -1;
    }
    if (dy < 0) {
        dy = -dy;
        sy = -1;
    }
    const std::ptrdiff_t stepH = sx * static_cast<std::ptrdiff_t>(sizeof(Pixel));
    const std::ptrdiff_t stepV = sy * m.rowBytes;
    std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(y - m.top) * m.rowBytes +
                            static_cast<std::ptrdiff_t>(x - m.left) * static_cast<std::ptrdiff_t>(sizeof(Pixel));
    auto plot = [&] {
        if (m.contains(x, y))
            qdmp::store<Pixel>(m.base + offset, value);
    };
    plot();
    if (dy > dx) {
        int err = dy >> 1;
        for (int n = dy; n > 0; --n) {
            y += sy;
            offset += stepV;
            err += dx;
            if (err > dy) {
                err -= dy;
                x += sx;
                offset += stepH;
            }
            plot();
        }
    } else {
        int err = dx >> 1;
        for (int n = dx; n > 0; --n) {
            x += sx;
            offset += stepH;
            err += dy;
            if (err > dx) {
                err -= dx;
                y += sy;
                offset += stepV;
            }
            plot();
        }
    }
}

} // namespace

QV_EXTERN_C QV_EXPORT void QDMP_Draw_Line8(PixMapHandle pm, SInt16 fromH, SInt16 fromV, SInt16 toH, SInt16 toV,
                                           UInt8 value)
{
    draw_line<UInt8>(pm, fromH, fromV, toH, toV, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Draw_Line16(PixMapHandle pm, SInt16 fromH, SInt16 fromV, SInt16 toH, SInt16 toV,
                                            UInt16 value)
{
    draw_line<UInt16>(pm, fromH, fromV, toH, toV, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Draw_Line32(PixMapHandle pm, SInt16 fromH, SInt16 fromV, SInt16 toH, SInt16 toV,
                                            UInt32 value)
{
    draw_line<UInt32>(pm, fromH, fromV, toH, toV, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Draw_Line(PixMapHandle pm, SInt16 fromH, SInt16 fromV, SInt16 toH, SInt16 toV,
                                          const RGBColor *color)
{
    qdmp::with_pixel_for(pm, color, [&](auto value) { draw_line<decltype(value)>(pm, fromH, fromV, toH, toV, value); });
}

QV_EXTERN_C QV_EXPORT void QDMP_Draw_LineP(PixMapHandle pm, Point p1, Point p2, const RGBColor *color)
{
    QDMP_Draw_Line(pm, p1.h, p1.v, p2.h, p2.v, color);
}

QV_EXTERN_C QV_EXPORT void QDMP_Draw_LineP8(PixMapHandle pm, Point p1, Point p2, UInt8 value)
{
    QDMP_Draw_Line8(pm, p1.h, p1.v, p2.h, p2.v, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Draw_LineP16(PixMapHandle pm, Point p1, Point p2, UInt16 value)
{
    QDMP_Draw_Line16(pm, p1.h, p1.v, p2.h, p2.v, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Draw_LineP32(PixMapHandle pm, Point p1, Point p2, UInt32 value)
{
    QDMP_Draw_Line32(pm, p1.h, p1.v, p2.h, p2.v, value);
}
