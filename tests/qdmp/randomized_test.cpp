/* Thousands of random calls on maps of every depth with random bounds (often
 * near the 16-bit limits), strides, row order and alignment, each map inside
 * guard bands. Every call is made on the library's maps and, through the
 * per-pixel reference, on a twin set; after each call the maps it may write
 * must equal their twins and keep their guards. */
#include "qdmp/include/qdmp.h"
#include "qdmp/internal.h"
#include "support/guarded_map.h"
#include "support/reference.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using qdmp_test::GuardedMap;
using qdmp_test::MapLayout;

class Randomized {
public:
    explicit Randomized(unsigned seed) : rng_(seed)
    {
        for (int depth : {8, 16, 32, 32, 16, 8, 32}) {
            MapLayout l;
            l.depth = depth;
            l.bounds = randomBounds();
            l.padBytes = static_cast<int>(rng_() % 8);
            l.bottomUp = rng_() % 4 == 0;
            l.misalign = static_cast<int>(rng_() % 4);
            l.tableEntries = depth == 8 ? static_cast<int>(rng_() % 40) - 2 : -1; // -2, -1: no table
            if (l.tableEntries < -1)
                l.tableEntries = -1;
            lib_.push_back(std::make_unique<GuardedMap>(l));
            lib_.back()->fillRandom(rng_);
            ref_.push_back(std::make_unique<GuardedMap>(*lib_.back()));
        }
    }

    /* Runs one random call; returns a description of it for failure messages. */
    std::string step();

    /* Index of the map the last call may have written, or -1. */
    int written() const { return written_; }
    GuardedMap &lib(int i) { return *lib_[static_cast<size_t>(i)]; }
    GuardedMap &ref(int i) { return *ref_[static_cast<size_t>(i)]; }
    int maps() const { return static_cast<int>(lib_.size()); }

private:
    int pick() { return static_cast<int>(rng_() % lib_.size()); }

    Rect randomBounds()
    {
        const int w = 1 + static_cast<int>(rng_() % 40), h = 1 + static_cast<int>(rng_() % 20);
        const auto origin = [&](int size) {
            switch (rng_() % 4) {
            case 0:
                return 32767 - size - static_cast<int>(rng_() % 3);
            case 1:
                return -32768 + static_cast<int>(rng_() % 3);
            case 2:
                return static_cast<int>(rng_() % 60) - 30;
            default:
                return -32768 + static_cast<int>(rng_() % (65536u - static_cast<unsigned>(size)));
            }
        };
        const int left = origin(w), top = origin(h);
        return Rect{static_cast<SInt16>(top), static_cast<SInt16>(left), static_cast<SInt16>(top + h),
                    static_cast<SInt16>(left + w)};
    }

    /* A coordinate on one axis of a map spanning [lo, hi): mostly near it,
     * sometimes at the 16-bit limits or anywhere. */
    SInt16 coord(int lo, int hi)
    {
        switch (rng_() % 10) {
        case 0:
            return static_cast<SInt16>(-32768 + static_cast<int>(rng_() % 3));
        case 1:
            return static_cast<SInt16>(32767 - static_cast<int>(rng_() % 3));
        case 2:
            return static_cast<SInt16>(rng_());
        case 3:
            return static_cast<SInt16>(rng_() % 2 ? lo : hi);
        default: {
            const long v = lo - 6 + static_cast<long>(rng_() % static_cast<unsigned>(hi - lo + 12));
            return static_cast<SInt16>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
        }
        }
    }
    SInt16 h(int i) { return coord(lib(i).bounds().left, lib(i).bounds().right); }
    SInt16 v(int i) { return coord(lib(i).bounds().top, lib(i).bounds().bottom); }
    Rect rect(int i)
    {
        Rect r;
        r.top = v(i);
        r.bottom = rng_() % 3 ? static_cast<SInt16>(r.top + static_cast<int>(rng_() % 30)) : v(i);
        r.left = h(i);
        r.right = rng_() % 3 ? static_cast<SInt16>(r.left + static_cast<int>(rng_() % 50)) : h(i);
        return r;
    }
    UInt32 value() { return rng_(); }
    UInt16 radius()
    {
        if (rng_() % 50 == 0)
            return static_cast<UInt16>(rng_());
        return static_cast<UInt16>(rng_() % 60);
    }
    RGBColor colour()
    {
        return RGBColor{static_cast<UInt16>(rng_()), static_cast<UInt16>(rng_()), static_cast<UInt16>(rng_())};
    }

