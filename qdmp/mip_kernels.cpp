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
#endif
    return all;
}

void mip_run(const char *upper, const char *lower, char *out, int count)
{
    static const MipKernel kernel = choose();
    kernel.run(upper, lower, out, count);
}

} // namespace qdmp
