#include "qdmp/include/qdmp.h"
#include "support/guarded_map.h"
#include "support/reference.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using qdmp_test::GuardedMap;
using qdmp_test::MapLayout;

Rect R(int top, int left, int bottom, int right)
{
    return Rect{static_cast<SInt16>(top), static_cast<SInt16>(left), static_cast<SInt16>(bottom),
                static_cast<SInt16>(right)};
}

MapLayout layout(int depth, Rect bounds, int pad = 5)
{
    MapLayout l;
    l.bounds = bounds;
    l.depth = depth;
    l.padBytes = pad;
    l.tableEntries = -1;
    return l;
}

/* A source map whose pixel (h, v) holds a value naming it. */
GuardedMap numbered(int depth, Rect bounds)
{
    GuardedMap m(layout(depth, bounds));
    const UInt32 mask = depth == 8 ? 0xFF : depth == 16 ? 0x7FFF : 0xFFFFFFFF;
    for (int v = bounds.top; v < bounds.bottom; ++v)
        for (int h = bounds.left; h < bounds.right; ++h)
            m.set(h, v, (static_cast<UInt32>(v) * 1000u + static_cast<UInt32>(h) + 1u) & mask);
    return m;
}

void copy_rect(int depth, GuardedMap &src, GuardedMap &dst, const Rect &s, const Rect &d)
{
    if (depth == 8)
        QDMP_Copy_Rect8(src.handle(), dst.handle(), &s, &d);
    else if (depth == 16)
        QDMP_Copy_Rect16(src.handle(), dst.handle(), &s, &d);
    else
        QDMP_Copy_Rect32(src.handle(), dst.handle(), &s, &d);
}

/* Rectangle copies against the per-pixel reference, at every depth and
 * through the dispatcher. */
TEST(QdmpCopy, RectangleCopiesMatchTheReference)
{
    struct Case {
        const char *what;
        Rect srcRect, dstRect;
        bool copies;
    } const cases[] = {
        {"10x4 into 10x6 copies 4 rows", R(2, 3, 6, 13), R(1, 1, 7, 11), true},
        {"10x4 into 11x4 copies nothing", R(2, 3, 6, 13), R(1, 1, 5, 12), false},
        {"source 3 rows above its map", R(-3, 0, 5, 8), R(4, 2, 12, 10), true},
        {"bottom at the map's bottom", R(16, 0, 20, 6), R(0, 0, 4, 6), true},
        {"reaching past both sides", R(5, -4, 9, 40), R(0, -10, 4, 22), true},
        {"missing the source map", R(100, 100, 110, 110), R(0, 0, 10, 10), false},
        {"inverted source", R(6, 3, 2, 13), R(1, 1, 7, 11), false},
    };
    const Rect srcBounds = R(0, 0, 20, 24), dstBounds = R(0, -2, 16, 26);
    for (int depth : {8, 16, 32}) {
        for (const Case &c : cases) {
            for (bool dispatched : {false, true}) {
                GuardedMap src = numbered(depth, srcBounds);
                GuardedMap dst(layout(depth, dstBounds, 7));
                GuardedMap expected(dst);
                qdmp_test::ref_copy_rect(src, expected, c.srcRect, c.dstRect);
                if (dispatched)
                    QDMP_Copy_Rect(src.handle(), dst.handle(), &c.srcRect, &c.dstRect);
                else
                    copy_rect(depth, src, dst, c.srcRect, c.dstRect);
                EXPECT_EQ(dst.pixels(), expected.pixels()) << c.what << " at " << depth;
                EXPECT_EQ(dst.pixels() != GuardedMap(layout(depth, dstBounds, 7)).pixels(), c.copies) << c.what;
                EXPECT_TRUE(dst.guardsIntact()) << c.what;
                EXPECT_TRUE(src.guardsIntact()) << c.what;
            }
        }
    }
}

