#include "qdmp/include/qdmp.h"
#include "qdmp/internal.h"
#include "qdmp/kernels.h"
#include "support/guarded_map.h"
#include "support/reference.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <utility>
#include <vector>

namespace {

using qdmp_test::GuardedMap;
using qdmp_test::MapLayout;
using PixelSet = std::set<std::pair<int, int>>; // (h, v)

Rect R(int top, int left, int bottom, int right)
{
    return Rect{static_cast<SInt16>(top), static_cast<SInt16>(left), static_cast<SInt16>(bottom),
                static_cast<SInt16>(right)};
}

Point P(int h, int v)
{
    Point p;
    p.h = static_cast<SInt16>(h);
    p.v = static_cast<SInt16>(v);
    return p;
}

MapLayout layout(int depth, Rect bounds)
{
    MapLayout l;
    l.bounds = bounds;
    l.depth = depth;
    l.padBytes = 3;
    l.tableEntries = depth == 8 ? 8 : -1;
    return l;
}

PixelSet drawn(const GuardedMap &m)
{
    PixelSet out;
    for (int v = m.bounds().top; v < m.bounds().bottom; ++v)
        for (int h = m.bounds().left; h < m.bounds().right; ++h)
            if (m.get(h, v) != 0)
                out.insert({h, v});
    return out;
}

/* Compares pixel for pixel; on a mismatch writes the images for a look. */
void expect_same_image(const GuardedMap &actual, const GuardedMap &expected, const std::string &name)
{
    const bool same = actual.pixels() == expected.pixels();
    EXPECT_TRUE(same) << name << ": images in " << (same ? "" : qdmp_test::write_failure_images(name, actual, expected));
    EXPECT_TRUE(actual.guardsIntact()) << name;
}

TEST(QdmpLine, PixelsOfShortLines)
{
    struct Case {
        const char *what;
        int fh, fv, th, tv;
        PixelSet pixels;
    } const cases[] = {
        {"shallow", 0, 0, 3, 1, {{0, 0}, {1, 0}, {2, 0}, {3, 1}}},
        {"shallow, minor steps twice", 0, 0, 4, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}},
        {"steep", 0, 0, 1, 2, {{0, 0}, {0, 1}, {1, 2}}},
        {"one-step diagonal ends beside its end", 0, 0, 1, 1, {{0, 0}, {1, 0}}},
        {"single point", 2, 3, 2, 3, {{2, 3}}},
        {"reversed shallow", 3, 1, 0, 0, {{3, 1}, {2, 1}, {1, 1}, {0, 0}}},
        {"vertical upward", -2, 4, -2, 1, {{-2, 4}, {-2, 3}, {-2, 2}, {-2, 1}}},
        {"crossing the map", -10, 2, 10, 2, {{-4, 2}, {-3, 2}, {-2, 2}, {-1, 2}, {0, 2}, {1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2}}},
        {"far ends drawn true", -20000, 1, 20000, 1,
         {{-4, 1}, {-3, 1}, {-2, 1}, {-1, 1}, {0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}}},
        {"hostile diagonal", -30000, -30000, 30000, 30000,
         {{-4, -4}, {-3, -3}, {-2, -2}, {-1, -1}, {0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}},
    };
    for (int depth : {8, 16, 32}) {
        for (const Case &c : cases) {
            GuardedMap m(layout(depth, R(-4, -4, 6, 6)));
            const auto a = [](int x) { return static_cast<SInt16>(x); };
            if (depth == 8)
                QDMP_Draw_Line8(m.handle(), a(c.fh), a(c.fv), a(c.th), a(c.tv), 1);
            else if (depth == 16)
                QDMP_Draw_LineP16(m.handle(), P(c.fh, c.fv), P(c.th, c.tv), 1);
            else
                QDMP_Draw_Line32(m.handle(), a(c.fh), a(c.fv), a(c.th), a(c.tv), 1);
            EXPECT_EQ(drawn(m), c.pixels) << c.what << " at " << depth;
            EXPECT_TRUE(m.guardsIntact()) << c.what;
        }
    }
}

TEST(QdmpLine, ColourMembersDispatchOnDepth)
{
    const RGBColor white{0xFFFF, 0xFFFF, 0xFFFF};
    const UInt32 expected[] = {5, 0x7FFF, 0x00FFFFFF};
    int i = 0;
    for (int depth : {8, 16, 32}) {
        GuardedMap m(layout(depth, R(0, 0, 4, 4)));
        if (depth == 8)
            m.setColor(5, white);
        QDMP_Draw_LineP(m.handle(), P(0, 1), P(3, 1), &white);
        for (int h = 0; h < 4; ++h)
            EXPECT_EQ(m.get(h, 1), expected[i]) << depth;
        QDMP_Draw_Line(m.handle(), 0, 2, 3, 2, nullptr);
        for (int h = 0; h < 4; ++h)
            EXPECT_EQ(m.get(h, 2), depth == 8 ? 255u : 0u) << "null colour at " << depth;
        ++i;
    }
    GuardedMap m(layout(32, R(0, 0, 4, 4)));
    (*m.handle())->pixelSize = 24;
    QDMP_Draw_Line(m.handle(), 0, 0, 3, 3, &white);
    QDMP_Fill_Rect(m.handle(), R(0, 0, 4, 4), &white);
    QDMP_Draw_Circle(m.handle(), 1, 1, 1, &white);
    QDMP_Fill_Circle(m.handle(), 1, 1, 2, &white);
    EXPECT_TRUE(drawn(m).empty()) << "unsupported depth";
    QDMP_Draw_Line(nullptr, 0, 0, 3, 3, &white);
}

TEST(QdmpLine, MembersRefuseMapsOfAnotherDepth)
{
    // 4-byte stores into an 8-bit map would run past its rows.
    GuardedMap m8(layout(8, R(0, 0, 4, 4)));
    QDMP_Draw_Line32(m8.handle(), 0, 0, 3, 3, 0xFFFFFFFF);
    QDMP_Fill_Rect32(m8.handle(), R(0, 0, 4, 4), 0xFFFFFFFF);
    QDMP_Fill_Circle16(m8.handle(), 2, 2, 2, 0xFFFF);
    QDMP_Draw_Circle32(m8.handle(), 2, 2, 1, 0xFFFFFFFF);
    Draw_Scan32(m8.handle(), 1, 0, 4, 0xFFFFFFFF);
    EXPECT_TRUE(drawn(m8).empty());
    EXPECT_TRUE(m8.guardsIntact());
}

TEST(QdmpFill, RectanglesAndSpans)
{
    struct Case {
        const char *what;
        Rect r;
    } const cases[] = {
        {"two rows of three", R(2, 3, 4, 6)},
        {"right left of left fills right .. left - 1", R(0, 5, 1, 2)},
        {"inverted rows fill nothing", R(4, 0, 2, 5)},
        {"past every edge", R(-100, -100, 100, 100)},
        {"hostile", R(-32768, -32768, 32767, 32767)},
        {"reaching past the right edge only", R(1, 5, 3, 32000)},
    };
    for (int depth : {8, 16, 32}) {
        for (const Case &c : cases) {
            GuardedMap m(layout(depth, R(-2, -3, 7, 9)));
            GuardedMap expected(m);
            qdmp_test::ref_fill_rect(expected, c.r, 0x55);
            if (depth == 8)
                QDMP_Fill_Rect8(m.handle(), c.r, 0x55);
            else if (depth == 16)
                QDMP_Fill_Rect16(m.handle(), c.r, 0x55);
            else
                QDMP_Fill_Rect32(m.handle(), c.r, 0x55);
            expect_same_image(m, expected, std::string("fill-rect-") + std::to_string(depth));
            if (c.r.top == 2 && c.r.left == 3) {
                EXPECT_EQ(drawn(m), (PixelSet{{3, 2}, {4, 2}, {5, 2}, {3, 3}, {4, 3}, {5, 3}})) << depth;
            }
        }
    }
    // Spans: either order of ends, rows outside skipped, cut at both edges.
    GuardedMap m(layout(16, R(0, 0, 3, 8)));
    Draw_Scan16(m.handle(), 0, 5, 2, 7);
    Draw_Scan16(m.handle(), 1, -30000, 30000, 7);
    Draw_Scan16(m.handle(), 3, 0, 8, 7);
    Draw_Scan16(m.handle(), -1, 0, 8, 7);
    Draw_Scan16(m.handle(), 2, 4, 4, 7);
    PixelSet want{{2, 0}, {3, 0}, {4, 0}};
    for (int h = 0; h < 8; ++h)
        want.insert({h, 1});
    EXPECT_EQ(drawn(m), want);
    EXPECT_TRUE(m.guardsIntact());
}

/* Every fill form against a byte-by-byte statement of the pattern, for
 * lengths around each form's block sizes and the string store's threshold,
 * at every offset from the natural alignment. */
TEST(QdmpFill, EveryKernelLaysDownThePattern)
{
    const UInt32 pattern = 0x44332211; // bytes 11 22 33 44 in memory
    const unsigned char bytes[4] = {0x11, 0x22, 0x33, 0x44};
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 300; n += 2)
        lengths.push_back(n);
    for (size_t n : {2046u, 2048u, 2050u, 4094u, 4096u, 4098u, 40002u})
        lengths.push_back(n);
    for (const qdmp::FillKernel &k : qdmp::fill_kernels()) {
        for (size_t n : lengths) {
            for (size_t offset = 0; offset < 4; ++offset) {
                std::vector<unsigned char> buf(n + 16, 0xEE);
                k.run(reinterpret_cast<char *>(buf.data() + 4 + offset), n, pattern);
                std::vector<unsigned char> want(n + 16, 0xEE);
                for (size_t i = 0; i < n; ++i)
                    want[4 + offset + i] = bytes[i & 3];
                ASSERT_EQ(buf, want) << k.name << " length " << n << " offset " << offset;
            }
        }
    }
}

