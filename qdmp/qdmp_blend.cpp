#include "platform/export.h"
#include "qdmp/copy_runs.h"
#include "qdmp/include/qdmp.h"
#include "qdmp/kernels.h"
#include "qdmp/pixel_map.h"

#include <cstdint>

namespace {

using qdmp::Map;

/* Blends one row of n pixels. The vector kernels read several pixels ahead of
 * what they write, so runs that overlap without coinciding go pixel by pixel
 * from the left, the order the copy promises. */
void blend_row(const char *from, char *to, int n)
{
    const auto f = reinterpret_cast<std::uintptr_t>(from);
    const auto t = reinterpret_cast<std::uintptr_t>(to);
    const std::uintptr_t bytes = static_cast<std::uintptr_t>(n) * 4;
    if (f != t && f < t + bytes && t < f + bytes) {
        for (int i = 0; i < n; ++i)
            qdmp::store<UInt32>(to + 4 * i,
                                qdmp::blend_pixel(qdmp::load<UInt32>(from + 4 * i), qdmp::load<UInt32>(to + 4 * i)));
        return;
    }
    qdmp::blend_run(from, to, n);
}

/* Rows stay paired while the tops and bottoms are clipped to the maps; the
 * columns of the equal-width runs are cut to both maps in the same pairing. */
void copy_rect32a(PixMapHandle src, PixMapHandle dst, const Rect *srcRect, const Rect *dstRect)
{
    Map s, d;
    if (!srcRect || !dstRect || !qdmp::open_map<UInt32>(src, &s) || !qdmp::open_map<UInt32>(dst, &d))
        return;
    int sTop = srcRect->top, sBottom = srcRect->bottom;
    int dTop = dstRect->top, dBottom = dstRect->bottom;
    if (sTop < s.top) {
        dTop += s.top - sTop;
        sTop = s.top;
    }
    if (dTop < d.top) {
        sTop += d.top - dTop;
        dTop = d.top;
    }
    if (sBottom >= s.bottom) {
        dBottom -= sBottom - s.bottom;
        sBottom = s.bottom;
    }
    if (dBottom >= d.bottom) {
        sBottom -= dBottom - d.bottom;
        dBottom = d.bottom;
    }
    const qdmp::Run sr = qdmp::run_of(srcRect->left, srcRect->right);
    const qdmp::Run dr = qdmp::run_of(dstRect->left, dstRect->right);
    if (sr.length != dr.length)
        return;
    int first, last;
    qdmp::cut_paired_run(sr.start, s.left, s.right, dr.start, d.left, d.right, sr.length, &first, &last);
    if (first >= last)
        return;
    for (; sTop < sBottom && dTop < dBottom; ++sTop, ++dTop)
        blend_row(s.at<UInt32>(sr.start + first, sTop), d.at<UInt32>(dr.start + first, dTop), last - first);
}

void copy_scan32a(PixMapHandle src, PixMapHandle dst, int srcV, int srcH1, int srcH2, int dstV, int dstH1, int dstH2)
{
    Map s, d;
    if (!qdmp::open_map<UInt32>(src, &s) || !qdmp::open_map<UInt32>(dst, &d) || !s.hasRow(srcV) || !d.hasRow(dstV))
        return;
    const qdmp::Run sr = qdmp::run_of(srcH1, srcH2), dr = qdmp::run_of(dstH1, dstH2);
    if (sr.length != dr.length)
        return;
    int first, last;
    qdmp::cut_paired_run(sr.start, s.left, s.right, dr.start, d.left, d.right, sr.length, &first, &last);
    if (first < last)
        blend_row(s.at<UInt32>(sr.start + first, srcV), d.at<UInt32>(dr.start + first, dstV), last - first);
}

} // namespace

QV_EXTERN_C QV_EXPORT void QDMP_Copy_Rect32A(PixMapHandle src, PixMapHandle dst, const Rect *srcRect,
                                             const Rect *dstRect)
{
    copy_rect32a(src, dst, srcRect, dstRect);
}

QV_EXTERN_C QV_EXPORT void QDMP_Copy_Scan32A(PixMapHandle src, PixMapHandle dst, SInt16 srcV, SInt16 srcH1,
                                             SInt16 srcH2, SInt16 dstV, SInt16 dstH1, SInt16 dstH2)
{
    copy_scan32a(src, dst, srcV, srcH1, srcH2, dstV, dstH1, dstH2);
}
