// Frames as tests see them: copies of a port's pixel map (native 32-bit ARGB
// words), PNG files, and comparison within a stated tolerance.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/qd_port.h"

namespace qvtest {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb; // rows top first
    uint32_t at(int x, int y) const { return argb[static_cast<size_t>(y) * width + x]; }
};

Image CopyPort(CGrafPtr port); // the port's whole pixel map

// 8-bit RGBA PNG; alpha is written and read as stored.
bool WritePng(const std::string &path, const Image &image);
bool ReadPng(const std::string &path, Image &image);

struct Comparison {
    long pixels = 0;
    long beyondTolerance = 0; // pixels with a colour channel off by more than the tolerance
    int largest = 0;          // largest channel difference seen
};
Comparison Compare(const Image &actual, const Image &expected, int tolerance);

// Per pixel |actual - expected| of each colour channel, times `gain`, clamped,
// over opaque black; sizes must agree.
Image Difference(const Image &actual, const Image &expected, int gain);

// Folder for the images a failing test leaves (made on demand):
// $QV_RENDER_OUTPUT_DIR, else QV_RENDER_OUTPUT_DEFAULT of the build.
std::string OutputDir();

} // namespace qvtest
