// Frames as tests see them: copies of a port's pixel map (native 32-bit
// ARGB words), PNG files, and comparison within a stated tolerance.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/QDPort.h"

namespace rendertest {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb; // rows top first

    uint32_t at(int x, int y) const { return argb[static_cast<size_t>(y) * width + x]; }
};

// The port's whole pixel map.
Image CopyPort(CGrafPtr port);

// 8-bit RGBA PNG; alpha is written as stored.
bool WritePng(const std::string &path, const Image &image);
bool ReadPng(const std::string &path, Image &image);

inline int Red(uint32_t p) { return (p >> 16) & 0xFF; }
inline int Green(uint32_t p) { return (p >> 8) & 0xFF; }
inline int Blue(uint32_t p) { return p & 0xFF; }
inline int Alpha(uint32_t p) { return p >> 24; }
// Largest difference of the colour channels.
int ChannelDistance(uint32_t a, uint32_t b);
// Opaque pixel of a GL colour, each channel rounded to 8 bits.
uint32_t PixelOf(float r, float g, float b);

struct Comparison {
    long pixels = 0;
    long beyondTolerance = 0; // pixels whose ChannelDistance exceeds the tolerance
    int largest = 0;          // largest ChannelDistance seen
};
Comparison Compare(const Image &actual, const Image &expected, int tolerance);

// Per pixel |actual - expected| for each channel, scaled by `gain` and
// clamped, over opaque black; sizes must agree.
Image Difference(const Image &actual, const Image &expected, int gain);

// Directory for images a failing test leaves behind (created on demand):
// $QV_RENDER_OUTPUT_DIR, else render-output in the build tree.
std::string OutputDir();

} // namespace rendertest