    /* The depth a call names: usually the map's own, sometimes another. */
    int depthFor(int i) { return rng_() % 6 ? lib(i).depth() : (8 << (rng_() % 3)); }

    std::mt19937 rng_;
    std::vector<std::unique_ptr<GuardedMap>> lib_, ref_;
    int written_ = -1;
};

/* Truncates a value to the pixel type of a depth. */
UInt32 fit(int depth, UInt32 x)
{
    return depth == 8 ? (x & 0xFF) : depth == 16 ? (x & 0xFFFF) : x;
}

std::string Randomized::step()
{
    const int op = static_cast<int>(rng_() % 12);
    const int i = pick();
    GuardedMap &L = lib(i), &F = ref(i);
    const PixMapHandle pm = L.handle();
    written_ = i;
    std::string what;
    switch (op) {
    case 0: { // per-depth pixel write, then reads
        const int depth = depthFor(i);
        const SInt16 x = h(i), y = v(i);
        const UInt32 val = fit(depth, value());
        if (depth == 8)
            QDMP_Set_Pixel8(pm, x, y, static_cast<UInt8>(val));
        else if (depth == 16)
            QDMP_Set_Pixel16(pm, x, y, static_cast<UInt16>(val));
        else
            QDMP_Set_Pixel32(pm, x, y, val);
        if (depth == F.depth() && F.contains(x, y))
            F.set(x, y, val);
        const UInt32 want = depth == F.depth() && F.contains(x, y) ? F.get(x, y) : 0;
        const UInt32 got = depth == 8    ? QDMP_Get_Pixel8(pm, x, y)
                           : depth == 16 ? QDMP_Get_Pixel16(pm, x, y)
                                         : QDMP_Get_Pixel32(pm, x, y);
        EXPECT_EQ(got, want) << "read back";
        what = "Set_Pixel" + std::to_string(depth);
        break;
    }
    case 1: { // colour pixel write
        const RGBColor c = colour();
        const RGBColor *cp = rng_() % 20 ? &c : nullptr;
        const SInt16 x = h(i), y = v(i);
        QDMP_Set_Pixel(pm, x, y, cp);
        UInt32 px;
        if (qdmp_test::ref_pixel_of(F, cp, &px) && F.contains(x, y))
            F.set(x, y, px);
        what = "Set_Pixel";
        break;
    }
    case 2: { // line
        const int depth = depthFor(i);
        const SInt16 a = h(i), b = v(i), c = h(i), d = v(i);
        const UInt32 val = fit(depth, value());
        if (rng_() % 4 == 0) {
            const RGBColor col = colour();
            QDMP_Draw_Line(pm, a, b, c, d, &col);
            UInt32 px;
            if (qdmp_test::ref_pixel_of(F, &col, &px))
                qdmp_test::ref_line(F, a, b, c, d, px);
        } else {
            if (depth == 8)
                QDMP_Draw_Line8(pm, a, b, c, d, static_cast<UInt8>(val));
            else if (depth == 16)
                QDMP_Draw_Line16(pm, a, b, c, d, static_cast<UInt16>(val));
            else
                QDMP_Draw_Line32(pm, a, b, c, d, val);
            if (depth == F.depth())
                qdmp_test::ref_line(F, a, b, c, d, val);
        }
        what = "Draw_Line " + std::to_string(a) + "," + std::to_string(b) + " " + std::to_string(c) + "," +
               std::to_string(d);
        break;
    }
    case 3: { // filled rectangle or span
        const int depth = depthFor(i);
        const Rect r = rect(i);
        const UInt32 val = fit(depth, value());
        if (rng_() % 3 == 0) {
            if (depth == 8)
                Draw_Scan8(pm, r.top, r.left, r.right, static_cast<UInt8>(val));
            else if (depth == 16)
                Draw_Scan16(pm, r.top, r.left, r.right, static_cast<UInt16>(val));
            else
                Draw_Scan32(pm, r.top, r.left, r.right, val);
            if (depth == F.depth())
                qdmp_test::ref_span(F, r.top, r.left, r.right, val);
            what = "Draw_Scan";
        } else {
            if (depth == 8)
                QDMP_Fill_Rect8(pm, r, static_cast<UInt8>(val));
            else if (depth == 16)
                QDMP_Fill_Rect16(pm, r, static_cast<UInt16>(val));
            else
                QDMP_Fill_Rect32(pm, r, val);
            if (depth == F.depth())
                qdmp_test::ref_fill_rect(F, r, val);
            what = "Fill_Rect";
        }
        what += " " + std::to_string(r.top) + "," + std::to_string(r.left) + "," + std::to_string(r.bottom) + "," +
                std::to_string(r.right);
        break;
    }
    case 4: { // circles
        const SInt16 x = h(i), y = v(i);
        const UInt16 rad = radius();
        const RGBColor c = colour();
        UInt32 px;
        const bool fill = rng_() % 2;
        if (fill)
            QDMP_Fill_Circle(pm, x, y, rad, &c);
        else
            QDMP_Draw_Circle(pm, x, y, rad, &c);
        if (qdmp_test::ref_pixel_of(F, &c, &px)) {
            if (fill)
                qdmp_test::ref_fill_circle(F, x, y, rad, px);
            else
                qdmp_test::ref_draw_circle(F, x, y, rad, px);
        }
        what = std::string(fill ? "Fill" : "Draw") + "_Circle r " + std::to_string(rad);
        break;
    }
    case 5:
    case 6: { // rectangle and scan copies between maps of any depths
        const int j = pick();
        GuardedMap &S = lib(j), &SF = ref(j);
        const Rect sr = rect(j), dr = rng_() % 2 ? rect(i) : Rect{static_cast<SInt16>(v(i)), static_cast<SInt16>(h(i)),
                                                                   static_cast<SInt16>(v(i) + (sr.bottom - sr.top)),
                                                                   static_cast<SInt16>(h(i) + (sr.right - sr.left))};
        const bool match = S.depth() == L.depth();
        if (op == 5) {
            QDMP_Copy_Rect(S.handle(), pm, &sr, &dr);
            if (match)
                qdmp_test::ref_copy_rect(SF, F, sr, dr);
            what = "Copy_Rect";
        } else {
            const SInt16 h1 = sr.left, h2 = sr.right, d1 = static_cast<SInt16>(dr.left);
            const SInt16 d2 = static_cast<SInt16>(rng_() % 2 ? d1 + (h2 - h1) : dr.right);
            QDMP_Copy_Scan(S.handle(), pm, sr.top, h1, h2, dr.top, d1, d2);
            if (match)
                qdmp_test::ref_copy_scan(SF, F, sr.top, h1, h2, dr.top, d1, d2);
            what = "Copy_Scan";
        }
        what += " from map " + std::to_string(j);
        break;
    }
    case 7:
    case 8: { // blends between 32-bit maps
        const int j = pick();
        GuardedMap &S = lib(j), &SF = ref(j);
        const Rect sr = rect(j);
        Rect d;
        d.top = v(i);
        d.left = rng_() % 2 ? h(i) : sr.left;
        d.bottom = static_cast<SInt16>(d.top + (sr.bottom - sr.top) + static_cast<int>(rng_() % 3) - 1);
        d.right = static_cast<SInt16>(d.left + (sr.right - sr.left));
        const bool both32 = S.depth() == 32 && L.depth() == 32;
        if (op == 7) {
            QDMP_Copy_Rect32A(S.handle(), pm, &sr, &d);
            if (both32)
                qdmp_test::ref_copy_rect32a(SF, F, sr, d);
            what = "Copy_Rect32A";
        } else {
            QDMP_Copy_Scan32A(S.handle(), pm, sr.top, sr.left, sr.right, d.top, d.left, d.right);
            if (both32)
                qdmp_test::ref_copy_scan32a(SF, F, sr.top, sr.left, sr.right, d.top, d.left, d.right);
            what = "Copy_Scan32A";
        }
        what += " from map " + std::to_string(j);
        break;
    }
    case 9: { // reduction
        const int j = pick();
        QDMP_DownMip32A(lib(j).handle(), pm);
        if (lib(j).depth() == 32 && L.depth() == 32)
            qdmp_test::ref_down_mip(ref(j), F);
        what = "DownMip32A from map " + std::to_string(j);
        break;
    }
    case 10: { // curves: no independent statement; both sides drawn alike
        Point p[3];
        for (Point &q : p) {
            q.h = h(i);
            q.v = v(i);
            if (rng_() % 3)
                q.h = static_cast<SInt16>(L.bounds().left + static_cast<int>(rng_() % 50) - 5),
                q.v = static_cast<SInt16>(L.bounds().top + static_cast<int>(rng_() % 30) - 5);
        }
        const RGBColor c = colour();
        QDMP_Draw_Curve(pm, p[0], p[1], p[2], &c);
        QDMP_Draw_Curve(F.handle(), p[0], p[1], p[2], &c);
        what = "Draw_Curve";
        break;
    }
    default: { // colour reads
        const SInt16 x = h(i), y = v(i);
        const RGBColor got = QDMP_Get_Pixel(pm, x, y);
        // Outside the map the pixel reads as 0.
        const UInt32 px = F.contains(x, y) ? F.get(x, y) : 0;
        RGBColor want{0, 0, 0};
        if (F.depth() == 8) {
            const auto &colors = F.colors();
            if (F.layout().tableEntries >= 0 && !colors.empty())
                want = colors[px % colors.size()];
        } else if (F.depth() == 16) {
            const auto c5 = [&](int shift) { return static_cast<UInt16>(((px >> shift) & 31) * 0x0801); };
            want = RGBColor{c5(10), c5(5), c5(0)};
        } else {
            const auto c8 = [&](int shift) { return static_cast<UInt16>(((px >> shift) & 255) * 0x0101); };
            want = RGBColor{c8(16), c8(8), c8(0)};
        }
        EXPECT_TRUE(got.red == want.red && got.green == want.green && got.blue == want.blue)
            << "Get_Pixel at " << x << "," << y;
        written_ = -1;
        what = "Get_Pixel";
        break;
    }
    }
    return what;
}

TEST(QdmpRandomized, ThousandsOfCallsMatchTheReferenceInsideTheGuards)
{
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        Randomized r(seed);
        for (int n = 0; n < 1500; ++n) {
            const std::string what = r.step();
            const int w = r.written();
            if (w < 0)
                continue;
            ASSERT_TRUE(r.lib(w).guardsIntact()) << "seed " << seed << " call " << n << ": " << what;
            ASSERT_EQ(r.lib(w).pixels(), r.ref(w).pixels()) << "seed " << seed << " call " << n << ": " << what;
        }
        for (int m = 0; m < r.maps(); ++m) {
            EXPECT_TRUE(r.lib(m).guardsIntact()) << "seed " << seed << " map " << m;
            EXPECT_EQ(r.lib(m).pixels(), r.ref(m).pixels()) << "seed " << seed << " map " << m;
        }
    }
}

} // namespace
