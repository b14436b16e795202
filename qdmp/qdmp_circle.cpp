#include "platform/export.h"
#include "qdmp/include/qdmp.h"
#include "qdmp/spans.h"

namespace {

using qdmp::Map;

/* The eighth of the circle from the top, clockwise: visit(x, y) for each
 * step while x <= y. x is increased before the decision term is updated,
 * which draws slightly tighter than the textbook midpoint circle. ints hold
 * every term for radii up to 65535. */
template <typename Visit> void walk_octant(int radius, Visit &&visit)
{
    int x = 0, y = radius, d = 3 - 2 * radius;
    do {
        visit(x, y);
        ++x;
        if (d < 0) {
            d += 4 * x + 6;
        } else {
            d += 4 * (x - y) + 10;
            --y;
        }
    } while (x <= y);
}

/* Each point through the checked per-pixel setter; the guards keep every
 * mirror image from being plotted twice. */
template <typename Pixel> void draw_circle(PixMapHandle pm, int h, int v, int radius, Pixel value)
{
    auto plot = [&](int ph, int pv) { qdmp::set_pixel<Pixel>(pm, ph, pv, value); };
    walk_octant(radius, [&](int x, int y) {
        plot(h - x, v - y);
        if (y != 0)
            plot(h - x, v + y);
        if (x != 0) {
            plot(h + x, v - y);
            if (y != 0)
                plot(h + x, v + y);
        }
        if (x != y) {
            plot(h - y, v - x);
            if (x != 0)
                plot(h - y, v + x);
            if (y != 0) {
                plot(h + y, v - x);
                if (x != 0)
                    plot(h + y, v + x);
            }
        }
    });
}

/* Spans between mirror points; by the span rule each reaches from h - x to
 * h + x - 1, and rows of half-width 0 draw nothing. */
template <typename Pixel> void fill_circle(PixMapHandle pm, int h, int v, int radius, Pixel value)
{
    Map m;
    if (!qdmp::open_map<Pixel>(pm, &m))
        return;
    walk_octant(radius, [&](int x, int y) {
        qdmp::fill_span(m, v - y, h - x, h + x, value);
        if (y != 0)
            qdmp::fill_span(m, v + y, h - x, h + x, value);
        qdmp::fill_span(m, v - x, h - y, h + y, value);
        if (x != 0)
            qdmp::fill_span(m, v + x, h - y, h + y, value);
    });
}

} // namespace

QV_EXTERN_C QV_EXPORT void QDMP_Draw_Circle8(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 radius, UInt8 value)
{
    draw_circle<UInt8>(pm, h, v, radius, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Draw_Circle16(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 radius, UInt16 value)
{
    draw_circle<UInt16>(pm, h, v, radius, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Draw_Circle32(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 radius, UInt32 value)
{
    draw_circle<UInt32>(pm, h, v, radius, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Fill_Circle8(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 radius, UInt8 value)
{
    fill_circle<UInt8>(pm, h, v, radius, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Fill_Circle16(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 radius, UInt16 value)
{
    fill_circle<UInt16>(pm, h, v, radius, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Fill_Circle32(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 radius, UInt32 value)
{
    fill_circle<UInt32>(pm, h, v, radius, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Draw_Circle(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 radius, const RGBColor *color)
{
    qdmp::with_pixel_for(pm, color, [&](auto value) { draw_circle<decltype(value)>(pm, h, v, radius, value); });
}

QV_EXTERN_C QV_EXPORT void QDMP_Fill_Circle(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 radius, const RGBColor *color)
{
    qdmp::with_pixel_for(pm, color, [&](auto value) { fill_circle<decltype(value)>(pm, h, v, radius, value); });
}

QV_EXTERN_C QV_EXPORT void QDMP_Draw_CircleP(PixMapHandle pm, Point centre, UInt16 radius, const RGBColor *color)
{
    QDMP_Draw_Circle(pm, centre.h, centre.v, radius, color);
}

QV_EXTERN_C QV_EXPORT void QDMP_Draw_CircleP8(PixMapHandle pm, Point centre, UInt16 radius, UInt8 value)
{
    QDMP_Draw_Circle8(pm, centre.h, centre.v, radius, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Draw_CircleP16(PixMapHandle pm, Point centre, UInt16 radius, UInt16 value)
{
    QDMP_Draw_Circle16(pm, centre.h, centre.v, radius, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Draw_CircleP32(PixMapHandle pm, Point centre, UInt16 radius, UInt32 value)
{
    QDMP_Draw_Circle32(pm, centre.h, centre.v, radius, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Fill_CircleP(PixMapHandle pm, Point centre, UInt16 radius, const RGBColor *color)
{
    QDMP_Fill_Circle(pm, centre.h, centre.v, radius, color);
}

QV_EXTERN_C QV_EXPORT void QDMP_Fill_CircleP8(PixMapHandle pm, Point centre, UInt16 radius, UInt8 value)
{
    QDMP_Fill_Circle8(pm, centre.h, centre.v, radius, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Fill_CircleP16(PixMapHandle pm, Point centre, UInt16 radius, UInt16 value)
{
    QDMP_Fill_Circle16(pm, centre.h, centre.v, radius, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Fill_CircleP32(PixMapHandle pm, Point centre, UInt16 radius, UInt32 value)
{
    QDMP_Fill_Circle32(pm, centre.h, centre.v, radius, value);
}
