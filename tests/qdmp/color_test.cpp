#include "qdmp/include/qdmp.h"
#include "qdmp/internal.h"
#include "support/guarded_map.h"

#include <gtest/gtest.h>

namespace {

using qdmp_test::GuardedMap;
using qdmp_test::MapLayout;

RGBColor C(UInt16 r, UInt16 g, UInt16 b)
{
    return RGBColor{r, g, b};
}

bool same(RGBColor a, RGBColor b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

MapLayout eight_bit(int entries)
{
    MapLayout l;
    l.bounds = Rect{0, 0, 4, 4};
    l.depth = 8;
    l.tableEntries = entries;
    return l;
}

TEST(QdmpColor, SixteenAndThirtyTwoBitConversions)
{
    struct Case {
        RGBColor c;
        UInt16 p16;
        UInt32 p32;
    } const cases[] = {
        {C(0xFFFF, 0x8000, 0x0000), 0x7E00, 0x00FF8000},
        {C(0x1234, 0x5678, 0x9ABC), (0x02 << 10) | (0x0A << 5) | 0x13, 0x0012569A},
        {C(0xFFFF, 0xFFFF, 0xFFFF), 0x7FFF, 0x00FFFFFF},
        {C(0, 0, 0), 0, 0},
        {C(0x07FF, 0x07FF, 0x00FF), 0, 0x00070700}, // below the top five bits
    };
    for (const Case &c : cases) {
        EXPECT_EQ(RGBColorToColor16(&c.c), c.p16) << std::hex << c.c.red;
        EXPECT_EQ(RGBColorToColor32(&c.c), c.p32) << std::hex << c.c.red;
    }
}

TEST(QdmpColor, PixelsBackToRGBColor)
{
    EXPECT_TRUE(same(Color16ToRGBColor(0x7FFF), C(0xF81F, 0xF81F, 0xF81F)));
    EXPECT_TRUE(same(Color16ToRGBColor(0x0421), C(0x0801, 0x0801, 0x0801)));
    EXPECT_TRUE(same(Color16ToRGBColor(0x8000), C(0, 0, 0))); // bit 15 ignored
    EXPECT_TRUE(same(Color32ToRGBColor(0xFF00FF80), C(0x0000, 0xFFFF, 0x8080)));
    EXPECT_TRUE(same(Color32ToRGBColor(0x12FF0001), C(0xFFFF, 0x0000, 0x0101)));
    // Every 16-bit pixel survives the round trip through RGBColor.
    for (UInt32 p = 0; p < 0x8000; ++p) {
        const RGBColor c = Color16ToRGBColor(p);
        ASSERT_EQ(RGBColorToColor16(&c), p);
    }
    // And every byte value of a 32-bit channel.
    for (UInt32 b = 0; b < 256; ++b) {
        const RGBColor c = Color32ToRGBColor(b << 16 | b << 8 | b);
        ASSERT_EQ(RGBColorToColor32(&c), b << 16 | b << 8 | b);
    }
}

TEST(QdmpColor, NearestTableEntry)
{
    GuardedMap m(eight_bit(4));
    m.setColor(0, C(0, 0, 0));
    m.setColor(1, C(1000, 1000, 1000));
    m.setColor(2, C(3000, 1000, 1000));
    m.setColor(3, C(0xFFFF, 0xFFFF, 0xFFFF));
    struct Case {
        const char *what;
        RGBColor c;
        UInt8 index;
    } const cases[] = {
        {"exact entry", C(3000, 1000, 1000), 2},
        {"exact white", C(0xFFFF, 0xFFFF, 0xFFFF), 3},
        {"midway between 1 and 2 takes the lower", C(2000, 1000, 1000), 1},
        {"one step darker than white", C(0xFFFE, 0xFFFF, 0xFFFF), 3},
        {"nearer to black", C(400, 400, 400), 0},
        {"sums past 32 bits compared exactly", C(0xFFFF, 0, 0xFFFF), 3},
    };
    for (const Case &c : cases)
        EXPECT_EQ(RGBColorToColor8(m.handle(), &c.c), c.index) << c.what;
}

TEST(QdmpColor, NearestEntryDefaultsTo255)
{
    const RGBColor grey = C(100, 100, 100);
    GuardedMap empty(eight_bit(0));
    GuardedMap noTable(eight_bit(-1));
    GuardedMap full(eight_bit(4));
    EXPECT_EQ(RGBColorToColor8(empty.handle(), &grey), 255) << "empty table";
    EXPECT_EQ(RGBColorToColor8(noTable.handle(), &grey), 255) << "no table";
    EXPECT_EQ(RGBColorToColor8(full.handle(), nullptr), 255) << "null colour";
    EXPECT_EQ(RGBColorToColor8(nullptr, &grey), 255) << "null handle";
    PixMapPtr none = nullptr;
    EXPECT_EQ(RGBColorToColor8(&none, &grey), 255) << "missing record";
    CTabPtr noTableRecord = nullptr;
    (*full.handle())->pmTable = &noTableRecord;
    EXPECT_EQ(RGBColorToColor8(full.handle(), &grey), 255) << "table handle to nothing";
}

TEST(QdmpColor, FindColorByIndexWrapsAroundTheTable)
{
    GuardedMap m(eight_bit(16));
    for (int i = 0; i < 16; ++i)
        m.setColor(i, C(static_cast<UInt16>(i), static_cast<UInt16>(100 + i), static_cast<UInt16>(200 + i)));
    EXPECT_TRUE(same(FindColorByIndex(m.handle(), 20), C(4, 104, 204)));
    EXPECT_TRUE(same(FindColorByIndex(m.handle(), 15), C(15, 115, 215)));
    EXPECT_TRUE(same(FindColorByIndex(m.handle(), 255), C(15, 115, 215)));
    EXPECT_TRUE(same(FindColorByIndex(m.handle(), 0), C(0, 100, 200)));

    GuardedMap noTable(eight_bit(-1));
    GuardedMap empty(eight_bit(0));
    EXPECT_TRUE(same(FindColorByIndex(noTable.handle(), 3), C(0, 0, 0)));
    EXPECT_TRUE(same(FindColorByIndex(empty.handle(), 3), C(0, 0, 0))) << "empty table: no read, no division";
    EXPECT_TRUE(same(FindColorByIndex(nullptr, 3), C(0, 0, 0)));
}

} // namespace
