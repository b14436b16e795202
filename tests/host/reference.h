// The slow, obviously right versions of the host's two fast paths, straight
// from their formulas in double precision: the spectrum bytes (a direct DFT)
// and the frame colour conversion. Shared by the tests and the audio fuzzer.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "host/visual/spectrum_analyzer.h"
#include "host/video/yuv_conversion.h"

namespace qvtest {

// The byte of a normalised magnitude (1.0 = a full-scale sine at its bin).
inline UInt8 SpectrumByte(double magnitude)
{
    if (!(magnitude > 0.0))
        return 0;
    const double v = std::round(255.0 * (1.0 + 20.0 * std::log10(magnitude) / qvhost::kSpectrumRangeDb));
    return static_cast<UInt8>(v < 0.0 ? 0.0 : v > 255.0 ? 255.0 : v);
}

// `window`: kAnalysisSize samples, oldest first; `out`: kSpectrumBins bytes.
inline void Spectrum(const float *window, UInt8 *out)
{
    const int n = qvhost::kAnalysisSize;
    for (int k = 0; k < qvhost::kSpectrumBins; ++k) {
        double re = 0.0, im = 0.0;
        for (int i = 0; i < n; ++i) {
            const double x = window[i] * (0.5 - 0.5 * std::cos(2.0 * M_PI * i / n)); // periodic Hann
            re += x * std::cos(2.0 * M_PI * k * i / n);
            im -= x * std::sin(2.0 * M_PI * k * i / n);
        }
        out[k] = SpectrumByte(std::hypot(re, im) / (n / 4.0)); // a bin-centred full-scale sine reads 1
    }
}

// BT.709 limited range from full-range ARGB, chroma from the mean of each 2x2 block.
inline void ArgbToYuv420(const uint32_t *src, int width, int height, int srcStride, const qvhost::YuvPlanes &out)
{
    const double kr = 0.2126, kg = 0.7152, kb = 0.0722;
    auto byte = [](double v) { return static_cast<uint8_t>(std::round(v < 0 ? 0 : v > 255 ? 255 : v)); };
    auto at = [&](int x, int y, int shift) { return (src[static_cast<ptrdiff_t>(y) * srcStride + x] >> shift) & 0xFF; };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.y[static_cast<ptrdiff_t>(y) * out.yStride + x] =
                byte(16.0 + 219.0 / 255.0 * (kr * at(x, y, 16) + kg * at(x, y, 8) + kb * at(x, y, 0)));
    for (int y = 0; y < height; y += 2)
        for (int x = 0; x < width; x += 2) {
            double c[3] = {0, 0, 0}; // r, g, b means
            for (int i = 0; i < 4; ++i)
                for (int ch = 0; ch < 3; ++ch)
                    c[ch] += at(x + i % 2, y + i / 2, 16 - 8 * ch) / 4.0;
            const double luma = kr * c[0] + kg * c[1] + kb * c[2];
            out.u[static_cast<ptrdiff_t>(y / 2) * out.uStride + x / 2] =
                byte(128.0 + 224.0 / 255.0 * (c[2] - luma) / 1.8556);
            out.v[static_cast<ptrdiff_t>(y / 2) * out.vStride + x / 2] =
                byte(128.0 + 224.0 / 255.0 * (c[0] - luma) / 1.5748);
        }
}

} // namespace qvtest