TEST(QdmpFill, ContiguousRowsFillAsOneBlock)
{
    // Packed maps (top-down and bottom-up) and padded ones, whole width and
    // part of it, each against the per-pixel reference.
    for (bool bottomUp : {false, true})
        for (int pad : {0, 4})
            for (int depth : {16, 32}) {
                MapLayout l = layout(depth, R(-3, 5, 40, 600));
                l.padBytes = pad;
                l.bottomUp = bottomUp;
                for (const Rect &r : {R(-10, -10, 100, 1000), R(0, 5, 7, 600), R(1, 6, 9, 600)}) {
                    GuardedMap m(l);
                    GuardedMap expected(m);
                    qdmp_test::ref_fill_rect(expected, r, 0x1234);
                    if (depth == 16)
                        QDMP_Fill_Rect16(m.handle(), r, 0x1234);
                    else
                        QDMP_Fill_Rect32(m.handle(), r, 0x1234);
                    expect_same_image(m, expected, "fill-block-" + std::to_string(depth));
                }
            }
}

TEST(QdmpCircle, OutlinePixels)
{
    PixelSet radius5;
    const int octant[][2] = {{0, -5}, {1, -5}, {2, -4}, {3, -3}};
    for (const auto &p : octant)
        for (int sx : {-1, 1})
            for (int sy : {-1, 1}) {
                radius5.insert({sx * p[0], sy * p[1]});
                radius5.insert({sx * p[1], sy * p[0]});
            }
    ASSERT_EQ(radius5.size(), 24u);
    struct Case {
        const char *what;
        int radius;
        PixelSet pixels;
    } const cases[] = {
        {"radius 5", 5, radius5},
        {"radius 0 is the centre", 0, {{0, 0}}},
        {"radius 1 is the four neighbours", 1, {{0, -1}, {0, 1}, {-1, 0}, {1, 0}}},
    };
    for (int depth : {8, 16, 32}) {
        for (const Case &c : cases) {
            GuardedMap m(layout(depth, R(-8, -8, 8, 8)));
            if (depth == 8)
                QDMP_Draw_Circle8(m.handle(), 0, 0, static_cast<UInt16>(c.radius), 9);
            else if (depth == 16)
                QDMP_Draw_CircleP16(m.handle(), P(0, 0), static_cast<UInt16>(c.radius), 9);
            else
                QDMP_Draw_Circle32(m.handle(), 0, 0, static_cast<UInt16>(c.radius), 9);
            EXPECT_EQ(drawn(m), c.pixels) << c.what << " at " << depth;
        }
    }
}

