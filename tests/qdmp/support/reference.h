/* Slow, per-pixel statements of what the library's drawing and copying calls
 * do, written against GuardedMap's checked accessors: every pixel is tested
 * against the map on its own, so the fast paths' clipping, addressing and
 * vector forms can be checked against them. Arithmetic is in long, so no
 * 16-bit sum wraps. */
#ifndef QV_TESTS_QDMP_REFERENCE_H
#define QV_TESTS_QDMP_REFERENCE_H

#include "guarded_map.h"

#include <functional>

namespace qdmp_test {

/* The pixel value the library's colour members write at the map's depth:
 * nearest table entry at 8 bits (255 without a usable table or colour),
 * 5 or 8 top bits per channel otherwise. False for a null colour at 16/32. */
bool ref_pixel_of(const GuardedMap &m, const RGBColor *c, UInt32 *out);

/* Pixel i of a span or run from min(h1, h2), |h2 - h1| of them. */
void ref_span(GuardedMap &m, long v, long h1, long h2, UInt32 value);
void ref_fill_rect(GuardedMap &m, const Rect &r, UInt32 value);
void ref_line(GuardedMap &m, long fromH, long fromV, long toH, long toV, UInt32 value);

/* Calls visit(x, y) for the circle walk's points of the eighth from the top. */
void ref_circle_walk(long radius, const std::function<void(long, long)> &visit);
void ref_draw_circle(GuardedMap &m, long h, long v, long radius, UInt32 value);
void ref_fill_circle(GuardedMap &m, long h, long v, long radius, UInt32 value);

/* Copies between maps of equal depth (src and dst may be the same map). */
void ref_copy_rect(const GuardedMap &src, GuardedMap &dst, const Rect &srcRect, const Rect &dstRect);
void ref_copy_scan(const GuardedMap &src, GuardedMap &dst, long srcV, long srcH1, long srcH2, long dstV, long dstH1,
                   long dstH2);

/* One source pixel blended over one destination pixel. */
UInt32 ref_blend(UInt32 s, UInt32 d);
void ref_copy_rect32a(const GuardedMap &src, GuardedMap &dst, const Rect &srcRect, const Rect &dstRect);
void ref_copy_scan32a(const GuardedMap &src, GuardedMap &dst, long srcV, long srcH1, long srcH2, long dstV,
                      long dstH1, long dstH2);

/* One reduced byte from four source bytes, and the whole reduction. */
unsigned ref_mip_byte(unsigned a, unsigned b, unsigned c, unsigned d);
UInt32 ref_mip_pixel(UInt32 a, UInt32 b, UInt32 c, UInt32 d);
void ref_down_mip(const GuardedMap &src, GuardedMap &dst);

} // namespace qdmp_test

#endif
