#include "platform/export.h"
#include "qdmp/include/qdmp.h"

#include <cmath>

namespace {

/* w and f are single precision; each product and the sum are rounded to
 * single precision (the library is built without contracting them into a
 * fused multiply-add). The sum lies within +-3 x 65535, so it converts to an
 * int exactly after truncation. */
UInt16 mix_channel(UInt16 a, UInt16 b, float w, float f)
{
    const float pa = static_cast<float>(a) * w;
    const float pb = static_cast<float>(b) * f;
    const float sum = pa + pb;
    return static_cast<UInt16>(static_cast<SInt32>(sum));
}

} // namespace

QV_EXTERN_C QV_EXPORT RGBColor QDMP_Mix_RGBColors(RGBColor c1, RGBColor c2, float t)
{
    // Only the fractional part of t counts, with its sign; a t that is not
    // finite has none and leaves c1.
    const float f = std::isfinite(t) ? t - std::trunc(t) : 0.0f;
    const float w = 1.0f - f;
    RGBColor out;
    out.red = mix_channel(c1.red, c2.red, w, f);
    out.green = mix_channel(c1.green, c2.green, w, f);
    out.blue = mix_channel(c1.blue, c2.blue, w, f);
    return out;
}

QV_EXTERN_C QV_EXPORT UInt32 QDMP_RGBColorDistance(RGBColor a, RGBColor b)
{
    // Up to 3 x 65535^2: beyond 32 bits, exact in a 64-bit integer and in a
    // double.
    const long long dr = static_cast<long long>(a.red) - b.red;
    const long long dg = static_cast<long long>(a.green) - b.green;
    const long long db = static_cast<long long>(a.blue) - b.blue;
    return static_cast<UInt32>(std::sqrt(static_cast<double>(dr * dr + dg * dg + db * db)));
}
