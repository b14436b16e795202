/* How the library reaches pixels: a map's geometry read once per call, the
 * address formula, typed loads and stores, and the one place that turns a
 * depth into a pixel type. */
#ifndef QV_QDMP_PIXEL_MAP_H
#define QV_QDMP_PIXEL_MAP_H

#include "platform/mac_types.h"
#include "platform/qd_pixmap.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace qdmp {

template <typename Pixel> constexpr int kDepthOf = static_cast<int>(sizeof(Pixel) * 8);

/* A map as one call sees it. Coordinates are widened to int so that sums of
 * 16-bit values never wrap inside the library. */
struct Map {
    char *base;              // address of the pixel (left, top)
    std::ptrdiff_t rowBytes; // may be negative (rows stored bottom-up)
    int left, top, right, bottom;
    int depth;

    bool contains(int h, int v) const { return h >= left && h < right && v >= top && v < bottom; }
    bool hasRow(int v) const { return v >= top && v < bottom; }
    int width() const { return right - left; }
    int height() const { return bottom - top; }

    /* Address of (h, v); the point need not lie in the map (callers check). */
    char *at(int h, int v, int bytesPerPixel) const
    {
        return base + static_cast<std::ptrdiff_t>(v - top) * rowBytes +
               static_cast<std::ptrdiff_t>(h - left) * bytesPerPixel;
    }
    template <typename Pixel> char *at(int h, int v) const { return at(h, v, static_cast<int>(sizeof(Pixel))); }
};

inline bool usable(PixMapHandle pm)
{
    return pm != nullptr && *pm != nullptr;
}

/* Reads the record behind `pm` through the platform accessors. False (and *m
 * untouched) when the handle is unusable or, with depth non-zero, when the
 * map has another depth. */
bool open_map(PixMapHandle pm, int depth, Map *m);

template <typename Pixel> bool open_map(PixMapHandle pm, Map *m)
{
    return open_map(pm, kDepthOf<Pixel>, m);
}

/* Pixels are read and written through memcpy: a map's base and stride need
 * not be aligned to the pixel size. */
template <typename Pixel> inline Pixel load(const char *p)
{
    Pixel value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <typename Pixel> inline void store(char *p, Pixel value)
{
    std::memcpy(p, &value, sizeof value);
}

/* The checked single-pixel access of the pixel members: the map is looked up
 * afresh on every call; a map of another depth or a point outside reads 0
 * and is not written. */
template <typename Pixel> Pixel get_pixel(PixMapHandle pm, int h, int v)
{
    Map m;
    if (!open_map<Pixel>(pm, &m) || !m.contains(h, v))
        return 0;
    return load<Pixel>(m.at<Pixel>(h, v));
}

template <typename Pixel> void set_pixel(PixMapHandle pm, int h, int v, Pixel value)
{
    Map m;
    if (!open_map<Pixel>(pm, &m) || !m.contains(h, v))
        return;
    store<Pixel>(m.at<Pixel>(h, v), value);
}

/* The depth dispatch: calls f with a zero of the pixel type for 8, 16 or 32
 * bits (f picks its template argument from it); other depths do nothing. */
template <typename F> void for_depth(int depth, F &&f)
{
    switch (depth) {
    case 8:
        f(UInt8{});
        break;
    case 16:
        f(UInt16{});
        break;
    case 32:
        f(UInt32{});
        break;
    default:
        break;
    }
}

/* Colour conversion at the map's depth, chosen by the type of `out`. False
 * when nothing can be drawn: a null colour at 16 or 32 bits (the 8-bit search
 * turns it into 255). */
bool pixel_of(PixMapHandle pm, const RGBColor *color, UInt8 *out);
bool pixel_of(PixMapHandle pm, const RGBColor *color, UInt16 *out);
bool pixel_of(PixMapHandle pm, const RGBColor *color, UInt32 *out);

/* The colour a pixel value stands for in `pm`. */
RGBColor rgb_of(PixMapHandle pm, UInt8 pixel);
RGBColor rgb_of(PixMapHandle pm, UInt16 pixel);
RGBColor rgb_of(PixMapHandle pm, UInt32 pixel);

/* The dispatch of the RGBColor members: converts the colour once for the
 * map's depth and calls f with the pixel value; nothing for an unusable map,
 * another depth, or a colour that cannot be converted. */
template <typename F> void with_pixel_for(PixMapHandle pm, const RGBColor *color, F &&f)
{
    if (!usable(pm))
        return;
    for_depth((*pm)->pixelSize, [&](auto zero) {
        decltype(zero) value;
        if (pixel_of(pm, color, &value))
            f(value);
    });
}

/* Cuts a paired run: pixel i of the run (0 <= i < length) pairs source column
 * s0 + i with destination column d0 + i. Narrows [*first, *last) to the i
 * whose both columns lie in [sLeft, sRight) and [dLeft, dRight). */
inline void cut_paired_run(int s0, int sLeft, int sRight, int d0, int dLeft, int dRight, int length, int *first,
                           int *last)
{
    int lo = 0, hi = length;
    if (sLeft - s0 > lo)
        lo = sLeft - s0;
    if (dLeft - d0 > lo)
        lo = dLeft - d0;
    if (sRight - s0 < hi)
        hi = sRight - s0;
    if (dRight - d0 < hi)
        hi = dRight - d0;
    *first = lo;
    *last = hi;
}

} // namespace qdmp

#endif
