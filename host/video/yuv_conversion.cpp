#include "host/video/yuv_conversion.h"

#include <cstddef>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QV_YUV_AVX2 1
#endif

namespace qvhost {
namespace {

constexpr double kKr = 0.2126, kKg = 0.7152, kKb = 0.0722;
constexpr double kYScale = 219.0 / 255.0, kCScale = 224.0 / 255.0;
constexpr double kCbDiv = 2.0 * (1.0 - kKb), kCrDiv = 2.0 * (1.0 - kKr);

// Coefficients in 1/32768 units: each fits the 16-bit multiplier of the
// vector kernel.
constexpr int kShift = 15;
constexpr int Fixed(double v)
{
    return static_cast<int>(v * (1 << kShift) + (v < 0 ? -0.5 : 0.5));
}
constexpr int kYR = Fixed(kYScale * kKr), kYG = Fixed(kYScale * kKg), kYB = Fixed(kYScale * kKb);
constexpr int kUR = Fixed(-kCScale * kKr / kCbDiv), kUG = Fixed(-kCScale * kKg / kCbDiv),
              kUB = Fixed(kCScale * (1.0 - kKb) / kCbDiv);
constexpr int kVR = Fixed(kCScale * (1.0 - kKr) / kCrDiv), kVG = Fixed(-kCScale * kKg / kCrDiv),
              kVB = Fixed(-kCScale * kKb / kCrDiv);
constexpr int kYOffset = (16 << kShift) + (1 << (kShift - 1));
constexpr int kCOffset = (128 << (kShift + 2)) + (1 << (kShift + 1)); // chroma sums four pixels: two more bits

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

// Columns x0 to width of one pair of rows, a pixel (and a 2x2 block) at a time.
void PlainRows(const uint32_t *row0, const uint32_t *row1, int x0, int width, uint8_t *y0, uint8_t *y1, uint8_t *u,
               uint8_t *v)
{
    for (int x = x0; x < width; ++x) {
        y0[x] = static_cast<uint8_t>((kYR * R(row0[x]) + kYG * G(row0[x]) + kYB * B(row0[x]) + kYOffset) >> kShift);
        y1[x] = static_cast<uint8_t>((kYR * R(row1[x]) + kYG * G(row1[x]) + kYB * B(row1[x]) + kYOffset) >> kShift);
    }
    for (int x = x0; x < width; x += 2) {
        const uint32_t a = row0[x], b = row0[x + 1], c = row1[x], d = row1[x + 1];
        const int r = R(a) + R(b) + R(c) + R(d);
        const int g = G(a) + G(b) + G(c) + G(d);
        const int bl = B(a) + B(b) + B(c) + B(d);
        u[x / 2] = static_cast<uint8_t>((kUR * r + kUG * g + kUB * bl + kCOffset) >> (kShift + 2));
        v[x / 2] = static_cast<uint8_t>((kVR * r + kVG * g + kVB * bl + kCOffset) >> (kShift + 2));
    }
}

#ifdef QV_YUV_AVX2
// 16-bit lanes: each pixel's blue and red (`br`), green and alpha (`ga`).
#define QV_SPLIT(p, br, ga)                                                                                            \
    const __m256i br = _mm256_and_si256(p, lowBytes);                                                                  \
    const __m256i ga = _mm256_and_si256(_mm256_srli_epi32(p, 8), lowBytes)

// Eight 32-bit values of each of `a` and `b` (in order) to sixteen bytes.
__attribute__((target("avx2"))) inline __m128i Bytes16(__m256i a, __m256i b)
{
    const __m256i words = _mm256_packs_epi32(a, b);          // a0-3 b0-3 | a4-7 b4-7
    const __m256i bytes = _mm256_packus_epi16(words, words); // a0-3 b0-3 a0-3 b0-3 | a4-7 b4-7 ...
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 0, 0, 0, 0);
    return _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(bytes, order));
}

// Eight pixels' luma from their channels in 16-bit lanes (QV_SPLIT).
__attribute__((target("avx2"))) inline __m256i Luma(__m256i br, __m256i ga)
{
    const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(br, _mm256_set1_epi32((kYR << 16) | kYB)),
                                         _mm256_madd_epi16(ga, _mm256_set1_epi32(kYG)));
    return _mm256_srai_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(kYOffset)), kShift);
}

