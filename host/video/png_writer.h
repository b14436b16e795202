// PNG files of frames (8-bit RGB), written with libpng.
#pragma once

#include <cstdint>
#include <string>

namespace qvhost {

// Writes `width` x `height` native ARGB words (rows `stride` words apart,
// top first) to `path` as an RGB PNG; alpha is dropped (frames are opaque).
// `level`: zlib compression 0..9. Throws HostError.
void WritePng(const std::string &path, const uint32_t *argb, int width, int height, int stride, int level = 6);

} // namespace qvhost
