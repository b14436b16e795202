#include "reference.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace qdmp_test {

namespace {

void plot(GuardedMap &m, long h, long v, UInt32 value)
{
    if (m.contains(h, v))
        m.set(h, v, value);
}

long run_start(long h1, long h2)
{
    return std::min(h1, h2);
}

long run_length(long h1, long h2)
{
    return std::labs(h2 - h1);
}

} // namespace

bool ref_pixel_of(const GuardedMap &m, const RGBColor *c, UInt32 *out)
{
    if (m.depth() == 8) {
        const bool hasTable = m.layout().tableEntries >= 0;
        UInt32 best = 255;
        unsigned long long bestD = ~0ull;
        if (c && hasTable) {
            const auto &colors = const_cast<GuardedMap &>(m).colors();
            for (std::size_t i = 0; i < colors.size(); ++i) {
                const long long dr = static_cast<long long>(c->red) - colors[i].red;
                const long long dg = static_cast<long long>(c->green) - colors[i].green;
                const long long db = static_cast<long long>(c->blue) - colors[i].blue;
                const auto d = static_cast<unsigned long long>(dr * dr + dg * dg + db * db);
                if (i == 0 || d < bestD) {
                    bestD = d;
                    best = static_cast<UInt32>(i & 0xFF);
                }
            }
        }
        *out = best;
        return true;
    }
    if (!c)
        return false;
    if (m.depth() == 16)
        *out = ((c->red >> 11) << 10) | ((c->green >> 11) << 5) | (c->blue >> 11);
    else
        *out = (static_cast<UInt32>(c->red >> 8) << 16) | (static_cast<UInt32>(c->green >> 8) << 8) |
               (c->blue >> 8);
    return true;
}

void ref_span(GuardedMap &m, long v, long h1, long h2, UInt32 value)
{
    // Only the columns of the map can be plotted; skip the rest unvisited so
    // that spans 65535 pixels long stay cheap.
    const long first = std::max<long>(run_start(h1, h2), m.bounds().left);
    const long end = std::min<long>(run_start(h1, h2) + run_length(h1, h2), m.bounds().right);
    for (long h = first; h < end; ++h)
        plot(m, h, v, value);
}

void ref_fill_rect(GuardedMap &m, const Rect &r, UInt32 value)
{
    for (long v = r.top; v < r.bottom; ++v)
        ref_span(m, v, r.left, r.right, value);
}

void ref_line(GuardedMap &m, long fromH, long fromV, long toH, long toV, UInt32 value)
{
    long x = fromH, y = fromV;
    const long dx = std::labs(toH - fromH), dy = std::labs(toV - fromV);
    const long sx = toH < fromH ? -1 : 1, sy = toV < fromV ? -1 : 1;
    plot(m, x, y, value);
    if (dy > dx) {
        long err = dy / 2;
        for (long n = 0; n < dy; ++n) {
            y += sy;
            err += dx;
            if (err > dy) {
                err -= dy;
                x += sx;
            }
            plot(m, x, y, value);
        }
    } else {
        long err = dx / 2;
        for (long n = 0; n < dx; ++n) {
            x += sx;
            err += dy;
            if (err > dx) {
                err -= dx;
                y += sy;
            }
            plot(m, x, y, value);
        }
    }
}

void ref_circle_walk(long radius, const std::function<void(long, long)> &visit)
{
    long x = 0, y = radius, d = 3 - 2 * radius;
    while (true) {
        visit(x, y);
        x += 1;
        if (d < 0) {
            d += 4 * x + 6;
        } else {
            d += 4 * (x - y) + 10;
            y -= 1;
        }
        if (x > y)
            break;
    }
}

void ref_draw_circle(GuardedMap &m, long h, long v, long radius, UInt32 value)
{
    // Every mirror image; plotting a point twice is harmless here.
    ref_circle_walk(radius, [&](long x, long y) {
        for (long sx : {-1L, 1L})
            for (long sy : {-1L, 1L}) {
                plot(m, h + sx * x, v + sy * y, value);
                plot(m, h + sx * y, v + sy * x, value);
            }
    });
}

void ref_fill_circle(GuardedMap &m, long h, long v, long radius, UInt32 value)
{
    ref_circle_walk(radius, [&](long x, long y) {
        ref_span(m, v - y, h - x, h + x, value);
        ref_span(m, v + y, h - x, h + x, value);
        ref_span(m, v - x, h - y, h + y, value);
        ref_span(m, v + x, h - y, h + y, value);
    });
}