TEST(QdmpCircle, OutlinesAreTheWalksMirrorImages)
{
    for (int radius : {2, 3, 7, 20, 100}) {
        PixelSet distinct;
        qdmp_test::ref_circle_walk(radius, [&](long x, long y) {
            for (int sx : {-1, 1})
                for (int sy : {-1, 1}) {
                    distinct.insert({static_cast<int>(sx * x), static_cast<int>(sy * y)});
                    distinct.insert({static_cast<int>(sx * y), static_cast<int>(sy * x)});
                }
        });
        GuardedMap m(layout(32, R(-110, -110, 110, 110)));
        QDMP_Draw_Circle32(m.handle(), 0, 0, static_cast<UInt16>(radius), 1);
        EXPECT_EQ(drawn(m), distinct) << radius;
    }
}

TEST(QdmpCircle, DiscRows)
{
    GuardedMap m(layout(32, R(-8, -8, 8, 8)));
    QDMP_Fill_Circle32(m.handle(), 0, 0, 3, 1);
    const int halfWidths[] = {1, 2, 3, 3, 3, 2, 1}; // rows -3 .. 3: columns -w .. w - 1
    PixelSet want;
    for (int row = 0; row < 7; ++row)
        for (int h = -halfWidths[row]; h < halfWidths[row]; ++h)
            want.insert({h, row - 3});
    EXPECT_EQ(drawn(m), want);

    for (int depth : {8, 16, 32}) {
        GuardedMap zero(layout(depth, R(-4, -4, 4, 4))), one(layout(depth, R(-4, -4, 4, 4)));
        if (depth == 8) {
            QDMP_Fill_Circle8(zero.handle(), 0, 0, 0, 1);
            QDMP_Fill_CircleP8(one.handle(), P(0, 0), 1, 1);
        } else if (depth == 16) {
            QDMP_Fill_Circle16(zero.handle(), 0, 0, 0, 1);
            QDMP_Fill_CircleP16(one.handle(), P(0, 0), 1, 1);
        } else {
            QDMP_Fill_CircleP32(zero.handle(), P(0, 0), 0, 1);
            QDMP_Fill_Circle32(one.handle(), 0, 0, 1, 1);
        }
        EXPECT_TRUE(drawn(zero).empty()) << depth;
        EXPECT_EQ(drawn(one), (PixelSet{{-1, 0}, {0, 0}})) << depth;
    }
}

