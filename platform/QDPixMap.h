/* Pixel maps: the stand-in for QuickDraw's PixMap record and its accessors.
 *
 * A map is reached through a PixMapHandle (pointer to pointer to the record).
 * 32-bit pixels are native 32-bit words: alpha in bits 31-24, red 23-16,
 * green 15-8, blue 7-0. 16-bit pixels are x-5-5-5 (red in bits 14-10).
 * 8-bit pixels index the colour table `pmTable`. */
#ifndef QV_PLATFORM_QDPIXMAP_H
#define QV_PLATFORM_QDPIXMAP_H

#include "platform/MacTypes.h"

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
    Ptr baseAddr;      /* address of the pixel at (bounds.left, bounds.top) */
    SInt32 rowBytes;   /* bytes from one row to the next */
    Rect bounds;       /* coordinates of the map, half-open */
    SInt16 pixelSize;  /* bits per pixel: 8, 16 or 32 */
    CTabHandle pmTable; /* colour table, used at 8 bits; may be null */
} PixMap;
typedef PixMap *PixMapPtr;
typedef PixMapPtr *PixMapHandle;

/* Base address and row stride of a map. `pm` must be a usable handle. */
Ptr GetPixBaseAddr(PixMapHandle pm);
SInt32 GetPixRowBytes(PixMapHandle pm);

#ifdef __cplusplus
}
#endif

#endif
