/* Pixel maps for tests and the fuzzer, laid out in a buffer that surrounds
 * them with guard bytes: bands before and after the pixels and padding at the
 * end of every row, all holding a known pattern. Any write outside the map
 * shows as a changed guard byte. Rows may be stored bottom-up (negative
 * stride) and the first pixel may sit off its natural alignment. */
#ifndef QV_TESTS_QDMP_GUARDED_MAP_H
#define QV_TESTS_QDMP_GUARDED_MAP_H

#include "platform/QDPixMap.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace qdmp_test {

struct MapLayout {
    Rect bounds{0, 0, 1, 1};
    int depth = 32;
    int padBytes = 0;     // guard bytes after each row
    bool bottomUp = false; // first row stored last, negative stride
    int misalign = 0;      // bytes added to the base address (0 .. 3)
    int tableEntries = 0;  // colour table size at 8 bits; -1 for no table
};

class GuardedMap {
public:
    explicit GuardedMap(const MapLayout &layout);
    GuardedMap(const GuardedMap &other);
    GuardedMap &operator=(const GuardedMap &) = delete;

    PixMapHandle handle() { return &master_; }
    const MapLayout &layout() const { return layout_; }
    const Rect &bounds() const { return layout_.bounds; }
    int depth() const { return layout_.depth; }
    int width() const { return layout_.bounds.right - layout_.bounds.left; }
    int height() const { return layout_.bounds.bottom - layout_.bounds.top; }
    bool contains(long h, long v) const;

    /* Raw pixel at (h, v), which must lie in the map. */
    UInt32 get(long h, long v) const;
    void set(long h, long v, UInt32 value);

    /* Colour table entries (8-bit maps with a table). */
    std::vector<RGBColor> &colors() { return colors_; }
    void setColor(int index, RGBColor c);

    /* Every pixel random (values fit the depth). */
    void fillRandom(std::mt19937 &rng);
    void fillRandom(const std::function<UInt32()> &next);
    /* Copies the pixels of another map of the same layout. */
    void copyPixelsFrom(const GuardedMap &other);

    /* True when no guard byte has changed. */
    bool guardsIntact() const;
    /* Row-major pixel values. */
    std::vector<UInt32> pixels() const;

    /* Writes the map as a PPM image (each pixel's value shown through a fixed
     * palette for 8 bits, its channels for 16 and 32 bits). */
    bool writePpm(const std::string &path) const;

private:
    std::size_t rowOffset(long v) const;
    void rebuildTable();

    MapLayout layout_;
    std::size_t stride_ = 0;
    std::size_t guard_ = 0;
    std::vector<unsigned char> buffer_;
    std::vector<RGBColor> colors_;
    std::vector<unsigned char> tableStorage_;
    CTabPtr tableMaster_ = nullptr;
    PixMap record_{};
    PixMapPtr master_ = nullptr;
};

/* The guard pattern byte at offset i of a buffer. */
inline unsigned char guard_byte(std::size_t i)
{
    return static_cast<unsigned char>(0xA5 ^ (i * 37));
}

/* Writes `actual` and a difference image (changed pixels white) beside each
 * other as <dir>/<name>-actual.ppm and <name>-diff.ppm. Returns the directory
 * used (QDMP_TEST_OUTPUT, else the working directory). */
std::string write_failure_images(const std::string &name, const GuardedMap &actual, const GuardedMap &expected);

} // namespace qdmp_test

#endif
