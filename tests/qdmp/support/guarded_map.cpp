#include "guarded_map.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qdmp_test {

namespace {
constexpr std::size_t kGuardBand = 64;
}

GuardedMap::GuardedMap(const MapLayout &layout) : layout_(layout)
{
    const std::size_t bpp = static_cast<std::size_t>(layout_.depth / 8);
    const long w = width() > 0 ? width() : 0;
    const long h = height() > 0 ? height() : 0;
    stride_ = static_cast<std::size_t>(w) * bpp + static_cast<std::size_t>(layout_.padBytes);
    guard_ = kGuardBand + static_cast<std::size_t>(layout_.misalign);
    buffer_.resize(guard_ + stride_ * static_cast<std::size_t>(h) + kGuardBand);
    for (std::size_t i = 0; i < buffer_.size(); ++i)
        buffer_[i] = guard_byte(i);
    for (long v = 0; v < h; ++v)
        std::memset(&buffer_[guard_ + stride_ * static_cast<std::size_t>(v)], 0, static_cast<std::size_t>(w) * bpp);

    record_.bounds = layout_.bounds;
    record_.pixelSize = static_cast<SInt16>(layout_.depth);
    const std::size_t firstRow = layout_.bottomUp && h > 0 ? stride_ * static_cast<std::size_t>(h - 1) : 0;
    record_.baseAddr = reinterpret_cast<Ptr>(&buffer_[guard_ + firstRow]);
    record_.rowBytes = layout_.bottomUp ? -static_cast<SInt32>(stride_) : static_cast<SInt32>(stride_);
    master_ = &record_;
    if (layout_.tableEntries >= 0) {
        colors_.resize(static_cast<std::size_t>(layout_.tableEntries));
        for (std::size_t i = 0; i < colors_.size(); ++i) {
            const auto g = static_cast<UInt16>(i * 257u);
            colors_[i] = RGBColor{g, static_cast<UInt16>(65535 - g), static_cast<UInt16>((i * 7919u) & 0xFFFF)};
        }
    }
    rebuildTable();
}

GuardedMap::GuardedMap(const GuardedMap &other) : GuardedMap(other.layout_)
{
    colors_ = other.colors_;
    rebuildTable();
    copyPixelsFrom(other);
}

void GuardedMap::rebuildTable()
{
    if (layout_.tableEntries < 0) {
        record_.pmTable = nullptr;
        return;
    }
    const std::size_t entries = colors_.size();
    tableStorage_.assign(sizeof(ColorTable) + sizeof(ColorSpec) * (entries > 0 ? entries : 1), 0);
    auto *table = reinterpret_cast<ColorTable *>(tableStorage_.data());
    table->ctSize = static_cast<SInt16>(static_cast<long>(entries) - 1);
    for (std::size_t i = 0; i < entries; ++i) {
        table->ctTable[i].value = static_cast<SInt16>(i);
        table->ctTable[i].rgb = colors_[i];
    }
    tableMaster_ = table;
    record_.pmTable = &tableMaster_;
}

void GuardedMap::setColor(int index, RGBColor c)
{
    colors_.at(static_cast<std::size_t>(index)) = c;
    rebuildTable();
}

bool GuardedMap::contains(long h, long v) const
{
    return h >= layout_.bounds.left && h < layout_.bounds.right && v >= layout_.bounds.top &&
           v < layout_.bounds.bottom;
}

std::size_t GuardedMap::rowOffset(long v) const
{
    const long row = v - layout_.bounds.top;
    const long stored = layout_.bottomUp ? height() - 1 - row : row;
    return guard_ + stride_ * static_cast<std::size_t>(stored);
}

UInt32 GuardedMap::get(long h, long v) const
{
    if (!contains(h, v))
        std::abort();
    const std::size_t bpp = static_cast<std::size_t>(layout_.depth / 8);
    const unsigned char *p = &buffer_[rowOffset(v) + static_cast<std::size_t>(h - layout_.bounds.left) * bpp];
    switch (layout_.depth) {
    case 8:
        return p[0];
    case 16: {
        UInt16 x;
        std::memcpy(&x, p, 2);
        return x;
    }
    default: {
        UInt32 x;
        std::memcpy(&x, p, 4);
        return x;
    }
    }
}

void GuardedMap::set(long h, long v, UInt32 value)
{
    if (!contains(h, v))
        std::abort();
    const std::size_t bpp = static_cast<std::size_t>(layout_.depth / 8);
    unsigned char *p = &buffer_[rowOffset(v) + static_cast<std::size_t>(h - layout_.bounds.left) * bpp];
    if (layout_.depth == 8) {
        p[0] = static_cast<unsigned char>(value);
    } else if (layout_.depth == 16) {
        const auto x = static_cast<UInt16>(value);
        std::memcpy(p, &x, 2);
    } else {
        std::memcpy(p, &value, 4);
    }
}

