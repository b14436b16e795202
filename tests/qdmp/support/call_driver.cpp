#include "call_driver.h"

#include "platform/qd_pixmap.h"
#include "qdmp/include/qdmp.h"
#include "qdmp/internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace qvtest {

namespace {

/* A pixel of `depth` bits (8, 16, 32) at `p`: a value of that width in the
 * machine's byte order, as the maps hold it. */
UInt32 load_pixel(const void *p, int depth)
{
    UInt8 x8;
    UInt16 x16;
    UInt32 x32;
    void *x = depth == 8 ? static_cast<void *>(&x8) : depth == 16 ? static_cast<void *>(&x16) : &x32;
    std::memcpy(x, p, size_t(depth / 8));
    return depth == 8 ? x8 : depth == 16 ? x16 : x32;
}

void store_pixel(void *p, int depth, UInt32 x)
{
    const UInt8 x8 = UInt8(x);
    const UInt16 x16 = UInt16(x);
    const void *from = depth == 8 ? static_cast<const void *>(&x8) : depth == 16 ? static_cast<const void *>(&x16) : &x;
    std::memcpy(p, from, size_t(depth / 8));
}

/* A map in a buffer whose other bytes (bands around it, `pad` after each row)
 * hold a pattern: its twin, written only by the reference, shows any stray
 * write as a byte that differs. Its first pixel may sit off alignment and its
 * rows bottom-up; 8-bit maps have a table of `entries` colours (or none). */
struct GuardedMap {
    GuardedMap(Rect r, int depth, int pad, int misalign, int entries, bool bottomUp)
        : bounds(r), depth(depth), pad(pad), misalign(misalign), entries(entries), bottomUp(bottomUp),
          stride((r.right - r.left) * depth / 8 + pad), bytes(size_t(128 + misalign + stride * (r.bottom - r.top)))
    {
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<unsigned char>(0xA5 ^ (i * 37));
        for (int e = 0; e < entries; ++e)
            colors.push_back(RGBColor{UInt16(e * 257), UInt16(65535 - e * 257), UInt16(e * 7919)});
        record = PixMap{reinterpret_cast<Ptr>(&bytes[at(r.left, r.top)]), bottomUp ? -stride : stride, r, SInt16(depth),
                        entries < 0 ? nullptr : QVColorTable_New(colors.data(), SInt16(entries))};
    }
    GuardedMap(const GuardedMap &t) : GuardedMap(t.bounds, t.depth, t.pad, t.misalign, t.entries, t.bottomUp)
    {
        std::copy(t.bytes.begin(), t.bytes.end(), bytes.begin());
    }
    ~GuardedMap() { QVColorTable_Dispose(record.pmTable); }

    unsigned long width() const { return unsigned(bounds.right - bounds.left); }
    unsigned long height() const { return unsigned(bounds.bottom - bounds.top); }
    size_t at(long h, long v) const
    {
        const long row = bottomUp ? bounds.bottom - 1 - v : v - bounds.top;
        return size_t(64 + misalign + row * stride + (h - bounds.left) * depth / 8);
    }
    bool contains(long h, long v) const
    {
        return h >= bounds.left && h < bounds.right && v >= bounds.top && v < bounds.bottom;
    }
    UInt32 get(long h, long v) const
    {
        return load_pixel(&bytes[at(h, v)], depth);
    }
    void plot(long h, long v, UInt32 x)
    {
        if (contains(h, v))
            store_pixel(&bytes[at(h, v)], depth, x);
    }

