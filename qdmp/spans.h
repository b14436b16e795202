/* Horizontal spans, the building block of the filled shapes. */
#ifndef QV_QDMP_SPANS_H
#define QV_QDMP_SPANS_H

#include "qdmp/kernels.h"
#include "qdmp/pixel_map.h"

#include <algorithm>

namespace qdmp {

/* Fills the span of row v from min(h1, h2) to max(h1, h2) - 1 in an open map
 * of the pixel's depth, cut at the map's left and right edges; nothing for a
 * row outside the map. Ends are ints so that spans computed from 16-bit
 * centres and radii never wrap. */
template <typename Pixel> void fill_span(const Map &m, int v, int h1, int h2, Pixel value)
{
    if (!m.hasRow(v))
        return;
    const int first = std::max(std::min(h1, h2), m.left);
    const int last = std::min(std::max(h1, h2), m.right);
    if (first >= last)
        return;
    fill_pattern(m.at<Pixel>(first, v), static_cast<std::size_t>(last - first) * sizeof(Pixel), fill_pattern_of(value));
}

} // namespace qdmp

#endif
