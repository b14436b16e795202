#include "platform/export.h"
#include "qdmp/include/qdmp.h"
#include "qdmp/internal.h"
#include "qdmp/spans.h"

#include <algorithm>
#include <cstddef>

namespace {

using qdmp::Map;

template <typename Pixel> void draw_scan(PixMapHandle pm, int v, int h1, int h2, Pixel value)
{
    Map m;
    if (qdmp::open_map<Pixel>(pm, &m))
        qdmp::fill_span(m, v, h1, h2, value);
}

/* Rows outside the map are skipped whole, so only the rows inside are
 * visited; each is the span (left, right), cut at the map's edges. When the
 * cut span is a whole row of a map without padding, the rows lie end to end
 * and are filled as one block. */
template <typename Pixel> void fill_rect(PixMapHandle pm, const Rect &r, Pixel value)
{
    Map m;
    if (!qdmp::open_map<Pixel>(pm, &m))
        return;
    const int top = std::max<int>(r.top, m.top);
    const int bottom = std::min<int>(r.bottom, m.bottom);
    const int first = std::max<int>(std::min(r.left, r.right), m.left);
    const int last = std::min<int>(std::max(r.left, r.right), m.right);
    if (top >= bottom || first >= last)
        return;
    const std::size_t rowData = static_cast<std::size_t>(last - first) * sizeof(Pixel);
    const UInt32 pattern = qdmp::fill_pattern_of(value);
    const std::ptrdiff_t stride = m.rowBytes;
    if (static_cast<std::size_t>(stride < 0 ? -stride : stride) == rowData) {
        char *lowest = m.at<Pixel>(first, stride > 0 ? top : bottom - 1);
        qdmp::fill_pattern(lowest, rowData * static_cast<std::size_t>(bottom - top), pattern);
        return;
    }
    for (int v = top; v < bottom; ++v)
        qdmp::fill_pattern(m.at<Pixel>(first, v), rowData, pattern);
}

} // namespace

void Draw_Scan8(PixMapHandle pm, SInt16 v, SInt16 h1, SInt16 h2, UInt8 value)
{
    draw_scan<UInt8>(pm, v, h1, h2, value);
}

void Draw_Scan16(PixMapHandle pm, SInt16 v, SInt16 h1, SInt16 h2, UInt16 value)
{
    draw_scan<UInt16>(pm, v, h1, h2, value);
}

void Draw_Scan32(PixMapHandle pm, SInt16 v, SInt16 h1, SInt16 h2, UInt32 value)
{
    draw_scan<UInt32>(pm, v, h1, h2, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Fill_Rect8(PixMapHandle pm, Rect r, UInt8 value)
{
    fill_rect<UInt8>(pm, r, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Fill_Rect16(PixMapHandle pm, Rect r, UInt16 value)
{
    fill_rect<UInt16>(pm, r, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Fill_Rect32(PixMapHandle pm, Rect r, UInt32 value)
{
    fill_rect<UInt32>(pm, r, value);
}

QV_EXTERN_C QV_EXPORT void QDMP_Fill_Rect(PixMapHandle pm, Rect r, const RGBColor *color)
{
    qdmp::with_pixel_for(pm, color, [&](auto value) { fill_rect<decltype(value)>(pm, r, value); });
}
