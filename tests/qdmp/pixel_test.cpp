#include "qdmp/include/qdmp.h"
#include "support/guarded_map.h"

#include <gtest/gtest.h>

namespace {

using qdmp_test::GuardedMap;
using qdmp_test::MapLayout;

MapLayout layout(int depth, Rect bounds = Rect{10, 20, 30, 60})
{
    MapLayout l;
    l.bounds = bounds;
    l.depth = depth;
    l.padBytes = 3;
    l.tableEntries = depth == 8 ? 16 : -1;
    return l;
}

Point P(int h, int v)
{
    Point p;
    p.h = static_cast<SInt16>(h);
    p.v = static_cast<SInt16>(v);
    return p;
}

bool same(RGBColor a, RGBColor b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

// bounds (top 10, left 20, bottom 30, right 60)
TEST(QdmpPixel, WritesLandOnlyInsideBounds)
{
    struct Case {
        int h, v;
        bool written;
    } const cases[] = {
        {20, 10, true},  {59, 29, true},  {60, 10, false}, {20, 30, false},
        {19, 10, false}, {20, 9, false},  {-32768, 32767, false}, {40, 20, true},
    };
    for (int depth : {8, 16, 32}) {
        for (const Case &c : cases) {
            GuardedMap m(layout(depth));
            const auto h = static_cast<SInt16>(c.h), v = static_cast<SInt16>(c.v);
            if (depth == 8)
                QDMP_Set_Pixel8(m.handle(), h, v, 0x5A);
            else if (depth == 16)
                QDMP_Set_Pixel16(m.handle(), h, v, 0x5A5A);
            else
                QDMP_Set_Pixel32(m.handle(), h, v, 0x805A5A5Au);
            GuardedMap expected(layout(depth));
            if (c.written)
                expected.set(c.h, c.v, depth == 8 ? 0x5A : depth == 16 ? 0x5A5A : 0x805A5A5Au);
            EXPECT_EQ(m.pixels(), expected.pixels()) << depth << " bits at " << c.h << "," << c.v;
            EXPECT_TRUE(m.guardsIntact());
            const UInt32 read = depth == 8    ? QDMP_Get_Pixel8(m.handle(), h, v)
                                : depth == 16 ? QDMP_Get_Pixel16(m.handle(), h, v)
                                              : QDMP_Get_Pixel32(m.handle(), h, v);
            EXPECT_EQ(read, c.written ? expected.get(c.h, c.v) : 0u) << depth << " bits read";
        }
    }
}

TEST(QdmpPixel, FirstAndLastPixelAddresses)
{
    GuardedMap m(layout(8));
    QDMP_Set_Pixel8(m.handle(), 20, 10, 7);
    QDMP_Set_Pixel8(m.handle(), 59, 29, 9);
    const auto *base = reinterpret_cast<const unsigned char *>((*m.handle())->baseAddr);
    EXPECT_EQ(base[0], 7) << "(left, top) is the base address";
    EXPECT_EQ(base[19 * (*m.handle())->rowBytes + 39], 9) << "last pixel of the last row";
}

TEST(QdmpPixel, DepthMustMatchTheMember)
{
    GuardedMap m32(layout(32));
    GuardedMap m16(layout(16));
    m32.set(20, 10, 0x12345678);
    m16.set(20, 10, 0x1234);
    EXPECT_EQ(QDMP_Get_Pixel16(m32.handle(), 20, 10), 0);
    EXPECT_EQ(QDMP_Get_Pixel8(m32.handle(), 20, 10), 0);
    EXPECT_EQ(QDMP_Get_Pixel32(m16.handle(), 20, 10), 0u);
    QDMP_Set_Pixel32(m16.handle(), 21, 10, 0xFFFFFFFF);
    QDMP_Set_Pixel8(m16.handle(), 21, 10, 0xFF);
    QDMP_Set_Pixel16(m32.handle(), 21, 10, 0xFFFF);
    EXPECT_EQ(m16.get(21, 10), 0u);
    EXPECT_EQ(m32.get(21, 10), 0u);
    EXPECT_TRUE(m16.guardsIntact());
}

TEST(QdmpPixel, MissingMapsReadZeroAndWriteNothing)
{
    PixMapPtr none = nullptr;
    const RGBColor white{0xFFFF, 0xFFFF, 0xFFFF};
    for (PixMapHandle pm : {static_cast<PixMapHandle>(nullptr), &none}) {
        EXPECT_EQ(QDMP_Get_Pixel8(pm, 0, 0), 0);
        EXPECT_EQ(QDMP_Get_Pixel16(pm, 0, 0), 0);
        EXPECT_EQ(QDMP_Get_Pixel32(pm, 0, 0), 0u);
        EXPECT_TRUE(same(QDMP_Get_Pixel(pm, 0, 0), RGBColor{0, 0, 0}));
        QDMP_Set_Pixel8(pm, 0, 0, 1);
        QDMP_Set_Pixel16(pm, 0, 0, 1);
        QDMP_Set_Pixel32(pm, 0, 0, 1);
        QDMP_Set_Pixel(pm, 0, 0, &white);
    }
}

TEST(QdmpPixel, ColourReaderAndWriter)
{
    const RGBColor white{0xFFFF, 0xFFFF, 0xFFFF};
    GuardedMap m16(layout(16));
    QDMP_Set_Pixel(m16.handle(), 30, 15, &white);
    EXPECT_EQ(m16.get(30, 15), 0x7FFFu);
    EXPECT_TRUE(same(QDMP_Get_Pixel(m16.handle(), 30, 15), RGBColor{0xF81F, 0xF81F, 0xF81F}));

    GuardedMap m32(layout(32));
    m32.set(30, 15, 0x80112233);
    EXPECT_EQ(QDMP_Get_Pixel32(m32.handle(), 30, 15), 0x80112233u) << "top byte kept";
    EXPECT_TRUE(same(QDMP_Get_Pixel(m32.handle(), 30, 15), RGBColor{0x1111, 0x2222, 0x3333})) << "top byte dropped";
    QDMP_Set_Pixel(m32.handle(), 31, 15, &white);
    EXPECT_EQ(m32.get(31, 15), 0x00FFFFFFu);

    GuardedMap m8(layout(8));
    m8.setColor(0, RGBColor{1, 2, 3});
    m8.setColor(9, white);
    QDMP_Set_Pixel(m8.handle(), 30, 15, &white);
    EXPECT_EQ(m8.get(30, 15), 9u);
    EXPECT_TRUE(same(QDMP_Get_Pixel(m8.handle(), 30, 15), white));

    // Outside the map: black at 16 and 32 bits, table entry 0 at 8 bits.
    EXPECT_TRUE(same(QDMP_Get_Pixel(m16.handle(), 0, 0), RGBColor{0, 0, 0}));
    EXPECT_TRUE(same(QDMP_Get_Pixel(m32.handle(), 0, 0), RGBColor{0, 0, 0}));
    EXPECT_TRUE(same(QDMP_Get_Pixel(m8.handle(), 0, 0), RGBColor{1, 2, 3}));

    // Other depths: black and no write.
    MapLayout odd = layout(32);
    GuardedMap m24(odd);
    (*m24.handle())->pixelSize = 24;
    m24.set(30, 15, 0x00FFFFFF);
    EXPECT_TRUE(same(QDMP_Get_Pixel(m24.handle(), 30, 15), RGBColor{0, 0, 0}));
    QDMP_Set_Pixel(m24.handle(), 31, 15, &white);
    EXPECT_EQ(m24.get(31, 15), 0u);
}

TEST(QdmpPixel, NullColour)
{
    // At 8 bits the search turns a null colour into index 255; at 16 and 32
    // bits nothing is read and nothing written.
    GuardedMap m8(layout(8));
    QDMP_Set_Pixel(m8.handle(), 30, 15, nullptr);
    EXPECT_EQ(m8.get(30, 15), 255u);
    for (int depth : {16, 32}) {
        GuardedMap m(layout(depth));
        m.set(30, 15, 0x1234);
        QDMP_Set_Pixel(m.handle(), 30, 15, nullptr);
        QDMP_Set_PixelP(m.handle(), P(30, 15), nullptr);
        EXPECT_EQ(m.get(30, 15), 0x1234u) << depth;
    }
}

TEST(QdmpPixel, PointVariantsTakeHThenV)
{
    const RGBColor grey{0x8000, 0x8000, 0x8000};
    GuardedMap a(layout(16)), b(layout(16));
    QDMP_Set_PixelP16(a.handle(), P(27, 15), 0x1111);
    QDMP_Set_Pixel16(b.handle(), 27, 15, 0x1111);
    EXPECT_EQ(a.pixels(), b.pixels());
    EXPECT_EQ(QDMP_Get_PixelP16(a.handle(), P(27, 15)), 0x1111);

    GuardedMap c8(layout(8)), c32(layout(32));
    QDMP_Set_PixelP8(c8.handle(), P(21, 11), 5);
    QDMP_Set_PixelP32(c32.handle(), P(21, 11), 0xABCDEF);
    QDMP_Set_PixelP(c32.handle(), P(22, 11), &grey);
    EXPECT_EQ(c8.get(21, 11), 5u);
    EXPECT_EQ(QDMP_Get_PixelP8(c8.handle(), P(21, 11)), 5);
    EXPECT_EQ(QDMP_Get_PixelP32(c32.handle(), P(21, 11)), 0xABCDEFu);
    EXPECT_TRUE(same(QDMP_Get_PixelP(c32.handle(), P(22, 11)), RGBColor{0x8080, 0x8080, 0x8080}));
}

TEST(QdmpPixel, BottomUpAndMisalignedMaps)
{
    for (int depth : {8, 16, 32}) {
        MapLayout l = layout(depth, Rect{-5, -7, 3, 4});
        l.bottomUp = true;
        l.misalign = 1;
        GuardedMap m(l);
        for (int v = -5; v < 3; ++v)
            for (int h = -7; h < 4; ++h) {
                const UInt32 value = static_cast<UInt32>((h * 31 + v * 7) & 0x7F);
                if (depth == 8)
                    QDMP_Set_Pixel8(m.handle(), static_cast<SInt16>(h), static_cast<SInt16>(v), static_cast<UInt8>(value));
                else if (depth == 16)
                    QDMP_Set_Pixel16(m.handle(), static_cast<SInt16>(h), static_cast<SInt16>(v), static_cast<UInt16>(value));
                else
                    QDMP_Set_Pixel32(m.handle(), static_cast<SInt16>(h), static_cast<SInt16>(v), value);
                ASSERT_EQ(m.get(h, v), value) << depth << " " << h << "," << v;
            }
        EXPECT_TRUE(m.guardsIntact());
    }
}

} // namespace
