// Build step: turns the message image (an 8-bit RGBA PNG) into C++ source
// that defines msg_texture_width, msg_texture_height and msg_texture_bitmap,
// so the picture is compiled into the bundle.
//
// Usage: png_to_bitmap IMAGE.png OUTPUT.cpp
// The bitmap is the PNG's pixels as they stand: rows top first, bytes red,
// green, blue, alpha, straight alpha. Exits non-zero (and writes nothing) when
// the PNG is not 8-bit RGBA or cannot be read.
#include <png.h>

#include <cstdio>
#include <vector>

namespace {

struct Image {
    png_uint_32 width = 0, height = 0;
    std::vector<unsigned char> rgba;
};

bool ReadPng(const char *path, Image &image)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path)) {
        std::fprintf(stderr, "png_to_bitmap: %s: %s\n", path, png.message);
        return false;
    }
    // Only straight 8-bit RGBA is accepted: a conversion here (gamma, palette
    // expansion, premultiplication) would silently change the picture.
    if (png.format != PNG_FORMAT_RGBA) {
        std::fprintf(stderr, "png_to_bitmap: %s is not 8-bit RGBA\n", path);
        png_image_free(&png);
        return false;
    }
    image.width = png.width;
    image.height = png.height;
    image.rgba.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr)) {
        std::fprintf(stderr, "png_to_bitmap: %s: %s\n", path, png.message);
        return false;
    }
    return true;
}

bool WriteSource(const char *path, const Image &image)
{
    std::FILE *out = std::fopen(path, "w");
    if (!out) {
        std::perror(path);
        return false;
    }
    std::fprintf(out,
                 "// Generated from the message image by png_to_bitmap; do not edit.\n"
                 "#include \"render/message_texture.h\"\n\n"
                 "QV_EXTERN_C const SInt32 msg_texture_width = %u;\n"
                 "QV_EXTERN_C const SInt32 msg_texture_height = %u;\n"
                 "QV_EXTERN_C const UInt8 msg_texture_bitmap[%zu] = {\n",
                 static_cast<unsigned>(image.width), static_cast<unsigned>(image.height), image.rgba.size());
    for (size_t i = 0; i < image.rgba.size(); ++i)
        std::fprintf(out, "%u,%s", image.rgba[i], (i % 32 == 31) ? "\n" : "");
    std::fprintf(out, "};\n");
    return std::fclose(out) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: png_to_bitmap IMAGE.png OUTPUT.cpp\n");
        return 2;
    }
    Image image;
    if (!ReadPng(argv[1], image))
        return 1;
    if (!WriteSource(argv[2], image)) {
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}
