// The window port (bounds, pixel map, frame procedure) and the clock.
#include <gtest/gtest.h>

#include <ctime>

#include "platform/QDPort.h"
#include "platform/QVClock.h"

namespace {

TEST(Port, CreateRefusesSizesWithoutArea)
{
    const SInt16 sizes[][2] = {{0, 10}, {10, 0}, {-1, 10}, {10, -5}};
    for (const auto &s : sizes)
        EXPECT_EQ(QVPort_Create(s[0], s[1]), nullptr) << s[0] << " x " << s[1];
}

TEST(Port, PixelMapIsAClearedPacked32BitMapOfTheBounds)
{
    CGrafPtr port = QVPort_Create(7, 3);
    ASSERT_NE(port, nullptr);
    Rect b{-1, -1, -1, -1};
    EXPECT_EQ(GetPortBounds(port, &b), &b);
    EXPECT_TRUE(b.top == 0 && b.left == 0 && b.bottom == 3 && b.right == 7);

    PixMapHandle pm = QVPort_GetPixMap(port);
    ASSERT_NE(pm, nullptr);
    EXPECT_EQ((*pm)->pixelSize, 32);
    EXPECT_EQ((*pm)->rowBytes, 28);
    EXPECT_TRUE((*pm)->bounds.bottom == 3 && (*pm)->bounds.right == 7);
    for (int i = 0; i < 21; ++i)
        EXPECT_EQ(reinterpret_cast<const UInt32 *>((*pm)->baseAddr)[i], 0u);
    QVPort_Dispose(port);
    QVPort_Dispose(nullptr);
}

TEST(Port, ResizeReplacesTheBackingStoreOrKeepsIt)
{
    CGrafPtr port = QVPort_Create(4, 4);
    ASSERT_NE(port, nullptr);
    PixMapHandle pm = QVPort_GetPixMap(port);
    reinterpret_cast<UInt32 *>((*pm)->baseAddr)[0] = 0xFFFFFFFF;

    EXPECT_EQ(QVPort_Resize(port, 0, 9), paramErr);
    Rect b;
    GetPortBounds(port, &b);
    EXPECT_TRUE(b.bottom == 4 && b.right == 4) << "a refused size leaves the port as it was";

    EXPECT_EQ(QVPort_Resize(port, 9, 2), noErr);
    GetPortBounds(port, &b);
    EXPECT_TRUE(b.bottom == 2 && b.right == 9);
    pm = QVPort_GetPixMap(port);
    EXPECT_EQ((*pm)->rowBytes, 36);
    EXPECT_TRUE((*pm)->bounds.bottom == 2 && (*pm)->bounds.right == 9);
    for (int i = 0; i < 18; ++i)
        EXPECT_EQ(reinterpret_cast<const UInt32 *>((*pm)->baseAddr)[i], 0u);
    QVPort_Dispose(port);
}

time_t FixedAt(void *value)
{
    return *static_cast<time_t *>(value);
}

TEST(Clock, DefaultsToTheCLibraryAndCanBeReplaced)
{
    const time_t before = time(nullptr);
    const time_t now = QVClock_Now();
    EXPECT_GE(now, before);
    EXPECT_LE(now, time(nullptr));

    time_t fixed = -42;
    QVClock_SetSource(&FixedAt, &fixed);
    EXPECT_EQ(QVClock_Now(), -42);
    fixed = 1234567;
    EXPECT_EQ(QVClock_Now(), 1234567);

    QVClock_SetSource(nullptr, &fixed);
    EXPECT_GE(QVClock_Now(), before);
}

} // namespace
