#include "platform/export.h"
#include "platform/multiprocessing.h"
#include "qdmp/copy_runs.h"
#include "qdmp/include/qdmp.h"
#include "qdmp/pixel_map.h"

#include <algorithm>

namespace {

using qdmp::Map;
using qdmp::run_of;

/* Each rectangle is clipped to its own map, independently; the clipped widths
 * must match. Rows are paired from the two clipped tops and each is moved
 * whole by the platform's block copy, which is safe for overlapping areas.
 * The row byte count is a long: rows of any 16-bit width copy whole. */
template <typename Pixel> void copy_rect(PixMapHandle src, PixMapHandle dst, const Rect *srcRect, const Rect *dstRect)
{
    Map s, d;
    if (!srcRect || !dstRect || !qdmp::open_map<Pixel>(src, &s) || !qdmp::open_map<Pixel>(dst, &d))
        return;
    Rect sc, dc;
    if (!QDMP_Intersect_Rects(srcRect, &(*src)->bounds, &sc) || !QDMP_Intersect_Rects(dstRect, &(*dst)->bounds, &dc))
        return;
    const int width = sc.right - sc.left;
    if (width != dc.right - dc.left)
        return;
    const int rows = std::min(sc.bottom - sc.top, dc.bottom - dc.top);
    const long bytes = static_cast<long>(width) * static_cast<long>(sizeof(Pixel));
    const char *from = s.at<Pixel>(sc.left, sc.top);
    char *to = d.at<Pixel>(dc.left, dc.top);
    for (int row = 0; row < rows; ++row) {
        MPBlockCopy(from, to, bytes);
        if (row + 1 < rows) {
            from += s.rowBytes;
            to += d.rowBytes;
        }
    }
}

/* Pixel pairs of equal-length runs, in the pairing of the request, with the
 * pairs that fall outside either map left out. Copies left to right, so an
 * overlapping copy within one row behaves as the pixel-by-pixel order says. */
template <typename Pixel>
void copy_scan(PixMapHandle src, PixMapHandle dst, int srcV, int srcH1, int srcH2, int dstV, int dstH1, int dstH2)
{
    Map s, d;
    if (!qdmp::open_map<Pixel>(src, &s) || !qdmp::open_map<Pixel>(dst, &d) || !s.hasRow(srcV) || !d.hasRow(dstV))
        return;
    const qdmp::Run sr = run_of(srcH1, srcH2), dr = run_of(dstH1, dstH2);
    if (sr.length != dr.length)
        return;
    int first, last;
    qdmp::cut_paired_run(sr.start, s.left, s.right, dr.start, d.left, d.right, sr.length, &first, &last);
    if (first >= last)
        return;
    const char *from = s.at<Pixel>(sr.start + first, srcV);
    char *to = d.at<Pixel>(dr.start + first, dstV);
    for (int i = 0; i < last - first; ++i)
        qdmp::store<Pixel>(to + i * sizeof(Pixel), qdmp::load<Pixel>(from + i * sizeof(Pixel)));
}

/* The one depth dispatch of the copies: both maps must have the same depth. */
template <typename Copy> void dispatch_copy(PixMapHandle src, PixMapHandle dst, Copy &&copy)
{
    if (!qdmp::usable(src) || !qdmp::usable(dst) || (*src)->pixelSize != (*dst)->pixelSize)
        return;
    qdmp::for_depth((*src)->pixelSize, copy);
}

} // namespace

QV_EXTERN_C QV_EXPORT void QDMP_Copy_Rect8(PixMapHandle src, PixMapHandle dst, const Rect *srcRect, const Rect *dstRect)
{
    copy_rect<UInt8>(src, dst, srcRect, dstRect);
}

QV_EXTERN_C QV_EXPORT void QDMP_Copy_Rect16(PixMapHandle src, PixMapHandle dst, const Rect *srcRect,
                                            const Rect *dstRect)
{
    copy_rect<UInt16>(src, dst, srcRect, dstRect);
}

QV_EXTERN_C QV_EXPORT void QDMP_Copy_Rect32(PixMapHandle src, PixMapHandle dst, const Rect *srcRect,
                                            const Rect *dstRect)
{
    copy_rect<UInt32>(src, dst, srcRect, dstRect);
}

QV_EXTERN_C QV_EXPORT void QDMP_Copy_Rect(PixMapHandle src, PixMapHandle dst, const Rect *srcRect, const Rect *dstRect)
{
    dispatch_copy(src, dst, [&](auto zero) { copy_rect<decltype(zero)>(src, dst, srcRect, dstRect); });
}

QV_EXTERN_C QV_EXPORT void QDMP_Copy_Scan8(PixMapHandle src, PixMapHandle dst, SInt16 srcV, SInt16 srcH1, SInt16 srcH2,
                                           SInt16 dstV, SInt16 dstH1, SInt16 dstH2)
{
    copy_scan<UInt8>(src, dst, srcV, srcH1, srcH2, dstV, dstH1, dstH2);
}

QV_EXTERN_C QV_EXPORT void QDMP_Copy_Scan16(PixMapHandle src, PixMapHandle dst, SInt16 srcV, SInt16 srcH1, SInt16 srcH2,
                                            SInt16 dstV, SInt16 dstH1, SInt16 dstH2)
{
    copy_scan<UInt16>(src, dst, srcV, srcH1, srcH2, dstV, dstH1, dstH2);
}

QV_EXTERN_C QV_EXPORT void QDMP_Copy_Scan32(PixMapHandle src, PixMapHandle dst, SInt16 srcV, SInt16 srcH1, SInt16 srcH2,
                                            SInt16 dstV, SInt16 dstH1, SInt16 dstH2)
{
    copy_scan<UInt32>(src, dst, srcV, srcH1, srcH2, dstV, dstH1, dstH2);
}

QV_EXTERN_C QV_EXPORT void QDMP_Copy_Scan(PixMapHandle src, PixMapHandle dst, SInt16 srcV, SInt16 srcH1, SInt16 srcH2,
                                          SInt16 dstV, SInt16 dstH1, SInt16 dstH2)
{
    dispatch_copy(src, dst,
                  [&](auto zero) { copy_scan<decltype(zero)>(src, dst, srcV, srcH1, srcH2, dstV, dstH1, dstH2); });
}
