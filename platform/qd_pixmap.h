/* Pixel maps: the stand-in for QuickDraw's PixMap record and its accessors.
 *
 * A map is reached through a PixMapHandle (pointer to pointer to the record).
 * 32-bit pixels are native 32-bit words: alpha in bits 31-24, red 23-16,
 * green 15-8, blue 7-0. 16-bit pixels are x-5-5-5 (red in bits 14-10).
 * 8-bit pixels index the colour table `pmTable`. */
#ifndef QV_PLATFORM_QDPIXMAP_H
#define QV_PLATFORM_QDPIXMAP_H

#include "platform/mac_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ColorSpec {
    SInt16 value; /* never read by the drawing library */
    RGBColor rgb;
} ColorSpec;

typedef struct ColorTable {
    SInt32 ctSeed;
    SInt16 ctFlags;
    SInt16 ctSize;        /* number of entries minus one; -1 for an empty table */
    ColorSpec ctTable[1]; /* ctSize + 1 entries follow (allocated past the struct) */
} ColorTable;
typedef ColorTable *CTabPtr;
typedef CTabPtr *CTabHandle;

typedef struct PixMap {
    Ptr baseAddr;       /* address of the pixel at (bounds.left, bounds.top) */
    SInt32 rowBytes;    /* bytes from one row to the next */
    Rect bounds;        /* coordinates of the map, half-open */
    SInt16 pixelSize;   /* bits per pixel: 8, 16 or 32 */
    CTabHandle pmTable; /* colour table, used at 8 bits; may be null */
} PixMap;
typedef PixMap *PixMapPtr;
typedef PixMapPtr *PixMapHandle;

/* Base address and row stride of a map. `pm` must be a usable handle. */
Ptr GetPixBaseAddr(PixMapHandle pm);
SInt32 GetPixRowBytes(PixMapHandle pm);

/* Makes a colour table of `count` entries (0 to 256) copied from `colors`
 * (null: all black); entry i gets `value` i. An empty table has ctSize -1.
 * Returns null for a count outside 0..256 or when memory runs out. The caller
 * owns the table (QVColorTable_Dispose), unless it hands it to a new map. */
CTabHandle QVColorTable_New(const RGBColor *colors, SInt16 count);

/* A table of `count` (1 to 256) greys from black (entry 0) to white (entry
 * count - 1), evenly spaced. Null for a count outside 1..256. */
CTabHandle QVColorTable_NewGrayRamp(SInt16 count);

/* Releases a table from QVColorTable_New*; null is ignored. */
void QVColorTable_Dispose(CTabHandle table);

/* Makes a map covering `bounds` (its top-left pixel at bounds.left,
 * bounds.top) with `depth` 8, 16 or 32 bits per pixel, all pixels zero.
 * `rowBytes` is the row stride: 0 asks for packed rows (width x depth / 8
 * bytes); otherwise it must be at least that. The first row starts on a
 * 64-byte boundary. `table` (may be null) is adopted: the map
 * owns it from now on, even when the call fails.
 * Returns null for a missing or empty bounds, another depth, a stride too
 * small, or when memory runs out. The caller owns the map (QVPixMap_Dispose). */
PixMapHandle QVPixMap_New(const Rect *bounds, SInt16 depth, SInt32 rowBytes, CTabHandle table);

/* Releases a map from QVPixMap_New, its pixels and the colour table its
 * record holds at that moment; null is ignored. */
void QVPixMap_Dispose(PixMapHandle pm);

#ifdef __cplusplus
}
#endif

#endif
