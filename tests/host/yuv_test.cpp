// The encoder's colour conversion against its double-precision reference.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "host/YuvConversion.h"

using namespace qvhost;

namespace {

struct Planes {
    Planes(int w, int h) : y(static_cast<size_t>(w) * h), u(static_cast<size_t>(w / 2) * (h / 2)), v(u.size()), w(w) {}
    YuvPlanes view() { return YuvPlanes{y.data(), w, u.data(), w / 2, v.data(), w / 2}; }
    std::vector<uint8_t> y, u, v;
    int w;
};

TEST(YuvConversion, KnownColours)
{
    struct Case {
        uint32_t argb;
        int y, u, v;
    } cases[] = {
        {0xFF000000u, 16, 128, 128},  {0xFFFFFFFFu, 235, 128, 128}, {0xFFFF0000u, 63, 102, 240},
        {0xFF00FF00u, 173, 42, 26},   {0xFF0000FFu, 32, 240, 118},  {0x00808080u, 126, 128, 128},
    };
    for (const Case &c : cases) {
        std::vector<uint32_t> src(4, c.argb);
        Planes fast(2, 2), slow(2, 2);
        ArgbToYuv420(src.data(), 2, 2, 2, fast.view());
        ReferenceArgbToYuv420(src.data(), 2, 2, 2, slow.view());
        EXPECT_EQ(slow.y[0], c.y) << std::hex << c.argb;
        EXPECT_EQ(slow.u[0], c.u) << std::hex << c.argb;
        EXPECT_EQ(slow.v[0], c.v) << std::hex << c.argb;
        EXPECT_EQ(fast.y, slow.y);
        EXPECT_EQ(fast.u, slow.u);
        EXPECT_EQ(fast.v, slow.v);
    }
}

TEST(YuvConversion, FastPathMatchesTheReference)
{
    std::mt19937 rng(11);
    const int w = 38, h = 22, stride = 41; // a stride wider than the image
    std::vector<uint32_t> src(static_cast<size_t>(stride) * h);
    for (uint32_t &p : src)
        p = rng();
    Planes fast(w, h), slow(w, h);
    ArgbToYuv420(src.data(), w, h, stride, fast.view());
    ReferenceArgbToYuv420(src.data(), w, h, stride, slow.view());
    for (size_t i = 0; i < fast.y.size(); ++i)
        ASSERT_NEAR(fast.y[i], slow.y[i], 1) << i;
    for (size_t i = 0; i < fast.u.size(); ++i) {
        ASSERT_NEAR(fast.u[i], slow.u[i], 1) << i;
        ASSERT_NEAR(fast.v[i], slow.v[i], 1) << i;
    }
}

} // namespace
