#include "qdmp/cpu_features.h"
#include "qdmp/kernels.h"

#include <cstring>

#if QDMP_X86_VECTORS
#include <immintrin.h>
#endif

namespace qdmp {
namespace {

void mip_scalar(const char *upper, const char *lower, char *out, int count)
{
    for (int i = 0; i < count; ++i) {
        UInt32 px[4];
        std::memcpy(&px[0], upper + 8 * i, 8);
        std::memcpy(&px[2], lower + 8 * i, 8);
        const UInt32 o = mip_pixel(px[0], px[1], px[2], px[3]);
        std::memcpy(out + 4 * i, &o, 4);
    }
}

#if QDMP_X86_VECTORS
/* Four outputs from eight pixels of each row: halve whole words, then pair
 * the even and odd pixels with one shuffle each. All loads of a step come
 * before its store, so reducing a map into its own top-left corner works. */
inline __m128i half_bytes_sse2(__m128i x)
{
    return _mm_srli_epi32(_mm_and_si128(x, _mm_set1_epi32(static_cast<int>(0xFEFEFEFEu))), 1);
}

inline __m128i pair_sum_sse2(__m128i first, __m128i second)
{
    const __m128 h0 = _mm_castsi128_ps(half_bytes_sse2(first));
    const __m128 h1 = _mm_castsi128_ps(half_bytes_sse2(second));
    const __m128i even = _mm_castps_si128(_mm_shuffle_ps(h0, h1, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i odd = _mm_castps_si128(_mm_shuffle_ps(h0, h1, _MM_SHUFFLE(3, 1, 3, 1)));
    return half_bytes_sse2(_mm_add_epi32(even, odd));
}

void mip_sse2(const char *upper, const char *lower, char *out, int count)
{
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i u0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(upper + 8 * i));
        const __m128i u1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(upper + 8 * i + 16));
        const __m128i l0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lower + 8 * i));
        const __m128i l1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lower + 8 * i + 16));
        const __m128i o = _mm_add_epi32(pair_sum_sse2(u0, u1), pair_sum_sse2(l0, l1));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4 * i), o);
    }
    mip_scalar(upper + 8 * i, lower + 8 * i, out + 4 * i, count - i);
}

/* The same with eight (AVX2) or sixteen (AVX-512) outputs a step. The
 * shuffles pair pixels within 128-bit lanes, which leaves the outputs in
 * 64-bit pairs out of order; one permutation of the sum restores it. */
__attribute__((target("avx2"))) inline __m256i half_bytes_avx2(__m256i x)
{
    return _mm256_srli_epi32(_mm256_and_si256(x, _mm256_set1_epi32(static_cast<int>(0xFEFEFEFEu))), 1);
}

__attribute__((target("avx2"))) inline __m256i pair_sum_avx2(__m256i first, __m256i second)
{
    const __m256 h0 = _mm256_castsi256_ps(half_bytes_avx2(first));
    const __m256 h1 = _mm256_castsi256_ps(half_bytes_avx2(second));
    const __m256i even = _mm256_castps_si256(_mm256_shuffle_ps(h0, h1, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m256i odd = _mm256_castps_si256(_mm256_shuffle_ps(h0, h1, _MM_SHUFFLE(3, 1, 3, 1)));
    return half_bytes_avx2(_mm256_add_epi32(even, odd));
}

__attribute__((target("avx2"))) void mip_avx2(const char *upper, const char *lower, char *out, int count)
{
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i u0 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(upper + 8 * i));
        const __m256i u1 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(upper + 8 * i + 32));
        const __m256i l0 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(lower + 8 * i));
        const __m256i l1 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(lower + 8 * i + 32));
        const __m256i o = _mm256_add_epi32(pair_sum_avx2(u0, u1), pair_sum_avx2(l0, l1));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 4 * i),
                            _mm256_permute4x64_epi64(o, _MM_SHUFFLE(3, 1, 2, 0)));
    }
    mip_sse2(upper + 8 * i, lower + 8 * i, out + 4 * i, count - i);
}

/* The zero-masked forms with every lane kept are the plain operations; GCC 12
 * warns about the plain forms' undefined pass-through operand. */
__attribute__((target("avx512f"))) inline __m512i half_bytes_avx512(__m512i x)
{
    return _mm512_maskz_srli_epi32(0xFFFF, _mm512_and_si512(x, _mm512_set1_epi32(static_cast<int>(0xFEFEFEFEu))), 1);
}

__attribute__((target("avx512f"))) inline __m512i pair_sum_avx512(__m512i first, __m512i second)
{
    const __m512 h0 = _mm512_castsi512_ps(half_bytes_avx512(first));
    const __m512 h1 = _mm512_castsi512_ps(half_bytes_avx512(second));
    const __m512i even = _mm512_castps_si512(_mm512_shuffle_ps(h0, h1, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m512i odd = _mm512_castps_si512(_mm512_shuffle_ps(h0, h1, _MM_SHUFFLE(3, 1, 3, 1)));
    return half_bytes_avx512(_mm512_add_epi32(even, odd));
}

__attribute__((target("avx512f"))) void mip_avx512(const char *upper, const char *lower, char *out, int count)
{
    const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m512i u0 = _mm512_loadu_si512(upper + 8 * i);
        const __m512i u1 = _mm512_loadu_si512(upper + 8 * i + 64);
        const __m512i l0 = _mm512_loadu_si512(lower + 8 * i);
        const __m512i l1 = _mm512_loadu_si512(lower + 8 * i + 64);
        const __m512i o = _mm512_add_epi32(pair_sum_avx512(u0, u1), pair_sum_avx512(l0, l1));
        _mm512_storeu_si512(out + 4 * i, _mm512_maskz_permutexvar_epi64(0xFF, order, o));
    }
    mip_avx2(upper + 8 * i, lower + 8 * i, out + 4 * i, count - i);
}
#endif

MipKernel choose()
{
    const std::vector<MipKernel> all = mip_kernels();
    return all.back();
}

} // namespace

std::vector<MipKernel> mip_kernels()
{
    std::vector<MipKernel> all{{"scalar", mip_scalar}};
#if QDMP_X86_VECTORS
    all.push_back({"sse2", mip_sse2});
    if (cpu_has_avx2())
        all.push_back({"avx2", mip_avx2});
    if (cpu_has_avx2() && cpu_has_avx512f())
        all.push_back({"avx512", mip_avx512});
#endif
    return all;
}

void mip_run(const char *upper, const char *lower, char *out, int count)
{
    static const MipKernel kernel = choose();
    kernel.run(upper, lower, out, count);
}

} // namespace qdmp
