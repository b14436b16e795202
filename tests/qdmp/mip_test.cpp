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

MapLayout layout32(Rect bounds, int pad = 4)
{
    MapLayout l;
    l.bounds = bounds;
    l.depth = 32;
    l.padBytes = pad;
    l.tableEntries = -1;
    return l;
}

TEST(QdmpMip, WorkedBytes)
{
    struct Case {
        unsigned a, b, c, d, out;
    } const cases[] = {
        {255, 255, 255, 255, 254}, {1, 1, 1, 1, 0}, {200, 100, 50, 0, 87}, {0, 0, 0, 0, 0}, {3, 3, 0, 0, 1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(qdmp_test::ref_mip_byte(c.a, c.b, c.c, c.d), c.out);
        const auto word = [](unsigned x) { return x * 0x01010101u; };
        EXPECT_EQ(qdmp::mip_pixel(word(c.a), word(c.b), word(c.c), word(c.d)), word(c.out));
    }
}

TEST(QdmpMip, WorkedMapTouchesNothingElse)
{
    GuardedMap src(layout32(R(0, 0, 2, 4))), dst(layout32(R(0, 0, 3, 5)));
    src.set(0, 0, 0xFFFFFFFF);
    src.set(1, 0, 0xFFFFFFFF);
    src.set(2, 0, 0x01010101);
    src.set(3, 0, 0x01010101);
    for (int v = 0; v < 3; ++v)
        for (int h = 0; h < 5; ++h)
            dst.set(h, v, 0xDEADBEEF);
    QDMP_DownMip32A(src.handle(), dst.handle());
    EXPECT_EQ(dst.get(0, 0), 0x7F7F7F7Fu);
    EXPECT_EQ(dst.get(1, 0), 0x00000000u);
    for (int v = 0; v < 3; ++v)
        for (int h = 0; h < 5; ++h)
            if (v != 0 || h > 1) {
                EXPECT_EQ(dst.get(h, v), 0xDEADBEEFu) << h << "," << v;
            }
    EXPECT_TRUE(dst.guardsIntact());
    EXPECT_TRUE(src.guardsIntact());
}

TEST(QdmpMip, EveryKernelMatchesTheReference)
{
    std::mt19937 rng(21);
    for (const qdmp::MipKernel &k : qdmp::mip_kernels()) {
        for (int count = 0; count <= 40; ++count) {
            std::vector<UInt32> upper(2 * static_cast<size_t>(count)), lower(upper.size());
            for (size_t i = 0; i < upper.size(); ++i) {
                upper[i] = rng();
                lower[i] = rng();
            }
            std::vector<UInt32> out(static_cast<size_t>(count) + 1, 0x5A5A5A5A), want(out);
            for (int i = 0; i < count; ++i)
                want[static_cast<size_t>(i)] =
                    qdmp_test::ref_mip_pixel(upper[2 * static_cast<size_t>(i)], upper[2 * static_cast<size_t>(i) + 1],
                                             lower[2 * static_cast<size_t>(i)], lower[2 * static_cast<size_t>(i) + 1]);
            k.run(reinterpret_cast<const char *>(upper.data()), reinterpret_cast<const char *>(lower.data()),
                  reinterpret_cast<char *>(out.data()), count);
            ASSERT_EQ(out, want) << k.name << " count " << count;
        }
    }
}

/* Odd sizes drop the last column or row; a small destination takes what
 * fits; bounds anywhere start from each map's top-left pixel. */
TEST(QdmpMip, SizesAndPlacesStayInsideBothMaps)
{
    struct Case {
        const char *what;
        Rect src, dst;
        bool bottomUp;
    } const cases[] = {
        {"even, exact", R(0, 0, 8, 16), R(0, 0, 4, 8), false},
        {"odd width and height", R(0, 0, 7, 13), R(0, 0, 4, 7), false},
        {"destination too small", R(0, 0, 20, 30), R(0, 0, 3, 5), false},
        {"bounds away from the origin", R(-7, 100, 5, 117), R(30, -40, 40, -30), false},
        {"bottom-up rows", R(3, 3, 12, 20), R(0, 0, 6, 9), true},
        {"one pixel source", R(0, 0, 1, 1), R(0, 0, 2, 2), false},
        {"one row source", R(0, 0, 1, 9), R(0, 0, 2, 5), false},
        {"near the 16-bit limits", R(32700, 32700, 32767, 32767), R(-32768, -32768, -32700, -32700), false},
    };
    std::mt19937 rng(2);
    for (const Case &c : cases) {
        MapLayout sl = layout32(c.src, 3), dl = layout32(c.dst, 5);
        sl.bottomUp = c.bottomUp;
        dl.misalign = 2;
        GuardedMap src(sl), dst(dl);
        src.fillRandom(rng);
        dst.fillRandom(rng);
        GuardedMap expected(dst);
        qdmp_test::ref_down_mip(src, expected);
        QDMP_DownMip32A(src.handle(), dst.handle());
        EXPECT_EQ(dst.pixels(), expected.pixels()) << c.what;
        EXPECT_TRUE(dst.guardsIntact()) << c.what;
    }
}

TEST(QdmpMip, MissingMapsAndOtherDepthsDoNothing)
{
    GuardedMap m(layout32(R(0, 0, 4, 4)));
    std::mt19937 rng(1);
    m.fillRandom(rng);
    GuardedMap before(m);
    PixMapPtr none = nullptr;
    QDMP_DownMip32A(nullptr, m.handle());
    QDMP_DownMip32A(&none, m.handle());
    QDMP_DownMip32A(m.handle(), nullptr);
    MapLayout l16;
    l16.bounds = R(0, 0, 8, 8);
    l16.depth = 16;
    GuardedMap m16(l16);
    QDMP_DownMip32A(m16.handle(), m.handle());
    QDMP_DownMip32A(m.handle(), m16.handle());
    EXPECT_EQ(m.pixels(), before.pixels());
    EXPECT_TRUE(m16.guardsIntact());
}

TEST(QdmpMip, InPlaceIntoTheTopLeftCorner)
{
    std::mt19937 rng(9);
    GuardedMap m(layout32(R(0, 0, 10, 22)));
    m.fillRandom(rng);
    GuardedMap expected(m);
    qdmp_test::ref_down_mip(expected, expected);
    QDMP_DownMip32A(m.handle(), m.handle());
    EXPECT_EQ(m.pixels(), expected.pixels());
}

} // namespace