void GuardedMap::fillRandom(std::mt19937 &rng)
{
    fillRandom([&rng] { return static_cast<UInt32>(rng()); });
}

void GuardedMap::fillRandom(const std::function<UInt32()> &next)
{
    for (long v = layout_.bounds.top; v < layout_.bounds.bottom; ++v)
        for (long h = layout_.bounds.left; h < layout_.bounds.right; ++h) {
            UInt32 x = next();
            if (layout_.depth == 8)
                x &= 0xFF;
            else if (layout_.depth == 16)
                x &= 0x7FFF;
            set(h, v, x);
        }
}

void GuardedMap::copyPixelsFrom(const GuardedMap &other)
{
    for (long v = layout_.bounds.top; v < layout_.bounds.bottom; ++v)
        for (long h = layout_.bounds.left; h < layout_.bounds.right; ++h)
            set(h, v, other.get(h, v));
}

bool GuardedMap::guardsIntact() const
{
    const std::size_t bpp = static_cast<std::size_t>(layout_.depth / 8);
    const std::size_t rowData = static_cast<std::size_t>(width() > 0 ? width() : 0) * bpp;
    const long rows = height() > 0 ? height() : 0;
    for (std::size_t i = 0; i < buffer_.size(); ++i) {
        bool inPixels = false;
        if (i >= guard_ && i < guard_ + stride_ * static_cast<std::size_t>(rows))
            inPixels = (i - guard_) % stride_ < rowData;
        if (!inPixels && buffer_[i] != guard_byte(i))
            return false;
    }
    return true;
}

std::vector<UInt32> GuardedMap::pixels() const
{
    std::vector<UInt32> out;
    for (long v = layout_.bounds.top; v < layout_.bounds.bottom; ++v)
        for (long h = layout_.bounds.left; h < layout_.bounds.right; ++h)
            out.push_back(get(h, v));
    return out;
}

namespace {

void rgb_of(int depth, UInt32 x, unsigned char out[3])
{
    if (depth == 8) {
        out[0] = static_cast<unsigned char>(x * 67);
        out[1] = static_cast<unsigned char>(x * 151);
        out[2] = static_cast<unsigned char>(x);
    } else if (depth == 16) {
        out[0] = static_cast<unsigned char>(((x >> 10) & 31) << 3);
        out[1] = static_cast<unsigned char>(((x >> 5) & 31) << 3);
        out[2] = static_cast<unsigned char>((x & 31) << 3);
    } else {
        out[0] = static_cast<unsigned char>(x >> 16);
        out[1] = static_cast<unsigned char>(x >> 8);
        out[2] = static_cast<unsigned char>(x);
    }
}

} // namespace

bool GuardedMap::writePpm(const std::string &path) const
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fprintf(f, "P6\n%d %d\n255\n", width(), height());
    for (long v = layout_.bounds.top; v < layout_.bounds.bottom; ++v)
        for (long h = layout_.bounds.left; h < layout_.bounds.right; ++h) {
            unsigned char rgb[3];
            rgb_of(layout_.depth, get(h, v), rgb);
            std::fwrite(rgb, 1, 3, f);
        }
    return std::fclose(f) == 0;
}

std::string write_failure_images(const std::string &name, const GuardedMap &actual, const GuardedMap &expected)
{
    const char *env = std::getenv("QDMP_TEST_OUTPUT");
    const std::string dir = env && *env ? env : ".";
    actual.writePpm(dir + "/" + name + "-actual.ppm");
    FILE *f = std::fopen((dir + "/" + name + "-diff.ppm").c_str(), "wb");
    if (f) {
        std::fprintf(f, "P6\n%d %d\n255\n", actual.width(), actual.height());
        const Rect &b = actual.bounds();
        for (long v = b.top; v < b.bottom; ++v)
            for (long h = b.left; h < b.right; ++h) {
                const bool same = expected.contains(h, v) && expected.get(h, v) == actual.get(h, v);
                const unsigned char px[3] = {static_cast<unsigned char>(same ? 0 : 255),
                                             static_cast<unsigned char>(same ? 0 : 255),
                                             static_cast<unsigned char>(same ? 0 : 255)};
                std::fwrite(px, 1, 3, f);
            }
        std::fclose(f);
    }
    return dir;
}

} // namespace qdmp_test