    const Rect bounds;
    const int depth, pad, misalign, entries;
    const bool bottomUp;
    const SInt32 stride;
    std::vector<unsigned char> bytes;
    std::vector<RGBColor> colors;
    PixMap record;
    PixMapPtr master = &record;
};

/* What each call does, pixel by pixel, in long arithmetic. */

/* The pixel a colour member writes: the nearest table entry at 8 bits (the
 * first of equally near ones; 255 with no colour or no entry), else the top 5
 * or 8 bits of each channel. False for a null colour at 16 or 32 bits. */
bool ref_pixel_of(const GuardedMap &m, const RGBColor *c, UInt32 *out)
{
    const int bits = m.depth == 16 ? 5 : 8;
    *out = 255;
    if (m.depth == 8)
        for (unsigned long long i = 0, best = ~0ull; c && i < m.colors.size(); ++i) {
            const long long dr = c->red - m.colors[i].red, dg = c->green - m.colors[i].green,
                            db = c->blue - m.colors[i].blue;
            const unsigned long long distance = static_cast<unsigned long long>(dr * dr + dg * dg + db * db);
            if (distance < best) // up to 3 x 65535^2: wider than 32 bits
                best = distance, *out = UInt32(i);
        }
    else if (c)
        *out = UInt32(c->red >> (16 - bits)) << 2 * bits | UInt32(c->green >> (16 - bits)) << bits |
               c->blue >> (16 - bits);
    return m.depth == 8 || c;
}

/* |h2 - h1| pixels from the smaller end (only those that may lie in the map are visited). */
void ref_span(GuardedMap &m, long v, long h1, long h2, UInt32 x)
{
    const long last = std::min(std::max(h1, h2), long{m.bounds.right});
    for (long h = std::max(std::min(h1, h2), long{m.bounds.left}); h < last; ++h)
        m.plot(h, v, x);
}

/* 1 + max(|dh|, |dv|) pixels; the minor coordinate steps when the error term,
 * starting at half the major extent, passes that extent. */
void ref_line(GuardedMap &m, long h, long v, long toH, long toV, UInt32 x)
{
    const long dh = std::labs(toH - h), dv = std::labs(toV - v), major = std::max(dh, dv);
    const long sh = toH < h ? -1 : 1, sv = toV < v ? -1 : 1;
    m.plot(h, v, x);
    for (long n = 0, err = major / 2; n < major; ++n) {
        err += std::min(dh, dv);
        const bool minor = err > major;
        err -= minor ? major : 0;
        h += dv > dh ? (minor ? sh : 0) : sh;
        v += dv > dh ? sv : (minor ? sv : 0);
        m.plot(h, v, x);
    }
}

/* The eighth of a circle from the top: visit(x, y) while x <= y, x being
 * stepped before the decision term is updated. */
template <typename Visit>
void ref_circle_walk(long rad, Visit visit)
{
    for (long x = 0, y = rad, d = 3 - 2 * rad; x <= y;) {
        visit(x++, y);
        const bool down = d >= 0;
        d += down ? 4 * (x - y) + 10 : 4 * x + 6;
        y -= down;
    }
}

/* Each rectangle clipped to its own map; equal widths; min(heights) rows
 * from the two clipped top-left corners, each row moved whole. */
void ref_copy_rect(const GuardedMap &src, GuardedMap &dst, const Rect &s, const Rect &d)
{
    const Rect &a = src.bounds, &b = dst.bounds;
    const long sl = std::max(s.left, a.left), sr = std::min(s.right, a.right), st = std::max(s.top, a.top),
               sb = std::min(s.bottom, a.bottom), dl = std::max(d.left, b.left), dr = std::min(d.right, b.right),
               dt = std::max(d.top, b.top), db = std::min(d.bottom, b.bottom);
    for (long k = 0; sl < sr && dl < dr && sr - sl == dr - dl && k < std::min(sb - st, db - dt); ++k) {
        std::vector<UInt32> row;
        for (long i = sl; i < sr; ++i)
            row.push_back(src.get(i, st + k));
        for (long i = 0; i < sr - sl; ++i)
            dst.plot(dl + i, dt + k, row[size_t(i)]);
    }
}

/* Pixel i of the source run onto pixel i of an equally long destination
 * run, from the left, skipping pairs outside either map. */
template <typename Op>
void ref_runs(const GuardedMap &src, GuardedMap &dst, long sv, long s1, long s2, long dv, long d1, long d2, Op op)
{
    const long s0 = std::min(s1, s2), d0 = std::min(d1, d2);
    for (long i = 0; std::labs(s2 - s1) == std::labs(d2 - d1) && i < std::labs(s2 - s1); ++i)
        if (src.contains(s0 + i, sv) && dst.contains(d0 + i, dv))
            dst.plot(d0 + i, dv, op(src.get(s0 + i, sv), dst.get(d0 + i, dv)));
}

UInt32 ref_blend(UInt32 s, UInt32 d)
{
    UInt32 out = 0;
    for (int shift = 0; shift < 24; shift += 8)
        out |= (((s >> shift) & 255) * (s >> 24) / 256 + ((d >> shift) & 255) * (255 - (s >> 24)) / 256) << shift;
    return out;
}

/* Rows stay paired while the tops and bottoms are clipped to the maps, in
 * the order: source top, destination top, source bottom, destination bottom. */
void ref_copy_rect32a(const GuardedMap &src, GuardedMap &dst, const Rect &s, const Rect &d)
{
    const Rect &a = src.bounds, &b = dst.bounds;
    long sTop = s.top, sBottom = s.bottom, dTop = d.top, dBottom = d.bottom;
    if (sTop < a.top)
        dTop += a.top - sTop, sTop = a.top;
    if (dTop < b.top)
        sTop += b.top - dTop, dTop = b.top;
    if (sBottom >= a.bottom)
        dBottom -= sBottom - a.bottom, sBottom = a.bottom;
    if (dBottom >= b.bottom)
        sBottom -= dBottom - b.bottom, dBottom = b.bottom;
    for (; sTop < sBottom && dTop < dBottom; ++sTop, ++dTop)
        ref_runs(src, dst, sTop, s.left, s.right, dTop, d.left, d.right, ref_blend);
}

/* Output (i, j) from each map's top-left pixel: per byte, the halves (rounded
 * down) of the halves of source columns 2i, 2i + 1 in rows 2j and 2j + 1. */
void ref_down_mip(const GuardedMap &src, GuardedMap &dst)
{
    const Rect &a = src.bounds, &b = dst.bounds;
    for (long j = 0; a.top + 2 * j + 1 < a.bottom && b.top + j < b.bottom; ++j)
        for (long i = 0; a.left + 2 * i + 1 < a.right && b.left + i < b.right; ++i) {
            UInt32 out = 0;
            for (int k = 0; k < 32; k += 8) {
                const auto at = [&](long dh, long dv) {
                    return (src.get(a.left + 2 * i + dh, a.top + 2 * j + dv) >> k) & 255;
                };
                out |= ((at(0, 0) / 2 + at(1, 0) / 2) / 2 + (at(0, 1) / 2 + at(1, 1) / 2) / 2) << k;
            }
            dst.plot(b.left + i, b.top + j, out);
        }
}

/* Calls the member of a family for `depth`, the value last. */
template <typename F8, typename F16, typename F32, typename... Args>
void by_depth(int depth, F8 f8, F16 f16, F32 f32, UInt32 value, Args... args)
{
    depth == 8 ? f8(args..., UInt8(value)) : depth == 16 ? f16(args..., UInt16(value)) : f32(args..., value);
}

} // namespace

