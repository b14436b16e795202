#include "qdmp/cpu_features.h"
#include "qdmp/kernels.h"

#include <cstring>

#if QDMP_X86_VECTORS
#include <immintrin.h>
#endif

/* The vector forms work on 16-bit lanes. Unpacking a byte x above a zero
 * byte gives x << 8, and the high half of (x << 8) * a is exactly
 * (x * a) >> 8, so each product-and-shift of the scalar formula is one
 * multiply. The coverage a of each pixel is spread over its four lanes; the
 * alpha lane is computed like the others and cleared at the end. */

namespace qdmp {
namespace {

void blend_scalar(const char *src, char *dst, int count)
{
    for (int i = 0; i < count; ++i) {
        UInt32 s, d;
        std::memcpy(&s, src + 4 * i, 4);
        std::memcpy(&d, dst + 4 * i, 4);
        const UInt32 out = blend_pixel(s, d);
        std::memcpy(dst + 4 * i, &out, 4);
    }
}

#if QDMP_X86_VECTORS
inline __m128i blend4_sse2(__m128i s, __m128i d)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i low8 = _mm_set1_epi16(0x00FF);
    __m128i a = _mm_srli_epi32(s, 24);
    a = _mm_or_si128(a, _mm_slli_epi32(a, 16));
    const __m128i aLo = _mm_unpacklo_epi32(a, a);
    const __m128i aHi = _mm_unpackhi_epi32(a, a);
    const __m128i bLo = _mm_xor_si128(aLo, low8);
    const __m128i bHi = _mm_xor_si128(aHi, low8);
    const __m128i lo = _mm_add_epi16(_mm_mulhi_epu16(_mm_unpacklo_epi8(zero, s), aLo),
                                     _mm_mulhi_epu16(_mm_unpacklo_epi8(zero, d), bLo));
    const __m128i hi = _mm_add_epi16(_mm_mulhi_epu16(_mm_unpackhi_epi8(zero, s), aHi),
                                     _mm_mulhi_epu16(_mm_unpackhi_epi8(zero, d), bHi));
    return _mm_and_si128(_mm_packus_epi16(lo, hi), _mm_set1_epi32(0x00FFFFFF));
}

void blend_sse2(const char *src, char *dst, int count)
{
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 4 * i));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i *>(dst + 4 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 4 * i), blend4_sse2(s, d));
    }
    blend_scalar(src + 4 * i, dst + 4 * i, count - i);
}

__attribute__((target("avx2"))) inline __m256i blend8_avx2(__m256i s, __m256i d)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i low8 = _mm256_set1_epi16(0x00FF);
    __m256i a = _mm256_srli_epi32(s, 24);
    a = _mm256_or_si256(a, _mm256_slli_epi32(a, 16));
    const __m256i aLo = _mm256_unpacklo_epi32(a, a);
    const __m256i aHi = _mm256_unpackhi_epi32(a, a);
    const __m256i bLo = _mm256_xor_si256(aLo, low8);
    const __m256i bHi = _mm256_xor_si256(aHi, low8);
    const __m256i lo = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_unpacklo_epi8(zero, s), aLo),
                                        _mm256_mulhi_epu16(_mm256_unpacklo_epi8(zero, d), bLo));
    const __m256i hi = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_unpackhi_epi8(zero, s), aHi),
                                        _mm256_mulhi_epu16(_mm256_unpackhi_epi8(zero, d), bHi));
    return _mm256_and_si256(_mm256_packus_epi16(lo, hi), _mm256_set1_epi32(0x00FFFFFF));
}

__attribute__((target("avx2"))) void blend_avx2(const char *src, char *dst, int count)
{
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + 4 * i));
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(dst + 4 * i));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(dst + 4 * i), blend8_avx2(s, d));
    }
    blend_sse2(src + 4 * i, dst + 4 * i, count - i);
}
#endif

BlendKernel choose()
{
    const std::vector<BlendKernel> all = blend_kernels();
    return all.back();
}

} // namespace

std::vector<BlendKernel> blend_kernels()
{
    std::vector<BlendKernel> all{{"scalar", blend_scalar}};
#if QDMP_X86_VECTORS
    all.push_back({"sse2", blend_sse2});
    if (cpu_has_avx2())
        all.push_back({"avx2", blend_avx2});
#endif
    return all;
}

void blend_run(const char *src, char *dst, int count)
{
    static const BlendKernel kernel = choose();
    kernel.run(src, dst, count);
}

} // namespace qdmp
