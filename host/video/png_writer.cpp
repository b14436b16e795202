#include "host/video/png_writer.h"

#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/common/host_error.h"

namespace qvhost {
namespace {

// libpng reports errors by longjmp; no C++ object with a destructor may live
// in the frames it jumps over, so the work is done in these plain functions
// with every buffer owned by the caller. It says nothing itself: the error
// thrown is the one line.
void Silently(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}
void Quietly(png_structp, png_const_charp) {}

bool WriteRows(FILE *file, png_bytep *rows, int width, int height, int level)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Silently, Quietly);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, level);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

void WritePng(FileDescriptor file, const std::string &name, const uint32_t *argb, int width, int height, int stride,
              int level, bool sync)
{
    std::vector<png_byte> rgb(static_cast<size_t>(width) * 3 * static_cast<size_t>(height));
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const uint32_t *src = argb + static_cast<ptrdiff_t>(y) * stride;
        png_bytep dst = rgb.data() + static_cast<size_t>(y) * width * 3;
        rows[static_cast<size_t>(y)] = dst;
        for (int x = 0; x < width; ++x) {
            dst[3 * x] = static_cast<png_byte>(src[x] >> 16);
            dst[3 * x + 1] = static_cast<png_byte>(src[x] >> 8);
            dst[3 * x + 2] = static_cast<png_byte>(src[x]);
        }
    }
    FILE *stream = fdopen(file.get(), "wb");
    if (!stream)
        throw HostError(name + ": cannot be written (" + std::strerror(errno) + ")");
    file.release(); // the stream's now
    bool ok = WriteRows(stream, rows.data(), width, height, level) && std::fflush(stream) == 0;
    ok = ok && (!sync || fsync(fileno(stream)) == 0);
    const int error = errno;
    if (std::fclose(stream) != 0 || !ok)
        throw HostError(name + ": writing the PNG failed (" + std::strerror(ok ? errno : error) + ")");
}

} // namespace qvhost
