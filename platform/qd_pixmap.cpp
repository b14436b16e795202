#include "platform/qd_pixmap.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// A map and its pixels in one owner; the handle points at `record`.
struct PixMapBlock {
    PixMap record;
    PixMapPtr master; // what the handle points to
    void *pixels;
};

constexpr size_t kPixelAlignment = 64;

size_t tableBytes(int count)
{
    // ColorTable already holds one entry.
    return sizeof(ColorTable) + sizeof(ColorSpec) * static_cast<size_t>(count > 1 ? count - 1 : 0);
}

struct TableBlock {
    CTabPtr master;
    // followed by the table itself
};

} // namespace

extern "C" Ptr GetPixBaseAddr(PixMapHandle pm)
{
    return (*pm)->baseAddr;
}

extern "C" SInt32 GetPixRowBytes(PixMapHandle pm)
{
    return (*pm)->rowBytes;
}

extern "C" CTabHandle QVColorTable_New(const RGBColor *colors, SInt16 count)
{
    if (count < 0 || count > 256)
        return nullptr;
    void *mem = std::calloc(1, sizeof(TableBlock) + tableBytes(count));
    if (!mem)
        return nullptr;
    auto *block = static_cast<TableBlock *>(mem);
    auto *table = reinterpret_cast<ColorTable *>(static_cast<char *>(mem) + sizeof(TableBlock));
    table->ctSize = static_cast<SInt16>(count - 1);
    for (int i = 0; i < count; ++i) {
        table->ctTable[i].value = static_cast<SInt16>(i);
        if (colors)
            table->ctTable[i].rgb = colors[i];
    }
    block->master = table;
    return &block->master;
}

extern "C" CTabHandle QVColorTable_NewGrayRamp(SInt16 count)
{
    if (count < 1 || count > 256)
        return nullptr;
    RGBColor greys[256];
    for (int i = 0; i < count; ++i) {
        const auto g = static_cast<UInt16>(count == 1 ? 0 : (65535L * i) / (count - 1));
        greys[i] = RGBColor{g, g, g};
    }
    return QVColorTable_New(greys, count);
}

extern "C" void QVColorTable_Dispose(CTabHandle table)
{
    // The handle is the first member of the block that holds the table.
    std::free(reinterpret_cast<TableBlock *>(table));
}

extern "C" PixMapHandle QVPixMap_New(const Rect *bounds, SInt16 depth, SInt32 rowBytes, CTabHandle table)
{
    if (!bounds || (depth != 8 && depth != 16 && depth != 32) || bounds->right <= bounds->left ||
        bounds->bottom <= bounds->top) {
        QVColorTable_Dispose(table);
        return nullptr;
    }
    const long width = long{bounds->right} - bounds->left;
    const long height = long{bounds->bottom} - bounds->top;
    const long packed = width * (depth / 8);
    long stride = rowBytes == 0 ? packed : rowBytes;
    if (stride < packed) {
        QVColorTable_Dispose(table);
        return nullptr;
    }
    // Packed 32-bit rows of a multiple of 16 pixels keep every row aligned.
    const size_t bytes = (static_cast<size_t>(stride) * static_cast<size_t>(height) + kPixelAlignment - 1) /
                         kPixelAlignment * kPixelAlignment;
    void *pixels = std::aligned_alloc(kPixelAlignment, bytes);
    auto *block = pixels ? new (std::nothrow) PixMapBlock{} : nullptr;
    if (!block) {
        std::free(pixels);
        QVColorTable_Dispose(table);
        return nullptr;
    }
    std::memset(pixels, 0, bytes);
    block->pixels = pixels;
    block->record.baseAddr = static_cast<Ptr>(pixels);
    block->record.rowBytes = static_cast<SInt32>(stride);
    block->record.bounds = *bounds;
    block->record.pixelSize = depth;
    block->record.pmTable = table;
    block->master = &block->record;
    return &block->master;
}

extern "C" void QVPixMap_Dispose(PixMapHandle pm)
{
    if (!pm)
        return;
    // The handle points into the block; step back to its start.
    auto *block = reinterpret_cast<PixMapBlock *>(reinterpret_cast<char *>(pm) - offsetof(PixMapBlock, master));
    QVColorTable_Dispose(block->record.pmTable);
    std::free(block->pixels);
    delete block;
}
