#include "qdmp/include/qdmp.h"
#include "qdmp/kernels.h"
#include "support/guarded_map.h"
#include "support/reference.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using qdmp_test::GuardedMap;
using qdmp_test::MapLayout;

Rect R(int top, int left, int bottom, int right)
{
    return Rect{static_cast<SInt16>(top), static_cast<SInt16>(left), static_cast<SInt16>(bottom),
                static_cast<SInt16>(right)};
}

MapLayout layout32(Rect bounds)
{
    MapLayout l;
    l.bounds = bounds;
    l.depth = 32;
    l.padBytes = 4;
    l.tableEntries = -1;
    return l;
}

TEST(QdmpBlend, WorkedValues)
{
    struct Case {
        UInt32 s, d, out;
    } const cases[] = {
        {0x80FF0000, 0x000000FF, 0x007F007E},
        {0xFFFFFFFF, 0x00000000, 0x00FEFEFE},
        {0xFFFFFFFF, 0xFF123456, 0x00FEFEFE},
        {0x00ABCDEF, 0x80102030, 0x000F1F2F},
        {0x00000000, 0xFFFFFFFF, 0x00FEFEFE},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(qdmp_test::ref_blend(c.s, c.d), c.out) << std::hex << c.s << " over " << c.d;
        EXPECT_EQ(qdmp::blend_pixel(c.s, c.d), c.out) << std::hex << c.s << " over " << c.d;
        GuardedMap src(layout32(R(0, 0, 1, 1))), dst(layout32(R(0, 0, 1, 1)));
        src.set(0, 0, c.s);
        dst.set(0, 0, c.d);
        QDMP_Copy_Scan32A(src.handle(), dst.handle(), 0, 0, 1, 0, 0, 1);
        EXPECT_EQ(dst.get(0, 0), c.out) << std::hex << c.s << " over " << c.d;
    }
}

TEST(QdmpBlend, FormulaMatchesReferenceForEveryCoverageAndChannel)
{
    for (UInt32 a = 0; a < 256; ++a)
        for (UInt32 x = 0; x < 256; x += 3) {
            const UInt32 s = a << 24 | x << 16 | (255 - x) << 8 | (x ^ 0x5A);
            const UInt32 d = 0x7F000000u | (x ^ 0xA5) << 16 | x << 8 | (255 - x);
            ASSERT_EQ(qdmp::blend_pixel(s, d), qdmp_test::ref_blend(s, d)) << a << " " << x;
        }
}

/* Every vector form against the scalar reference: random pixels including the
 * all-transparent and all-opaque cases, every run length up to a few vectors
 * wide and every offset from the natural alignment. */
TEST(QdmpBlend, EveryKernelMatchesTheReferenceBitForBit)
{
    std::mt19937 rng(11);
    const std::vector<qdmp::BlendKernel> kernels = qdmp::blend_kernels();
    ASSERT_GE(kernels.size(), 1u);
    for (const qdmp::BlendKernel &k : kernels) {
        for (int count = 0; count <= 70; ++count) {
            for (int offset = 0; offset < 4; ++offset) {
                std::vector<UInt32> s(static_cast<std::size_t>(count) + 2), d(s.size());
                for (std::size_t i = 0; i < s.size(); ++i) {
                    s[i] = rng();
                    d[i] = rng();
                    if (rng() % 4 == 0)
                        s[i] &= 0x00FFFFFF;
                    if (rng() % 4 == 0)
                        s[i] |= 0xFF000000;
                }
                std::vector<UInt32> expected = d;
                for (int i = 0; i < count; ++i)
                    expected[static_cast<std::size_t>(i) + 1] = qdmp_test::ref_blend(s[i + 1], d[i + 1]);
                std::vector<unsigned char> sb(s.size() * 4 + 4), db(d.size() * 4 + 4);
                std::memcpy(sb.data() + offset, s.data(), s.size() * 4);
                std::memcpy(db.data() + offset, d.data(), d.size() * 4);
                k.run(reinterpret_cast<const char *>(sb.data() + offset + 4),
                      reinterpret_cast<char *>(db.data() + offset + 4), count);
                std::vector<UInt32> got(d.size());
                std::memcpy(got.data(), db.data() + offset, d.size() * 4);
                ASSERT_EQ(got, expected) << k.name << " count " << count << " offset " << offset;
            }
        }
    }
}

