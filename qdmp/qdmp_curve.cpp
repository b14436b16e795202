#include "platform/export.h"
#include "qdmp/include/qdmp.h"
#include "qdmp/internal.h"

UInt32 distance_squared(Point a, Point b)
{
    const auto dh = static_cast<SInt16>(a.h - b.h);
    const auto dv = static_cast<SInt16>(a.v - b.v);
    return static_cast<UInt32>(SInt32{dh} * dh) + static_cast<UInt32>(SInt32{dv} * dv);
}

namespace {

/* Pieces whose ends lie within 10 pixels (squared distance at most 100) are
 * drawn as their two control legs. Each level about halves the distance
 * between a piece's ends, so 16-bit coordinates need at most about 15
 * levels. */
constexpr UInt32 kFlatEnough = 100;

void draw_curve(PixMapHandle pm, Point p0, Point p1, Point p2, const RGBColor *color)
{
    const Point m01 = QDMP_MidPoint(p0, p1);
    const Point m12 = QDMP_MidPoint(p1, p2);
    const Point mid = QDMP_MidPoint(m01, m12);
    if (distance_squared(p0, mid) > kFlatEnough) {
        draw_curve(pm, p0, m01, mid, color);
    } else {
        QDMP_Draw_Line(pm, p0.h, p0.v, m01.h, m01.v, color);
        QDMP_Draw_Line(pm, m01.h, m01.v, mid.h, mid.v, color);
    }
    if (distance_squared(mid, p2) > kFlatEnough) {
        draw_curve(pm, mid, m12, p2, color);
    } else {
        QDMP_Draw_Line(pm, mid.h, mid.v, m12.h, m12.v, color);
        QDMP_Draw_Line(pm, m12.h, m12.v, p2.h, p2.v, color);
    }
}

} // namespace

QV_EXTERN_C QV_EXPORT void QDMP_Draw_Curve(PixMapHandle pm, Point p0, Point p1, Point p2, const RGBColor *color)
{
    draw_curve(pm, p0, p1, p2, color);
}