TEST(QdmpCopy, ClippedSourceStartsAtItsMapsTopRow)
{
    // The source rectangle starts 3 rows above its map; the destination's
    // first row receives the source map's top row.
    GuardedMap src = numbered(16, R(0, 0, 10, 10));
    GuardedMap dst(layout(16, R(0, 0, 10, 10)));
    const Rect s = R(-3, 0, 5, 4), d = R(2, 0, 10, 4);
    QDMP_Copy_Rect16(src.handle(), dst.handle(), &s, &d);
    EXPECT_EQ(dst.get(0, 2), src.get(0, 0));
    EXPECT_EQ(dst.get(3, 6), src.get(3, 4));
    EXPECT_EQ(dst.get(0, 7), 0u) << "min(5, 8) = 5 rows";
}

TEST(QdmpCopy, WideRowsCopyWhole)
{
    // 10000 pixels of 32 bits: 40000 bytes in a row, more than 16 bits hold.
    GuardedMap src(layout(32, R(0, 0, 2, 10000)));
    GuardedMap dst(layout(32, R(0, 0, 2, 10000)));
    std::mt19937 rng(5);
    src.fillRandom(rng);
    const Rect all = R(0, 0, 2, 10000);
    QDMP_Copy_Rect32(src.handle(), dst.handle(), &all, &all);
    EXPECT_EQ(dst.pixels(), src.pixels());
    EXPECT_TRUE(dst.guardsIntact());
}

TEST(QdmpCopy, DepthsMustMatch)
{
    GuardedMap m8 = numbered(8, R(0, 0, 8, 8));
    GuardedMap m16(layout(16, R(0, 0, 8, 8)));
    GuardedMap m32(layout(32, R(0, 0, 8, 8)));
    const Rect all = R(0, 0, 8, 8);
    QDMP_Copy_Rect(m8.handle(), m16.handle(), &all, &all);
    QDMP_Copy_Scan(m8.handle(), m16.handle(), 0, 0, 8, 0, 0, 8);
    // A per-depth member refuses maps of another depth: reading 8-bit rows
    // as 32-bit ones would run past them.
    QDMP_Copy_Rect32(m8.handle(), m32.handle(), &all, &all);
    QDMP_Copy_Rect8(m8.handle(), m32.handle(), &all, &all);
    QDMP_Copy_Scan32(m8.handle(), m32.handle(), 0, 0, 8, 0, 0, 8);
    QDMP_Copy_Rect32A(m8.handle(), m32.handle(), &all, &all);
    QDMP_Copy_Scan32A(m8.handle(), m32.handle(), 0, 0, 8, 0, 0, 8);
    EXPECT_EQ(m16.pixels(), GuardedMap(layout(16, all)).pixels());
    EXPECT_EQ(m32.pixels(), GuardedMap(layout(32, all)).pixels());
    EXPECT_TRUE(m8.guardsIntact());
}

TEST(QdmpCopy, MissingMapsAndRectanglesDoNothing)
{
    GuardedMap m = numbered(32, R(0, 0, 4, 4));
    GuardedMap before(m);
    const Rect all = R(0, 0, 4, 4);
    PixMapPtr none = nullptr;
    for (PixMapHandle missing : {static_cast<PixMapHandle>(nullptr), &none}) {
        QDMP_Copy_Rect(missing, m.handle(), &all, &all);
        QDMP_Copy_Rect(m.handle(), missing, &all, &all);
        QDMP_Copy_Rect32(missing, m.handle(), &all, &all);
        QDMP_Copy_Rect32A(m.handle(), missing, &all, &all);
        QDMP_Copy_Scan(missing, m.handle(), 0, 0, 4, 1, 0, 4);
        QDMP_Copy_Scan(m.handle(), missing, 0, 0, 4, 1, 0, 4);
        QDMP_Copy_Scan8(missing, m.handle(), 0, 0, 4, 1, 0, 4);
        QDMP_Copy_Scan16(m.handle(), missing, 0, 0, 4, 1, 0, 4);
        QDMP_Copy_Scan32(missing, m.handle(), 0, 0, 4, 1, 0, 4);
        QDMP_Copy_Scan32A(missing, m.handle(), 0, 0, 4, 1, 0, 4);
    }
    QDMP_Copy_Rect32(m.handle(), m.handle(), nullptr, &all);
    QDMP_Copy_Rect32(m.handle(), m.handle(), &all, nullptr);
    QDMP_Copy_Rect32A(m.handle(), m.handle(), nullptr, &all);
    EXPECT_EQ(m.pixels(), before.pixels());
}

