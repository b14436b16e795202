#include "platform/Multiprocessing.h"
#include "platform/QDPixMap.h"
#include "qdmp/include/qdmp.h"
#include "qdmp/internal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(QdmpInit, WithoutTheProbeTheFlagIsZero)
{
    // This program defines no _MPIsFullyInitialized: the weak reference is null.
    EXPECT_EQ(&_MPIsFullyInitialized, nullptr);
    EXPECT_EQ(QDMP_Init(), 0);
    EXPECT_EQ(gMP_Flag, 0);
}

TEST(PlatformPixMap, MakesMapsOfEachDepth)
{
    const Rect bounds{-3, 5, 7, 25}; // 20 x 10
    for (SInt16 depth : {8, 16, 32}) {
        PixMapHandle pm = QVPixMap_New(&bounds, depth, 0, depth == 8 ? QVColorTable_NewGrayRamp(256) : nullptr);
        ASSERT_NE(pm, nullptr) << depth;
        EXPECT_EQ((*pm)->pixelSize, depth);
        EXPECT_EQ(GetPixRowBytes(pm), 20 * depth / 8) << "packed";
        EXPECT_EQ(GetPixBaseAddr(pm), (*pm)->baseAddr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(GetPixBaseAddr(pm)) % 64, 0u);
        // Every pixel is addressable and starts at zero.
        for (int v = -3; v < 7; ++v)
            for (int h = 5; h < 25; ++h)
                ASSERT_EQ(QDMP_Get_Pixel32(pm, static_cast<SInt16>(h), static_cast<SInt16>(v)) +
                              QDMP_Get_Pixel16(pm, static_cast<SInt16>(h), static_cast<SInt16>(v)) +
                              QDMP_Get_Pixel8(pm, static_cast<SInt16>(h), static_cast<SInt16>(v)),
                          0u);
        QDMP_Fill_Rect(pm, bounds, nullptr); // index 255 at 8 bits, nothing otherwise
        QVPixMap_Dispose(pm);
    }
    PixMapHandle padded = QVPixMap_New(&bounds, 16, 64, nullptr);
    ASSERT_NE(padded, nullptr);
    EXPECT_EQ(GetPixRowBytes(padded), 64);
    QVPixMap_Dispose(padded);
    QVPixMap_Dispose(nullptr);
}

TEST(PlatformPixMap, RefusesBadRequests)
{
    const Rect good{0, 0, 4, 4}, empty{0, 0, 0, 4}, inverted{4, 0, 0, 4};
    EXPECT_EQ(QVPixMap_New(nullptr, 32, 0, nullptr), nullptr);
    EXPECT_EQ(QVPixMap_New(&empty, 32, 0, nullptr), nullptr);
    EXPECT_EQ(QVPixMap_New(&inverted, 32, 0, nullptr), nullptr);
    EXPECT_EQ(QVPixMap_New(&good, 24, 0, nullptr), nullptr);
    EXPECT_EQ(QVPixMap_New(&good, 32, 15, QVColorTable_NewGrayRamp(2)), nullptr) << "stride below 16 bytes";
    EXPECT_EQ(QVColorTable_New(nullptr, 257), nullptr);
    EXPECT_EQ(QVColorTable_New(nullptr, -1), nullptr);
    EXPECT_EQ(QVColorTable_NewGrayRamp(0), nullptr);
}

TEST(PlatformPixMap, ColourTables)
{
    const RGBColor colors[3] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    CTabHandle t = QVColorTable_New(colors, 3);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ((*t)->ctSize, 2);
    EXPECT_EQ((*t)->ctTable[2].rgb.blue, 9);
    EXPECT_EQ((*t)->ctTable[1].value, 1);
    QVColorTable_Dispose(t);

    CTabHandle none = QVColorTable_New(nullptr, 0);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ((*none)->ctSize, -1);
    QVColorTable_Dispose(none);

    CTabHandle ramp = QVColorTable_NewGrayRamp(5);
    ASSERT_NE(ramp, nullptr);
    EXPECT_EQ((*ramp)->ctTable[0].rgb.red, 0);
    EXPECT_EQ((*ramp)->ctTable[2].rgb.green, 32767);
    EXPECT_EQ((*ramp)->ctTable[4].rgb.blue, 65535);
    QVColorTable_Dispose(ramp);
    QVColorTable_Dispose(nullptr);
}

TEST(PlatformMultiprocessing, BlockCopyIsSafeForOverlaps)
{
    std::vector<char> b = {'a', 'b', 'c', 'd', 'e', 'f'};
    MPBlockCopy(b.data(), b.data() + 1, 4);
    EXPECT_EQ(std::string(b.begin(), b.end()), "aabcdf");
    MPBlockCopy(b.data() + 2, b.data(), 3);
    EXPECT_EQ(std::string(b.begin(), b.end()), "bcdcdf");
    MPBlockCopy(b.data(), b.data() + 3, 0);
    MPBlockCopy(b.data(), b.data() + 3, -5);
    EXPECT_EQ(std::string(b.begin(), b.end()), "bcdcdf");
}

} // namespace
