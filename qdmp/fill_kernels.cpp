#include "qdmp/cpu_features.h"
#include "qdmp/kernels.h"

#include <cstring>

#if QDMP_X86_VECTORS
#include <immintrin.h>
#endif

namespace qdmp {
namespace {

void fill_scalar(char *p, std::size_t bytes, UInt32 pattern)
{
    unsigned char pat[4];
    std::memcpy(pat, &pattern, 4);
    for (std::size_t i = 0; i < bytes; ++i)
        p[i] = static_cast<char>(pat[i & 3]);
}

/* Uniform bytes are memset's job; otherwise wide stores of the pattern and a
 * byte tail (the tail starts on a multiple of 4 bytes, so on pattern byte 0). */
#if QDMP_X86_VECTORS
void fill_sse2(char *p, std::size_t bytes, UInt32 pattern)
{
    if (pattern == 0x01010101u * (pattern & 0xFF)) {
        std::memset(p, static_cast<int>(pattern & 0xFF), bytes);
        return;
    }
    const __m128i v = _mm_set1_epi32(static_cast<int>(pattern));
    std::size_t i = 0;
    for (; i + 64 <= bytes; i += 64) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p + i), v);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p + i + 16), v);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p + i + 32), v);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p + i + 48), v);
    }
    for (; i + 16 <= bytes; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p + i), v);
    fill_scalar(p + i, bytes - i, pattern);
}

__attribute__((target("avx2"))) void fill_avx2(char *p, std::size_t bytes, UInt32 pattern)
{
    if (pattern == 0x01010101u * (pattern & 0xFF)) {
        std::memset(p, static_cast<int>(pattern & 0xFF), bytes);
        return;
    }
    const __m256i v = _mm256_set1_epi32(static_cast<int>(pattern));
    std::size_t i = 0;
    for (; i + 128 <= bytes; i += 128) {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(p + i), v);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(p + i + 32), v);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(p + i + 64), v);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(p + i + 96), v);
    }
    for (; i + 32 <= bytes; i += 32)
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(p + i), v);
    fill_scalar(p + i, bytes - i, pattern);
}
#endif

FillKernel choose()
{
    const std::vector<FillKernel> all = fill_kernels();
    return all.back();
}

} // namespace

std::vector<FillKernel> fill_kernels()
{
    std::vector<FillKernel> all{{"scalar", fill_scalar}};
#if QDMP_X86_VECTORS
    all.push_back({"sse2", fill_sse2});
    if (cpu_has_avx2())
        all.push_back({"avx2", fill_avx2});
#endif
    return all;
}

void fill_pattern(char *p, std::size_t bytes, UInt32 pattern)
{
    static const FillKernel kernel = choose();
    kernel.run(p, bytes, pattern);
}

} // namespace qdmp