std::string check_random_calls(const std::function<UInt32()> &choices, const std::function<UInt32()> &pixels,
                               const std::function<bool(int)> &more)
{
    const std::function<UInt32()> &rng = choices;
    // A coordinate on an axis where a map spans [lo, hi): mostly in it or
    // just beside it, sometimes at its edges, at the 16-bit limits or anywhere.
    const auto coord = [&rng](long lo, long hi) {
        const UInt32 k = rng() % 8;
        return SInt16(k == 0   ? -32768 + long(rng() % 3)
                      : k == 1 ? 32767 - long(rng() % 3)
                      : k == 2 ? long(SInt16(rng()))
                      : k == 3 ? (rng() % 2 ? lo : hi)
                               : std::clamp(lo - 3 + long(rng() % (hi - lo + 6)), -32768L, 32767L));
    };
    // A w x h rectangle inside m, which it fits.
    const auto place = [&rng](const GuardedMap &m, long w, long h) {
        const long top = m.bounds.top + long(rng() % (m.height() - h + 1));
        const long left = m.bounds.left + long(rng() % (m.width() - w + 1));
        return Rect{SInt16(top), SInt16(left), SInt16(top + h), SInt16(left + w)};
    };
    const auto rect = [&](const GuardedMap &m) {
        Rect r;
        r.top = coord(m.bounds.top, m.bounds.bottom);
        r.bottom = rng() % 3 ? SInt16(r.top + int(rng() % 30)) : coord(m.bounds.top, m.bounds.bottom);
        r.left = coord(m.bounds.left, m.bounds.right);
        r.right = rng() % 3 ? SInt16(r.left + int(rng() % 50)) : coord(m.bounds.left, m.bounds.right);
        return r;
    };
    // Seven maps of random size and place (near 0, at either 16-bit limit or
    // anywhere), stride, row order, alignment and colour table, with random
    // pixels, and their twins.
    std::vector<std::unique_ptr<GuardedMap>> lib, ref;
    for (int depth : {8, 16, 32, 32, 16, 8, 32}) {
        const int w = 1 + int(rng() % 40), h = 1 + int(rng() % 20);
        const int left = std::min(coord(-30, 30), SInt16(32767 - w)), top = std::min(coord(-30, 30), SInt16(32767 - h));
        lib.push_back(std::make_unique<GuardedMap>(Rect{SInt16(top), SInt16(left), SInt16(top + h), SInt16(left + w)},
                                                   depth, int(rng() % 8), int(rng() % 4),
                                                   depth == 8 ? int(rng() % 40) - 2 : -1, rng() % 4 == 0));
        for (long y = top; y < top + h; ++y)
            for (long x = left; x < left + w; ++x)
                lib.back()->plot(x, y, pixels());
        ref.push_back(std::make_unique<GuardedMap>(*lib.back()));
    }
    PixMapPtr none = nullptr;
    // Each call is made on the library's maps and the same through the
    // reference on the twins.
    for (int n = 0; more(n); ++n) {
        std::string wrong;
        const size_t op = rng() % 7, i = rng() % 7, j = rng() % 2 ? rng() % 7 : i; // half within one map
        GuardedMap &L = *lib[i], &F = *ref[i], &S = *lib[j], &SF = *ref[j];
        // Now and then a map is missing: a null handle, or one to no record.
        const bool usable = rng() % 32 != 0, both = usable && rng() % 32 != 0;
        const bool both32 = both && L.depth == 32 && S.depth == 32;
        const PixMapHandle pm = usable ? &L.master : rng() % 2 ? nullptr : &none;
        const PixMapHandle spm = both || !usable ? &S.master : rng() % 2 ? nullptr : &none;
        // The member called: 0 for the one taking a colour, else the depth it
        // names (mostly the map's own); and whether it is the Point form.
        const int member = rng() % 5 == 0 ? 0 : rng() % 6 ? L.depth : 8 << rng() % 3;
        const bool pForm = rng() % 2;
        const RGBColor colour{UInt16(rng()), UInt16(rng()), UInt16(rng())}, *cp = rng() % 20 ? &colour : nullptr;
        UInt32 px = rng() & (member == 8 ? 0xFF : member == 16 ? 0xFFFF : 0xFFFFFFFF);
        const bool draws = usable && (member ? member == L.depth : ref_pixel_of(F, cp, &px));
        const auto call = [&](auto colourMember, auto f8, auto f16, auto f32, auto... args) {
            member ? by_depth(member, f8, f16, f32, px, args...) : colourMember(args..., cp);
        };
        const SInt16 h = coord(L.bounds.left, L.bounds.right), v = coord(L.bounds.top, L.bounds.bottom);
        const SInt16 h2 = coord(L.bounds.left, L.bounds.right), v2 = coord(L.bounds.top, L.bounds.bottom);
        const Point p{v, h}, p2{v2, h2};
        const UInt16 rad = rng() % 50 ? UInt16(rng() % 60) : UInt16(rng());
        // The source and destination rectangles: a third of the time one size inside both maps, a third the
        // destination the source's size (give or take a row) from (h, v), else each anywhere.
        const UInt32 pairing = rng() % 3;
        const long w = 1 + long(rng() % std::min(S.width(), L.width()));
        const long ht = 1 + long(rng() % std::min(S.height(), L.height()));
        const Rect sr = pairing ? rect(S) : place(S, w, ht);
        const Rect r = pairing == 0   ? place(L, w, ht)
                       : pairing == 1 ? rect(L)
                                      : Rect{v, h, SInt16(v + sr.bottom - sr.top + int(rng() % 3) - 1),
                                             SInt16(h + sr.right - sr.left)};
        const Rect *srp = rng() % 30 ? &sr : nullptr, *rp = rng() % 30 ? &r : nullptr;
        switch (op) {
        case 0: { // a pixel written, then read back
            pForm ? call(QDMP_Set_PixelP, QDMP_Set_PixelP8, QDMP_Set_PixelP16, QDMP_Set_PixelP32, pm, p)
                  : call(QDMP_Set_Pixel, QDMP_Set_Pixel8, QDMP_Set_Pixel16, QDMP_Set_Pixel32, pm, h, v);
            if (draws)
                F.plot(h, v, px);
            const int d = member ? member : L.depth;
            const UInt32 raw = d == 8    ? (pForm ? QDMP_Get_PixelP8(pm, p) : QDMP_Get_Pixel8(pm, h, v))
                               : d == 16 ? (pForm ? QDMP_Get_PixelP16(pm, p) : QDMP_Get_Pixel16(pm, h, v))
                                         : (pForm ? QDMP_Get_PixelP32(pm, p) : QDMP_Get_Pixel32(pm, h, v));
            if (raw != (usable && d == L.depth && F.contains(h, v) ? F.get(h, v) : 0))
                wrong = "read " + std::to_string(raw);
            break;
        }
        case 1: // a line
            pForm ? call(QDMP_Draw_LineP, QDMP_Draw_LineP8, QDMP_Draw_LineP16, QDMP_Draw_LineP32, pm, p, p2)
                  : call(QDMP_Draw_Line, QDMP_Draw_Line8, QDMP_Draw_Line16, QDMP_Draw_Line32, pm, h, v, h2, v2);
            if (draws)
                ref_line(F, h, v, h2, v2, px);
            break;
        case 2: // a filled rectangle, or the span of its top row
            member && pForm ? by_depth(member, Draw_Scan8, Draw_Scan16, Draw_Scan32, px, pm, r.top, r.left, r.right)
                            : call(QDMP_Fill_Rect, QDMP_Fill_Rect8, QDMP_Fill_Rect16, QDMP_Fill_Rect32, pm, r);
            for (long row = r.top; draws && row < (member && pForm ? r.top + 1 : r.bottom); ++row)
                ref_span(F, row, r.left, r.right, px);
            break;
        case 3: // a circle's outline: the walk's mirror images
            pForm ? call(QDMP_Draw_CircleP, QDMP_Draw_CircleP8, QDMP_Draw_CircleP16, QDMP_Draw_CircleP32, pm, p, rad)
                  : call(QDMP_Draw_Circle, QDMP_Draw_Circle8, QDMP_Draw_Circle16, QDMP_Draw_Circle32, pm, h, v, rad);
            if (draws)
                ref_circle_walk(rad, [&](long x, long y) {
                    for (long dx : {-x, x})
                        for (long dy : {-y, y})
                            F.plot(h + dx, v + dy, px), F.plot(h + dy, v + dx, px);
                });
            break;
        case 4: // a disc: the spans between the walk's mirror images
            pForm ? call(QDMP_Fill_CircleP, QDMP_Fill_CircleP8, QDMP_Fill_CircleP16, QDMP_Fill_CircleP32, pm, p, rad)
                  : call(QDMP_Fill_Circle, QDMP_Fill_Circle8, QDMP_Fill_Circle16, QDMP_Fill_Circle32, pm, h, v, rad);
            if (draws)
                ref_circle_walk(rad, [&](long x, long y) {
                    for (long sign : {-1L, 1L})
                        ref_span(F, v + sign * y, h - x, h + x, px), ref_span(F, v + sign * x, h - y, h + y, px);
                });
            break;
        case 5: { // a rectangle or scan copy between maps of any depths, by the dispatcher or a member
            static void (*const rects[])(PixMapHandle, PixMapHandle, const Rect *, const Rect *) = {
                QDMP_Copy_Rect, QDMP_Copy_Rect8, QDMP_Copy_Rect16, QDMP_Copy_Rect32};
            static void (*const scans[])(PixMapHandle, PixMapHandle, SInt16, SInt16, SInt16, SInt16, SInt16, SInt16) = {
                QDMP_Copy_Scan, QDMP_Copy_Scan8, QDMP_Copy_Scan16, QDMP_Copy_Scan32};
            const size_t slot = member ? 1 + size_t(member >> 4) : 0; // 8, 16, 32 -> 1, 2, 3
            const bool copies = both && S.depth == L.depth && (member == 0 || member == L.depth);
            pForm ? rects[slot](spm, pm, srp, rp)
                  : scans[slot](spm, pm, sr.top, sr.left, sr.right, r.top, r.left, r.right);
            if (copies && pForm && srp && rp)
                ref_copy_rect(SF, F, sr, r);
            else if (copies && !pForm)
                ref_runs(SF, F, sr.top, sr.left, sr.right, r.top, r.left, r.right, [](UInt32 s, UInt32) { return s; });
            break;
        }
        default: // a blended rectangle or scan, or the reduction
            if (rng() % 3 == 0) {
                QDMP_DownMip32A(spm, pm);
                if (both32)
                    ref_down_mip(SF, F);
            } else if (pForm) {
                QDMP_Copy_Rect32A(spm, pm, srp, rp);
                if (both32 && srp && rp)
                    ref_copy_rect32a(SF, F, sr, r);
            } else {
                QDMP_Copy_Scan32A(spm, pm, sr.top, sr.left, sr.right, r.top, r.left, r.right);
                if (both32)
                    ref_runs(SF, F, sr.top, sr.left, sr.right, r.top, r.left, r.right, ref_blend);
            }
            break;
        }
        for (size_t m = 0; m < lib.size() && wrong.empty(); ++m)
            if (lib[m]->bytes != ref[m]->bytes)
                wrong = "map " + std::to_string(m) + " differs from the reference";
        if (!wrong.empty())
            return "call " + std::to_string(n) + " (op " + std::to_string(op) + ", member " + std::to_string(member) +
                   (pForm ? "P" : "") + ", map " + std::to_string(j) + " to " + std::to_string(i) + "): " + wrong;
    }
    return "";
}

} // namespace qvtest