TEST(QdmpCopy, ScanCopies)
{
    struct Case {
        const char *what;
        int srcV, srcH1, srcH2, dstV, dstH1, dstH2;
    } const cases[] = {
        {"ends in either order", 3, 10, 5, 1, 0, 5},
        {"zero length", 3, 4, 4, 1, 7, 7},
        {"unequal lengths", 3, 0, 5, 1, 0, 6},
        {"destination row at the bottom", 3, 0, 5, 12, 0, 5},
        {"source row above", -1, 0, 5, 2, 0, 5},
        {"past the source's left edge", 2, -3, 4, 5, 2, 9},
        {"past the destination's right edge", 2, 0, 10, 5, 14, 4},
        {"past every edge", 6, -20, 20, 7, 30, -10},
        {"hostile 16-bit ends", 4, -32768, 32767, 4, 32767, -32768},
    };
    const Rect srcBounds = R(0, -2, 10, 14), dstBounds = R(0, 0, 12, 16);
    for (int depth : {8, 16, 32}) {
        for (const Case &c : cases) {
            GuardedMap src = numbered(depth, srcBounds);
            GuardedMap dst(layout(depth, dstBounds));
            GuardedMap expected(dst);
            qdmp_test::ref_copy_scan(src, expected, c.srcV, c.srcH1, c.srcH2, c.dstV, c.dstH1, c.dstH2);
            const auto a = [](int x) { return static_cast<SInt16>(x); };
            if (depth == 8)
                QDMP_Copy_Scan8(src.handle(), dst.handle(), a(c.srcV), a(c.srcH1), a(c.srcH2), a(c.dstV), a(c.dstH1),
                                a(c.dstH2));
            else if (depth == 16)
                QDMP_Copy_Scan16(src.handle(), dst.handle(), a(c.srcV), a(c.srcH1), a(c.srcH2), a(c.dstV),
                                 a(c.dstH1), a(c.dstH2));
            else
                QDMP_Copy_Scan(src.handle(), dst.handle(), a(c.srcV), a(c.srcH1), a(c.srcH2), a(c.dstV), a(c.dstH1),
                               a(c.dstH2));
            EXPECT_EQ(dst.pixels(), expected.pixels()) << c.what << " at " << depth;
            EXPECT_TRUE(dst.guardsIntact()) << c.what;
        }
    }
    // The worked case: source pixels 5..9 of the row to destination 0..4.
    GuardedMap src = numbered(8, srcBounds);
    GuardedMap dst(layout(8, dstBounds));
    QDMP_Copy_Scan8(src.handle(), dst.handle(), 3, 10, 5, 1, 0, 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(dst.get(i, 1), src.get(5 + i, 3));
    EXPECT_EQ(dst.get(5, 1), 0u);
}

TEST(QdmpCopy, OverlappingCopiesWithinOneMap)
{
    // Rectangle rows move whole; scan pixels go one by one from the left, so
    // a scan copied one pixel to the right repeats its first pixel.
    GuardedMap m = numbered(32, R(0, 0, 6, 12));
    GuardedMap expected(m);
    const Rect s = R(0, 0, 4, 8), d = R(1, 2, 5, 10);
    QDMP_Copy_Rect32(m.handle(), m.handle(), &s, &d);
    qdmp_test::ref_copy_rect(expected, expected, s, d);
    EXPECT_EQ(m.pixels(), expected.pixels());

    GuardedMap n = numbered(16, R(0, 0, 2, 12));
    const UInt32 first = n.get(0, 0);
    QDMP_Copy_Scan16(n.handle(), n.handle(), 0, 0, 8, 0, 1, 9);
    for (int h = 0; h < 9; ++h)
        EXPECT_EQ(n.get(h, 0), first) << h;
}

} // namespace