void ref_copy_rect(const GuardedMap &src, GuardedMap &dst, const Rect &srcRect, const Rect &dstRect)
{
    const Rect &sb = src.bounds(), &db = dst.bounds();
    const long sl = std::max(srcRect.left, sb.left), sr = std::min(srcRect.right, sb.right);
    const long st = std::max(srcRect.top, sb.top), sbot = std::min(srcRect.bottom, sb.bottom);
    const long dl = std::max(dstRect.left, db.left), dr = std::min(dstRect.right, db.right);
    const long dt = std::max(dstRect.top, db.top), dbot = std::min(dstRect.bottom, db.bottom);
    if (sl >= sr || st >= sbot || dl >= dr || dt >= dbot || sr - sl != dr - dl)
        return;
    const long rows = std::min(sbot - st, dbot - dt);
    for (long k = 0; k < rows; ++k) {
        // A row moves as a whole: read all of it before writing.
        std::vector<UInt32> row;
        for (long i = 0; i < sr - sl; ++i)
            row.push_back(src.get(sl + i, st + k));
        for (long i = 0; i < sr - sl; ++i)
            dst.set(dl + i, dt + k, row[static_cast<std::size_t>(i)]);
    }
}

namespace {

template <typename Op>
void paired_run(const GuardedMap &src, GuardedMap &dst, long srcV, long srcH1, long srcH2, long dstV, long dstH1,
                long dstH2, Op op)
{
    if (run_length(srcH1, srcH2) != run_length(dstH1, dstH2))
        return;
    const long s0 = run_start(srcH1, srcH2), d0 = run_start(dstH1, dstH2);
    for (long i = 0; i < run_length(srcH1, srcH2); ++i)
        if (src.contains(s0 + i, srcV) && dst.contains(d0 + i, dstV))
            dst.set(d0 + i, dstV, op(src.get(s0 + i, srcV), dst.get(d0 + i, dstV)));
}

} // namespace

void ref_copy_scan(const GuardedMap &src, GuardedMap &dst, long srcV, long srcH1, long srcH2, long dstV, long dstH1,
                   long dstH2)
{
    paired_run(src, dst, srcV, srcH1, srcH2, dstV, dstH1, dstH2, [](UInt32 s, UInt32) { return s; });
}

UInt32 ref_blend(UInt32 s, UInt32 d)
{
    const UInt32 a = s >> 24;
    const UInt32 sr = (s >> 16) & 0xFF, sg = (s >> 8) & 0xFF, sb = s & 0xFF;
    const UInt32 dr = (d >> 16) & 0xFF, dg = (d >> 8) & 0xFF, db = d & 0xFF;
    const UInt32 r = sr * a / 256 + dr * (255 - a) / 256;
    const UInt32 g = sg * a / 256 + dg * (255 - a) / 256;
    const UInt32 b = sb * a / 256 + db * (255 - a) / 256;
    return (r << 16) | (g << 8) | b;
}

void ref_copy_scan32a(const GuardedMap &src, GuardedMap &dst, long srcV, long srcH1, long srcH2, long dstV,
                      long dstH1, long dstH2)
{
    paired_run(src, dst, srcV, srcH1, srcH2, dstV, dstH1, dstH2, ref_blend);
}

void ref_copy_rect32a(const GuardedMap &src, GuardedMap &dst, const Rect &srcRect, const Rect &dstRect)
{
    const Rect &sb = src.bounds(), &db = dst.bounds();
    long sTop = srcRect.top, sBottom = srcRect.bottom, dTop = dstRect.top, dBottom = dstRect.bottom;
    if (sTop < sb.top) {
        dTop += sb.top - sTop;
        sTop = sb.top;
    }
    if (dTop < db.top) {
        sTop += db.top - dTop;
        dTop = db.top;
    }
    if (sBottom >= sb.bottom) {
        dBottom -= sBottom - sb.bottom;
        sBottom = sb.bottom;
    }
    if (dBottom >= db.bottom) {
        sBottom -= dBottom - db.bottom;
        dBottom = db.bottom;
    }
    for (; sTop < sBottom && dTop < dBottom; ++sTop, ++dTop)
        ref_copy_scan32a(src, dst, sTop, srcRect.left, srcRect.right, dTop, dstRect.left, dstRect.right);
}

unsigned ref_mip_byte(unsigned a, unsigned b, unsigned c, unsigned d)
{
    return (a / 2 + b / 2) / 2 + (c / 2 + d / 2) / 2;
}

UInt32 ref_mip_pixel(UInt32 a, UInt32 b, UInt32 c, UInt32 d)
{
    UInt32 out = 0;
    for (int shift = 0; shift < 32; shift += 8)
        out |= ref_mip_byte((a >> shift) & 0xFF, (b >> shift) & 0xFF, (c >> shift) & 0xFF, (d >> shift) & 0xFF)
               << shift;
    return out;
}

void ref_down_mip(const GuardedMap &src, GuardedMap &dst)
{
    const Rect &sb = src.bounds(), &db = dst.bounds();
    for (long j = 0; 2 * j + 1 < src.height() && j < dst.height(); ++j)
        for (long i = 0; 2 * i + 1 < src.width() && i < dst.width(); ++i)
            dst.set(db.left + i, db.top + j,
                    ref_mip_pixel(src.get(sb.left + 2 * i, sb.top + 2 * j), src.get(sb.left + 2 * i + 1, sb.top + 2 * j),
                                  src.get(sb.left + 2 * i, sb.top + 2 * j + 1),
                                  src.get(sb.left + 2 * i + 1, sb.top + 2 * j + 1)));
}

} // namespace qdmp_test
