#include "qdmp/internal.h"
#include "qdmp/pixel_map.h"

namespace {

/* The table behind a map, or null when any link is missing. */
const ColorTable *table_of(PixMapHandle pm)
{
    if (!qdmp::usable(pm))
        return nullptr;
    CTabHandle table = (*pm)->pmTable;
    return table ? *table : nullptr;
}

/* Entries in a table; ctSize is the count minus one, widened so that a full
 * 16-bit ctSize cannot wrap. Zero or less for an empty table. */
int entry_count(const ColorTable &table)
{
    return int{table.ctSize} + 1;
}

UInt16 widen5(UInt32 c5)
{
    return static_cast<UInt16>((c5 << 11) | c5);
}

UInt16 widen8(UInt32 c8)
{
    return static_cast<UInt16>((c8 << 8) | c8);
}

} // namespace

UInt8 RGBColorToColor8(PixMapHandle pm, const RGBColor *c)
{
    const ColorTable *table = table_of(pm);
    if (!table || !c)
        return 255;
    const int n = entry_count(*table);
    UInt8 best = 255;
    bool taken = false;
    // Up to 3 x 65535^2: needs more than 32 bits.
    unsigned long long bestDistance = 0;
    for (int i = 0; i < n; ++i) {
        const RGBColor &e = table->ctTable[i].rgb;
        const long long dr = static_cast<long long>(c->red) - e.red;
        const long long dg = static_cast<long long>(c->green) - e.green;
        const long long db = static_cast<long long>(c->blue) - e.blue;
        const auto distance = static_cast<unsigned long long>(dr * dr + dg * dg + db * db);
        if (!taken || distance < bestDistance) {
            taken = true;
            best = static_cast<UInt8>(i);
            bestDistance = distance;
        }
    }
    return best;
}

UInt16 RGBColorToColor16(const RGBColor *c)
{
    return static_cast<UInt16>(((c->red >> 1) & 0x7C00) | ((c->green >> 6) & 0x03E0) | (c->blue >> 11));
}

UInt32 RGBColorToColor32(const RGBColor *c)
{
    return ((UInt32{c->red} << 8) & 0x00FF0000u) | (UInt32{c->green} & 0xFF00u) | (UInt32{c->blue} >> 8);
}

RGBColor Color16ToRGBColor(UInt32 pixel)
{
    RGBColor rgb;
    rgb.red = widen5((pixel >> 10) & 0x1F);
    rgb.green = widen5((pixel >> 5) & 0x1F);
    rgb.blue = widen5(pixel & 0x1F);
    return rgb;
}

RGBColor Color32ToRGBColor(UInt32 pixel)
{
    RGBColor rgb;
    rgb.red = widen8((pixel >> 16) & 0xFF);
    rgb.green = widen8((pixel >> 8) & 0xFF);
    rgb.blue = widen8(pixel & 0xFF);
    return rgb;
}

RGBColor FindColorByIndex(PixMapHandle pm, SInt16 index)
{
    const ColorTable *table = table_of(pm);
    const int n = table ? entry_count(*table) : 0;
    if (n <= 0)
        return RGBColor{0, 0, 0};
    // Pixel values give 0..255; a negative index, which no pixel yields,
    // counts back from the table's end so the position stays inside it.
    int position = int{index} % n;
    if (position < 0)
        position += n;
    return table->ctTable[position].rgb;
}

namespace qdmp {

bool pixel_of(PixMapHandle pm, const RGBColor *color, UInt8 *out)
{
    *out = RGBColorToColor8(pm, color);
    return true;
}

bool pixel_of(PixMapHandle, const RGBColor *color, UInt16 *out)
{
    if (!color)
        return false;
    *out = RGBColorToColor16(color);
    return true;
}

bool pixel_of(PixMapHandle, const RGBColor *color, UInt32 *out)
{
    if (!color)
        return false;
    *out = RGBColorToColor32(color);
    return true;
}

RGBColor rgb_of(PixMapHandle pm, UInt8 pixel)
{
    return FindColorByIndex(pm, pixel);
}

RGBColor rgb_of(PixMapHandle, UInt16 pixel)
{
    return Color16ToRGBColor(pixel);
}

RGBColor rgb_of(PixMapHandle, UInt32 pixel)
{
    return Color32ToRGBColor(pixel);
}

} // namespace qdmp
