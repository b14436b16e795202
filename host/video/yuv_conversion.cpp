#include "host/video/yuv_conversion.h"

#include <cstddef>

namespace qvhost {
namespace {

constexpr double kKr = 0.2126, kKg = 0.7152, kKb = 0.0722;
constexpr double kYScale = 219.0 / 255.0, kCScale = 224.0 / 255.0;

// Coefficients in 1/65536 units.
constexpr int Fixed(double v)
{
    return static_cast<int>(v * 65536.0 + (v < 0 ? -0.5 : 0.5));
}
constexpr int kYR = Fixed(kYScale * kKr), kYG = Fixed(kYScale * kKg), kYB = Fixed(kYScale * kKb);
constexpr double kCbDiv = 2.0 * (1.0 - kKb), kCrDiv = 2.0 * (1.0 - kKr);
constexpr int kUR = Fixed(-kCScale * kKr / kCbDiv), kUG = Fixed(-kCScale * kKg / kCbDiv),
              kUB = Fixed(kCScale * (1.0 - kKb) / kCbDiv);
constexpr int kVR = Fixed(kCScale * (1.0 - kKr) / kCrDiv), kVG = Fixed(-kCScale * kKg / kCrDiv),
              kVB = Fixed(-kCScale * kKb / kCrDiv);
constexpr int kYOffset = (16 << 16) + (1 << 15);
constexpr int kCOffset = (128 << 18) + (1 << 17); // chroma sums four pixels: two more bits

inline int R(uint32_t p)
{
    return static_cast<int>((p >> 16) & 0xFF);
}
inline int G(uint32_t p)
{
    return static_cast<int>((p >> 8) & 0xFF);
}
inline int B(uint32_t p)
{
    return static_cast<int>(p & 0xFF);
}

} // namespace

// Written for the vectoriser (this file is built with -O3): with AVX2 the
// 32-bit products run eight pixels at a time, so that version is made too and
// picked at load time on processors that have it.
__attribute__((target_clones("avx2", "default"))) void ArgbToYuv420(const uint32_t *src, int width, int height,
                                                                    int srcStride, const YuvPlanes &out)
{
    for (int y = 0; y < height; y += 2) {
        const uint32_t *row0 = src + static_cast<ptrdiff_t>(y) * srcStride;
        const uint32_t *row1 = row0 + srcStride;
        uint8_t *y0 = out.y + static_cast<ptrdiff_t>(y) * out.yStride;
        uint8_t *y1 = y0 + out.yStride;
        uint8_t *u = out.u + static_cast<ptrdiff_t>(y / 2) * out.uStride;
        uint8_t *v = out.v + static_cast<ptrdiff_t>(y / 2) * out.vStride;
        for (int x = 0; x < width; ++x) {
            y0[x] = static_cast<uint8_t>((kYR * R(row0[x]) + kYG * G(row0[x]) + kYB * B(row0[x]) + kYOffset) >> 16);
            y1[x] = static_cast<uint8_t>((kYR * R(row1[x]) + kYG * G(row1[x]) + kYB * B(row1[x]) + kYOffset) >> 16);
        }
        for (int x = 0; x < width; x += 2) {
            const uint32_t a = row0[x], b = row0[x + 1], c = row1[x], d = row1[x + 1];
            const int r = R(a) + R(b) + R(c) + R(d);
            const int g = G(a) + G(b) + G(c) + G(d);
            const int bl = B(a) + B(b) + B(c) + B(d);
            u[x / 2] = static_cast<uint8_t>((kUR * r + kUG * g + kUB * bl + kCOffset) >> 18);
            v[x / 2] = static_cast<uint8_t>((kVR * r + kVG * g + kVB * bl + kCOffset) >> 18);
        }
    }
}

} // namespace qvhost
