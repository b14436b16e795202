/* The library's inner loops over one row: solid fills, alpha blends and the
 * 2 x 2 reduction. They trust their arguments (clipped by the callers). Each
 * has a plain scalar form, which is the reference the other forms must match
 * bit for bit; which form runs is decided once, at first use, from what the
 * processor offers. */
#ifndef QV_QDMP_KERNELS_H
#define QV_QDMP_KERNELS_H

#include "platform/mac_types.h"

#include <cstddef>
#include <vector>

namespace qdmp {

/* The 4-byte pattern whose repetition from a pixel's address lays down that
 * pixel again and again (native byte order). */
inline UInt32 fill_pattern_of(UInt8 value)
{
    return 0x01010101u * value;
}
inline UInt32 fill_pattern_of(UInt16 value)
{
    return (UInt32{value} << 16) | value;
}
inline UInt32 fill_pattern_of(UInt32 value)
{
    return value;
}

/* Writes `bytes` bytes at p, repeating the 4 bytes of `pattern` as they lie
 * in memory, starting with its first byte at p. `bytes` is a multiple of the
 * pixel size that chose the pattern. Uniform patterns go to memset, long
 * blocks to the string store where there is one, the rest to vector stores. */
void fill_pattern(char *p, std::size_t bytes, UInt32 pattern);

/* One source pixel over one destination pixel: coverage a = S >> 24, each
 * colour channel (S*a >> 8) + (D*(255 - a) >> 8), top byte 0. */
inline UInt32 blend_pixel(UInt32 s, UInt32 d)
{
    const UInt32 a = s >> 24;
    const UInt32 b = 255 - a;
    UInt32 out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const UInt32 sc = (s >> shift) & 0xFF;
        const UInt32 dc = (d >> shift) & 0xFF;
        out |= (((sc * a) >> 8) + ((dc * b) >> 8)) << shift;
    }
    return out;
}

/* Byte-wise half with the lowest bit of every byte dropped first, so no bit
 * crosses into the neighbouring byte. */
inline UInt32 half_bytes(UInt32 x)
{
    return (x & 0xFEFEFEFEu) >> 1;
}

/* One output pixel of the reduction from a, b (upper row) and c, d (lower). */
inline UInt32 mip_pixel(UInt32 a, UInt32 b, UInt32 c, UInt32 d)
{
    return half_bytes(half_bytes(a) + half_bytes(b)) + half_bytes(half_bytes(c) + half_bytes(d));
}

/* A row kernel in each of its forms. */
struct BlendKernel {
    const char *name;
    /* Blends `count` 32-bit pixels of src over dst. The two runs must be the
     * same memory or not overlap at all. */
    void (*run)(const char *src, char *dst, int count);
};

struct MipKernel {
    const char *name;
    /* Writes `count` pixels to out from 2 x count pixels of each source row. */
    void (*run)(const char *upper, const char *lower, char *out, int count);
};

struct FillKernel {
    const char *name;
    void (*run)(char *p, std::size_t bytes, UInt32 pattern);
};

/* Every form this processor can run, the scalar one first. Blends and the
 * reduction use the last; fills choose by length (see fill_pattern). */
std::vector<BlendKernel> blend_kernels();
std::vector<MipKernel> mip_kernels();
std::vector<FillKernel> fill_kernels();

/* The forms in use. */
void blend_run(const char *src, char *dst, int count);
void mip_run(const char *upper, const char *lower, char *out, int count);

} // namespace qdmp

#endif