TEST(QdmpCircle, LargeAndFarCirclesMatchTheReference)
{
    struct Case {
        int h, v, radius;
    } const cases[] = {
        {0, 0, 40}, {-30, 10, 25}, {32767, 32767, 65535}, {-32768, 0, 32768}, {5, -5, 30000}, {20, 20, 3},
    };
    for (const Case &c : cases) {
        GuardedMap outline(layout(16, R(-12, -16, 24, 30))), disc(layout(16, R(-12, -16, 24, 30)));
        GuardedMap wantOutline(outline), wantDisc(disc);
        QDMP_Draw_Circle16(outline.handle(), static_cast<SInt16>(c.h), static_cast<SInt16>(c.v),
                           static_cast<UInt16>(c.radius), 0x1234);
        QDMP_Fill_Circle16(disc.handle(), static_cast<SInt16>(c.h), static_cast<SInt16>(c.v),
                           static_cast<UInt16>(c.radius), 0x1234);
        qdmp_test::ref_draw_circle(wantOutline, c.h, c.v, c.radius, 0x1234);
        qdmp_test::ref_fill_circle(wantDisc, c.h, c.v, c.radius, 0x1234);
        expect_same_image(outline, wantOutline, "circle-" + std::to_string(c.radius));
        expect_same_image(disc, wantDisc, "disc-" + std::to_string(c.radius));
    }
}