// One chroma plane of sixteen columns of two rows, from the rows' channel
// sums (`brA`, `gaA` the first eight columns, `brB`, `gaB` the next):
// per column a weighted sum, adjacent columns added across.
__attribute__((target("avx2"))) inline __m256i Chroma(__m256i brA, __m256i gaA, __m256i brB, __m256i gaB, int kR,
                                                      int kG, int kB)
{
    const __m256i kBR = _mm256_set1_epi32(kR * 65536 | (kB & 0xFFFF)), kGA = _mm256_set1_epi32(kG & 0xFFFF);
    const __m256i a = _mm256_add_epi32(_mm256_madd_epi16(brA, kBR), _mm256_madd_epi16(gaA, kGA));
    const __m256i b = _mm256_add_epi32(_mm256_madd_epi16(brB, kBR), _mm256_madd_epi16(gaB, kGA));
    const __m256i pairs = _mm256_permute4x64_epi64(_mm256_hadd_epi32(a, b), 0xD8); // a01 a23 a45 a67 b01 ...
    return _mm256_srai_epi32(_mm256_add_epi32(pairs, _mm256_set1_epi32(kCOffset)), kShift + 2);
}

// Sixteen pixels of two rows at a time; returns the first column left undone.
__attribute__((target("avx2"))) int Avx2Rows(const uint32_t *row0, const uint32_t *row1, int width, uint8_t *y0,
                                             uint8_t *y1, uint8_t *u, uint8_t *v)
{
    const __m256i lowBytes = _mm256_set1_epi32(0x00FF00FF);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m256i p0a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(row0 + x));
        const __m256i p0b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(row0 + x + 8));
        const __m256i p1a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(row1 + x));
        const __m256i p1b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(row1 + x + 8));
        QV_SPLIT(p0a, br0a, ga0a);
        QV_SPLIT(p0b, br0b, ga0b);
        QV_SPLIT(p1a, br1a, ga1a);
        QV_SPLIT(p1b, br1b, ga1b);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(y0 + x), Bytes16(Luma(br0a, ga0a), Luma(br0b, ga0b)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(y1 + x), Bytes16(Luma(br1a, ga1a), Luma(br1b, ga1b)));
        // Rows summed in 16 bits (at most 510 a channel), alpha's lane multiplied by 0.
        const __m256i brA = _mm256_add_epi16(br0a, br1a), gaA = _mm256_add_epi16(ga0a, ga1a);
        const __m256i brB = _mm256_add_epi16(br0b, br1b), gaB = _mm256_add_epi16(ga0b, ga1b);
        const __m128i uv =
            Bytes16(Chroma(brA, gaA, brB, gaB, kUR, kUG, kUB), Chroma(brA, gaA, brB, gaB, kVR, kVG, kVB));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(u + x / 2), uv);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(v + x / 2), _mm_srli_si128(uv, 8));
    }
    return x;
}
#undef QV_SPLIT
#endif

} // namespace

void ArgbToYuv420(const uint32_t *src, int width, int height, int srcStride, const YuvPlanes &out)
{
#ifdef QV_YUV_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
#endif
    for (int y = 0; y < height; y += 2) {
        const uint32_t *row0 = src + static_cast<ptrdiff_t>(y) * srcStride;
        const uint32_t *row1 = row0 + srcStride;
        uint8_t *y0 = out.y + static_cast<ptrdiff_t>(y) * out.yStride;
        uint8_t *y1 = y0 + out.yStride;
        uint8_t *u = out.u + static_cast<ptrdiff_t>(y / 2) * out.uStride;
        uint8_t *v = out.v + static_cast<ptrdiff_t>(y / 2) * out.vStride;
        int done = 0;
#ifdef QV_YUV_AVX2
        if (avx2)
            done = Avx2Rows(row0, row1, width, y0, y1, u, v);
#endif
        PlainRows(row0, row1, done, width, y0, y1, u, v);
    }
}

} // namespace qvhost
