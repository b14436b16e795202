// PNG files of frames (8-bit RGB), written with libpng.
#pragma once

#include <cstdint>
#include <string>

#include "host/common/new_file.h"

namespace qvhost {

// Writes `width` x `height` native ARGB words (rows `stride` words apart,
// top first) as an RGB PNG into `file`, an empty file opened for writing,
// and closes it, with its data on the disk first when `sync`; alpha is
// dropped (frames are opaque). `level`: zlib compression 0..9. Throws
// HostError naming `name`, the file as the user knows it.
void WritePng(FileDescriptor file, const std::string &name, const uint32_t *argb, int width, int height, int stride,
              int level, bool sync);

} // namespace qvhost
