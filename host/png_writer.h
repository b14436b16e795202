// PNG files of frames (8-bit RGB), written with libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvhost {

// Writes `width` x `height` native ARGB words (rows `stride` words apart,
// top first) to `path` as an RGB PNG; alpha is dropped (frames are opaque).
// `level`: zlib compression 0..9. Throws HostError.
void WritePng(const std::string &path, const uint32_t *argb, int width, int height, int stride, int level = 6);

// Reads an 8-bit RGB or RGBA PNG back into ARGB words (alpha forced to 0xFF).
// Returns false when the file is no such PNG. For tests and tools.
bool ReadPng(const std::string &path, std::vector<uint32_t> &argb, int &width, int &height);

} // namespace qvhost
