// Colour conversion of frames for the H.264 encoder: native 32-bit ARGB
// (full range) to planar YUV 4:2:0, BT.709 limited range (Y 16..235,
// Cb and Cr 16..240), each chroma sample from the mean of its 2x2 pixels.
//
//   Y  = 16  + 219/255 * (0.2126 R + 0.7152 G + 0.0722 B)
//   Cb = 128 + 224/255 * (B - Y') / 1.8556     (Y' = the bracket above)
//   Cr = 128 + 224/255 * (R - Y') / 1.5748
#pragma once

#include <cstdint>

namespace qvhost {

struct YuvPlanes {
    uint8_t *y;
    int yStride;
    uint8_t *u;
    int uStride;
    uint8_t *v;
    int vStride;
};

// The fast path: fixed point (1/32768), rounding to nearest, sixteen pixels
// at a time where the processor has AVX2. `width` and
// `height` must be even; `srcStride` in words.
void ArgbToYuv420(const uint32_t *src, int width, int height, int srcStride, const YuvPlanes &out);

} // namespace qvhost