struct Segment {
    int fh, fv, th, tv;
};

void expect_curve_is(Point p0, Point p1, Point p2, const std::vector<Segment> &segments, const std::string &name)
{
    const RGBColor white{0xFFFF, 0xFFFF, 0xFFFF};
    GuardedMap curve(layout(32, R(-2, -2, 48, 48))), lines(layout(32, R(-2, -2, 48, 48)));
    QDMP_Draw_Curve(curve.handle(), p0, p1, p2, &white);
    for (const Segment &s : segments)
        qdmp_test::ref_line(lines, s.fh, s.fv, s.th, s.tv, 0x00FFFFFF);
    expect_same_image(curve, lines, name);
}

TEST(QdmpCurve, ShortCurveIsItsFourControlLegs)
{
    expect_curve_is(P(0, 0), P(4, 8), P(8, 0), {{0, 0, 2, 4}, {2, 4, 4, 4}, {4, 4, 6, 4}, {6, 4, 8, 0}}, "curve-short");
}

TEST(QdmpCurve, LongerCurveRecursesOnBothHalves)
{
    // Worked by hand: midpoints round toward minus infinity, pieces whose
    // ends lie within squared distance 100 become their two legs.
    const std::vector<Segment> legs = {
        {0, 0, 2, 5},     {2, 5, 4, 8},     {4, 8, 7, 12},    {7, 12, 10, 15},  {10, 15, 12, 17}, {12, 17, 14, 18},
        {14, 18, 17, 20}, {17, 20, 20, 20}, {20, 20, 22, 20}, {22, 20, 24, 18}, {24, 18, 27, 17}, {27, 17, 30, 15},
        {30, 15, 32, 12}, {32, 12, 34, 8},  {34, 8, 37, 5},   {37, 5, 40, 0},
    };
    expect_curve_is(P(0, 0), P(20, 40), P(40, 0), legs, "curve-long");
}

TEST(QdmpCurve, DegenerateAndDistance)
{
    expect_curve_is(P(3, 3), P(3, 3), P(3, 3), {{3, 3, 3, 3}}, "curve-point");
    struct Case {
        Point a, b;
        UInt32 d;
    } const cases[] = {
        {P(0, 0), P(3, 4), 25},
        {P(3, 4), P(0, 0), 25},
        {P(-32768, 0), P(0, 0), 1u << 30},
        {P(-32768, -32768), P(0, 0), 1u << 31},
        {P(-30000, 0), P(30000, 0), 5536u * 5536u}, // the difference wraps at 16 bits
    };
    for (const Case &c : cases)
        EXPECT_EQ(distance_squared(c.a, c.b), c.d) << c.a.h << "," << c.a.v;
    // Far-apart control points still end (and draw inside the map only).
    GuardedMap m(layout(8, R(0, 0, 16, 16)));
    const RGBColor grey{0x8000, 0x8000, 0x8000};
    QDMP_Draw_Curve(m.handle(), P(-32768, -32768), P(32767, -32768), P(32767, 32767), &grey);
    EXPECT_TRUE(m.guardsIntact());
}

} // namespace
