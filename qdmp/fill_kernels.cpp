#include "qdmp/cpu_features.h"
#include "qdmp/kernels.h"

#include <cstdint>
#include <cstring>

#if QDMP_X86_VECTORS
#include <immintrin.h>
#endif

/* Long fills go to the processor's string store, which is what memset uses
 * for blocks of this size; shorter ones to vector stores. Under
 * AddressSanitizer the string store is left out: it cannot see into inline
 * assembly. */
#if defined(__SANITIZE_ADDRESS__)
#define QDMP_STRING_FILL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QDMP_STRING_FILL 0
#endif
#endif
#ifndef QDMP_STRING_FILL
#define QDMP_STRING_FILL QDMP_X86_VECTORS
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

/* Wide stores of the pattern, then a byte tail; every block is a multiple of
 * 4 bytes, so the tail starts on the pattern's first byte. */
#if QDMP_X86_VECTORS
void fill_sse2(char *p, std::size_t bytes, UInt32 pattern)
{
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
    fill_sse2(p + i, bytes - i, pattern);
}
#endif

#if QDMP_STRING_FILL
constexpr std::size_t kStringFillMinBytes = 2048;

/* 8 bytes at a time with `rep stosq`, then the tail. */
void fill_string(char *p, std::size_t bytes, UInt32 pattern)
{
    const std::uint64_t twice = (static_cast<std::uint64_t>(pattern) << 32) | pattern;
    std::size_t words = bytes / 8;
    char *cursor = p;
    __asm__ volatile("rep stosq" : "+D"(cursor), "+c"(words) : "a"(twice) : "memory");
    fill_scalar(p + (bytes & ~std::size_t{7}), bytes & 7, pattern);
}
#endif

FillKernel choose_vector()
{
    FillKernel best{"scalar", fill_scalar};
    for (const FillKernel &k : fill_kernels())
        if (std::strcmp(k.name, "string") != 0)
            best = k;
    return best;
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
#if QDMP_STRING_FILL
    all.push_back({"string", fill_string});
#endif
    return all;
}

void fill_pattern(char *p, std::size_t bytes, UInt32 pattern)
{
    if (pattern == 0x01010101u * (pattern & 0xFF)) {
        std::memset(p, static_cast<int>(pattern & 0xFF), bytes);
        return;
    }
#if QDMP_STRING_FILL
    if (bytes >= kStringFillMinBytes) {
        fill_string(p, bytes, pattern);
        return;
    }
#endif
    static const FillKernel vector = choose_vector();
    vector.run(p, bytes, pattern);
}

} // namespace qdmp