TEST(QdmpBlend, RectangleBlendMatchesTheReference)
{
    struct Case {
        const char *what;
        Rect s, d;
    } const cases[] = {
        {"inside both", R(1, 1, 5, 9), R(2, 3, 6, 11)},
        {"source 2 rows above its map", R(-2, 0, 4, 6), R(0, 0, 6, 6)},
        {"destination above its map", R(0, 0, 6, 6), R(-3, 2, 3, 8)},
        {"bottoms past both maps", R(5, 0, 30, 4), R(8, 0, 40, 4)},
        {"unequal widths", R(0, 0, 4, 6), R(0, 0, 4, 7)},
        {"ends given right to left", R(0, 9, 4, 3), R(1, 2, 5, 8)},
        {"past the left and right edges", R(2, -5, 6, 30), R(1, -12, 5, 23)},
        {"hostile coordinates", R(-32768, -32768, 32767, 32767), R(-32768, -32768, 32767, 32767)},
        {"unequal heights", R(0, 0, 10, 4), R(0, 0, 3, 4)},
    };
    std::mt19937 rng(3);
    for (const Case &c : cases) {
        GuardedMap src(layout32(R(0, -2, 12, 20))), dst(layout32(R(-1, 0, 14, 18)));
        src.fillRandom(rng);
        dst.fillRandom(rng);
        GuardedMap expected(dst);
        qdmp_test::ref_copy_rect32a(src, expected, c.s, c.d);
        QDMP_Copy_Rect32A(src.handle(), dst.handle(), &c.s, &c.d);
        EXPECT_EQ(dst.pixels(), expected.pixels()) << c.what;
        EXPECT_TRUE(dst.guardsIntact()) << c.what;
    }
}

TEST(QdmpBlend, ClippedSourceTopStartsAtTheDestinationsThirdRow)
{
    GuardedMap src(layout32(R(0, 0, 4, 2))), dst(layout32(R(0, 0, 6, 2)));
    for (int v = 0; v < 4; ++v)
        for (int h = 0; h < 2; ++h)
            src.set(h, v, 0xFF000000u | static_cast<UInt32>(v * 0x20 + h));
    const Rect s = R(-2, 0, 4, 2), d = R(0, 0, 6, 2);
    QDMP_Copy_Rect32A(src.handle(), dst.handle(), &s, &d);
    EXPECT_EQ(dst.get(0, 0), 0u);
    EXPECT_EQ(dst.get(1, 1), 0u);
    EXPECT_EQ(dst.get(0, 2), qdmp_test::ref_blend(src.get(0, 0), 0));
    EXPECT_EQ(dst.get(1, 5), qdmp_test::ref_blend(src.get(1, 3), 0));
    // Every written pixel has its top byte cleared.
    for (int v = 0; v < 6; ++v)
        for (int h = 0; h < 2; ++h)
            EXPECT_EQ(dst.get(h, v) >> 24, 0u);
}

TEST(QdmpBlend, ScanBlendCutsAtTheEdges)
{
    std::mt19937 rng(8);
    struct Case {
        int sv, s1, s2, dv, d1, d2;
    } const cases[] = {
        {0, 0, 10, 1, 0, 10},   {0, -5, 5, 2, 10, 20}, {3, 15, -5, 3, -8, 12},
        {0, 0, 10, 40, 0, 10},  {0, 0, 10, 1, 0, 9},   {2, -32768, 32767, 2, -32768, 32767},
    };
    for (const Case &c : cases) {
        GuardedMap src(layout32(R(0, 0, 6, 12))), dst(layout32(R(0, 0, 6, 14)));
        src.fillRandom(rng);
        dst.fillRandom(rng);
        GuardedMap expected(dst);
        qdmp_test::ref_copy_scan32a(src, expected, c.sv, c.s1, c.s2, c.dv, c.d1, c.d2);
        const auto a = [](int x) { return static_cast<SInt16>(x); };
        QDMP_Copy_Scan32A(src.handle(), dst.handle(), a(c.sv), a(c.s1), a(c.s2), a(c.dv), a(c.d1), a(c.d2));
        EXPECT_EQ(dst.pixels(), expected.pixels()) << c.s1 << ".." << c.s2;
        EXPECT_TRUE(dst.guardsIntact());
    }
}

TEST(QdmpBlend, OverlappingRunsInOneRowGoPixelByPixel)
{
    std::mt19937 rng(4);
    for (int shift : {-5, -1, 0, 1, 3, 9}) {
        GuardedMap m(layout32(R(0, 0, 1, 64)));
        m.fillRandom(rng);
        GuardedMap expected(m);
        qdmp_test::ref_copy_scan32a(expected, expected, 0, 10, 50, 0, 10 + shift, 50 + shift);
        QDMP_Copy_Scan32A(m.handle(), m.handle(), 0, 10, 50, 0, static_cast<SInt16>(10 + shift),
                          static_cast<SInt16>(50 + shift));
        EXPECT_EQ(m.pixels(), expected.pixels()) << shift;
    }
}

} // namespace
