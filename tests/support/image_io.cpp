#include "support/image_io.h"

#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

namespace qvtest {
namespace {

int Channel(uint32_t p, int shift)
{
    return static_cast<int>((p >> shift) & 0xFF);
}

// A PNG of the image's ARGB words: in memory (little-endian) B, G, R, A.
png_image Png(const Image &image)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_BGRA;
    return png;
}

} // namespace

Image CopyPort(CGrafPtr port)
{
    PixMapHandle pm = QVPort_GetPixMap(port);
    Image image;
    image.width = (*pm)->bounds.right - (*pm)->bounds.left;
    image.height = (*pm)->bounds.bottom - (*pm)->bounds.top;
    for (int y = 0; y < image.height; ++y) {
        const auto *row = reinterpret_cast<const uint32_t *>((*pm)->baseAddr + static_cast<long>(y) * (*pm)->rowBytes);
        image.argb.insert(image.argb.end(), row, row + image.width);
    }
    return image;
}

bool WritePng(const std::string &path, const Image &image)
{
    png_image png = Png(image);
    return png_image_write_to_file(&png, path.c_str(), 0, image.argb.data(), 0, nullptr) != 0;
}

bool ReadPng(const std::string &path, Image &image)
{
    png_image png = Png(image);
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return false;
    png.format = PNG_FORMAT_BGRA;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.argb.resize(static_cast<size_t>(image.width) * image.height);
    return png_image_finish_read(&png, nullptr, image.argb.data(), 0, nullptr) != 0;
}

Comparison Compare(const Image &actual, const Image &expected, int tolerance)
{
    Comparison c;
    c.pixels = static_cast<long>(expected.argb.size());
    for (size_t i = 0; i < expected.argb.size(); ++i) {
        int d = 0;
        for (int shift : {0, 8, 16})
            d = std::max(d, std::abs(Channel(actual.argb[i], shift) - Channel(expected.argb[i], shift)));
        c.largest = std::max(c.largest, d);
        c.beyondTolerance += d > tolerance;
    }
    return c;
}

Image Difference(const Image &actual, const Image &expected, int gain)
{
    Image diff = expected;
    for (size_t i = 0; i < diff.argb.size(); ++i) {
        diff.argb[i] = 0xFF000000u;
        for (int shift : {0, 8, 16}) {
            const int d = std::abs(Channel(actual.argb[i], shift) - Channel(expected.argb[i], shift));
            diff.argb[i] |= static_cast<uint32_t>(std::min(255, d * gain)) << shift;
        }
    }
    return diff;
}

std::string OutputDir()
{
    const char *dir = std::getenv("QV_RENDER_OUTPUT_DIR");
    std::string path = dir ? dir : QV_RENDER_OUTPUT_DEFAULT;
    mkdir(path.c_str(), 0755);
    return path;
}

} // namespace qvtest
