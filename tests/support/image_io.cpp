#include "support/image_io.h"

#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

namespace rendertest {
namespace {

int Channel(uint32_t p, int shift)
{
    return static_cast<int>((p >> shift) & 0xFF);
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
    std::vector<uint8_t> rgba;
    for (uint32_t p : image.argb)
        for (int shift : {16, 8, 0, 24})
            rgba.push_back(static_cast<uint8_t>(Channel(p, shift)));
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&png, path.c_str(), 0, rgba.data(), 0, nullptr) != 0;
}

bool ReadPng(const std::string &path, Image &image)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return false;
    png.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr))
        return false;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.argb.resize(rgba.size() / 4);
    for (size_t i = 0; i < image.argb.size(); ++i)
        image.argb[i] = (uint32_t{rgba[4 * i + 3]} << 24) | (uint32_t{rgba[4 * i]} << 16) |
                        (uint32_t{rgba[4 * i + 1]} << 8) | rgba[4 * i + 2];
    return true;
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

} // namespace rendertest
