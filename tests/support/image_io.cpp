#include "support/image_io.h"

#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace rendertest {

Image CopyPort(CGrafPtr port)
{
    PixMapHandle pm = QVPort_GetPixMap(port);
    Image image;
    image.width = (*pm)->bounds.right - (*pm)->bounds.left;
    image.height = (*pm)->bounds.bottom - (*pm)->bounds.top;
    image.argb.resize(static_cast<size_t>(image.width) * image.height);
    for (int y = 0; y < image.height; ++y) {
        const auto *row = reinterpret_cast<const uint32_t *>((*pm)->baseAddr + static_cast<long>(y) * (*pm)->rowBytes);
        std::copy(row, row + image.width, image.argb.begin() + static_cast<long>(y) * image.width);
    }
    return image;
}

bool WritePng(const std::string &path, const Image &image)
{
    std::vector<uint8_t> rgba(image.argb.size() * 4);
    for (size_t i = 0; i < image.argb.size(); ++i) {
        const uint32_t p = image.argb[i];
        rgba[4 * i + 0] = static_cast<uint8_t>(Red(p));
        rgba[4 * i + 1] = static_cast<uint8_t>(Green(p));
        rgba[4 * i + 2] = static_cast<uint8_t>(Blue(p));
        rgba[4 * i + 3] = static_cast<uint8_t>(Alpha(p));
    }
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
    image.argb.resize(static_cast<size_t>(image.width) * image.height);
    for (size_t i = 0; i < image.argb.size(); ++i)
        image.argb[i] = (uint32_t{rgba[4 * i + 3]} << 24) | (uint32_t{rgba[4 * i]} << 16) |
                        (uint32_t{rgba[4 * i + 1]} << 8) | rgba[4 * i + 2];
    return true;
}

int ChannelDistance(uint32_t a, uint32_t b)
{
    return std::max({std::abs(Red(a) - Red(b)), std::abs(Green(a) - Green(b)), std::abs(Blue(a) - Blue(b))});
}

uint32_t PixelOf(float r, float g, float b)
{
    auto channel = [](float c) { return static_cast<uint32_t>(std::lround(std::clamp(c, 0.0f, 1.0f) * 255.0f)); };
    return 0xFF000000u | (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

Comparison Compare(const Image &actual, const Image &expected, int tolerance)
{
    Comparison c;
    c.pixels = static_cast<long>(expected.argb.size());
    for (size_t i = 0; i < expected.argb.size(); ++i) {
        const int d = ChannelDistance(actual.argb[i], expected.argb[i]);
        c.largest = std::max(c.largest, d);
        if (d > tolerance)
            ++c.beyondTolerance;
    }
    return c;
}

Image Difference(const Image &actual, const Image &expected, int gain)
{
    Image diff = expected;
    for (size_t i = 0; i < diff.argb.size(); ++i) {
        auto channel = [&](int a, int e) { return static_cast<uint32_t>(std::min(255, std::abs(a - e) * gain)); };
        const uint32_t a = actual.argb[i], e = expected.argb[i];
        diff.argb[i] = 0xFF000000u | (channel(Red(a), Red(e)) << 16) | (channel(Green(a), Green(e)) << 8) |
                       channel(Blue(a), Blue(e));
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
