/* Internal interface of the drawing library: the colour conversions, the span
 * fillers and the curve's distance, shared by its units and by the tests that
 * link its objects. None of these names leaves the library. */
#ifndef QV_QDMP_INTERNAL_H
#define QV_QDMP_INTERNAL_H

#include "platform/mac_types.h"
#include "platform/qd_pixmap.h"

/* Index of the colour-table entry nearest to `c` (least squared distance,
 * lowest position on ties); 255 when pm, its record, its table or c is
 * missing, or the table is empty. */
UInt8 RGBColorToColor8(PixMapHandle pm, const RGBColor *c);
/* Top five bits of each channel in x-5-5-5; `c` must not be null. */
UInt16 RGBColorToColor16(const RGBColor *c);
/* Top eight bits of each channel, alpha 0; `c` must not be null. */
UInt32 RGBColorToColor32(const RGBColor *c);
/* Each 5-bit channel c5 widened to (c5 << 11) | c5. */
RGBColor Color16ToRGBColor(UInt32 pixel);
/* Each byte c8 widened to (c8 << 8) | c8; the top byte is ignored. */
RGBColor Color32ToRGBColor(UInt32 pixel);
/* The colour of table entry index mod (ctSize + 1); black when the map or its
 * table is missing or the table is empty. */
RGBColor FindColorByIndex(PixMapHandle pm, SInt16 index);

/* Fill the span of row v between columns h1 and h2 (|h2 - h1| pixels from the
 * smaller one), cut at the map's edges. Nothing for a map that is unusable or
 * not of the filler's depth, or a row outside it. */
void Draw_Scan8(PixMapHandle pm, SInt16 v, SInt16 h1, SInt16 h2, UInt8 value);
void Draw_Scan16(PixMapHandle pm, SInt16 v, SInt16 h1, SInt16 h2, UInt16 value);
void Draw_Scan32(PixMapHandle pm, SInt16 v, SInt16 h1, SInt16 h2, UInt32 value);

/* dh^2 + dv^2 with each difference wrapped to 16 bits (so at most 2^31). */
UInt32 distance_squared(Point a, Point b);

/* 1 when the last QDMP_Init found Multiprocessing Services ready, else 0. */
extern UInt8 gMP_Flag;

#endif
