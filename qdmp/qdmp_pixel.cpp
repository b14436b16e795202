#include "platform/export.h"
#include "qdmp/include/qdmp.h"
#include "qdmp/internal.h"
#include "qdmp/pixel_map.h"

using qdmp::get_pixel;
using qdmp::set_pixel;

QV_EXTERN_C QV_EXPORT UInt8 QDMP_Get_Pixel8(PixMapHandle pm, SInt16 h, SInt16 v)
{
    return get_pixel<UInt8>(pm, h, v);
}

QV_EXTERN_C QV_EXPORT UInt16 QDMP_Get_Pixel16(PixMapHandle pm, SInt16 h, SInt16 v)
{
    return get_pixel<UInt16>(pm, h, v);
}

QV_EXTERN_C QV_EXPORT UInt32 QDMP_Get_Pixel32(PixMapHandle pm, SInt16 h, SInt16 v)
{
    return get_pixel<UInt32>(pm, h, v);
}

QV_EXTERN_C QV_EXPORT void QDMP_Set_Pixel8(PixMapHandle pm, SInt16 h, SInt16 v, UInt8 value)
{
    set_pixel<UInt8>(pm, h, v, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Set_Pixel16(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 value)
{
    set_pixel<UInt16>(pm, h, v, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Set_Pixel32(PixMapHandle pm, SInt16 h, SInt16 v, UInt32 value)
{
    set_pixel<UInt32>(pm, h, v, value);
}

QV_EXTERN_C QV_EXPORT RGBColor QDMP_Get_Pixel(PixMapHandle pm, SInt16 h, SInt16 v)
{
    RGBColor color{0, 0, 0};
    if (!qdmp::usable(pm))
        return color;
    // A point outside the map reads as pixel 0: black at 16 and 32 bits,
    // table entry 0 at 8 bits.
    qdmp::for_depth((*pm)->pixelSize, [&](auto zero) {
        using Pixel = decltype(zero);
        color = qdmp::rgb_of(pm, get_pixel<Pixel>(pm, h, v));
    });
    return color;
}

QV_EXTERN_C QV_EXPORT void QDMP_Set_Pixel(PixMapHandle pm, SInt16 h, SInt16 v, const RGBColor *color)
{
    qdmp::with_pixel_for(pm, color, [&](auto value) { set_pixel<decltype(value)>(pm, h, v, value); });
}

QV_EXTERN_C QV_EXPORT UInt8 QDMP_Get_PixelP8(PixMapHandle pm, Point pt)
{
    return QDMP_Get_Pixel8(pm, pt.h, pt.v);
}

QV_EXTERN_C QV_EXPORT UInt16 QDMP_Get_PixelP16(PixMapHandle pm, Point pt)
{
    return QDMP_Get_Pixel16(pm, pt.h, pt.v);
}

QV_EXTERN_C QV_EXPORT UInt32 QDMP_Get_PixelP32(PixMapHandle pm, Point pt)
{
    return QDMP_Get_Pixel32(pm, pt.h, pt.v);
}

QV_EXTERN_C QV_EXPORT RGBColor QDMP_Get_PixelP(PixMapHandle pm, Point pt)
{
    return QDMP_Get_Pixel(pm, pt.h, pt.v);
}

QV_EXTERN_C QV_EXPORT void QDMP_Set_PixelP8(PixMapHandle pm, Point pt, UInt8 value)
{
    QDMP_Set_Pixel8(pm, pt.h, pt.v, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Set_PixelP16(PixMapHandle pm, Point pt, UInt16 value)
{
    QDMP_Set_Pixel16(pm, pt.h, pt.v, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Set_PixelP32(PixMapHandle pm, Point pt, UInt32 value)
{
    QDMP_Set_Pixel32(pm, pt.h, pt.v, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Set_PixelP(PixMapHandle pm, Point pt, const RGBColor *color)
{
    QDMP_Set_Pixel(pm, pt.h, pt.v, color);
}
