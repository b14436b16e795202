/* Quorvanta pixel-map drawing library: software drawing into 8-, 16- and
 * 32-bit pixel maps (see platform/qd_pixmap.h for the map record and the pixel
 * layouts). Plain C; usable from C and C++.
 *
 * Coordinates are signed 16-bit; h grows to the right, v downward; functions
 * that take a point as two numbers take h first. Rectangles are half-open:
 * left <= h < right, top <= v < bottom. A run or span between columns h1 and
 * h2 covers |h2 - h1| pixels from the smaller one, so the ends may come in
 * either order and the larger one is not included.
 *
 * No call reports an error and no call writes or reads a pixel outside the
 * maps it is given: anything that reaches past a map is cut at its edges.
 * Functions named with a depth (8, 16, 32, 32A) act only on maps of that depth;
 * the others take an RGBColor and act on maps of any of the three depths.
 * A PixMapHandle is usable when it and the record it points to are non-null;
 * calls given an unusable handle do nothing (readers return 0 or black).
 * The library keeps no pointers between calls and takes no locks: calls that
 * write the same map must be serialised by the caller. */
#ifndef QDMP_H
#define QDMP_H

#include "platform/export.h"
#include "platform/mac_types.h"
#include "platform/qd_pixmap.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Library frame and geometry ---------------------------------------- */

/* Probes Multiprocessing Services and remembers the answer; returns 0.
 * No other call needs it to have run. */
QV_EXPORT SInt32 QDMP_Init(void);

/* Rectangle operations; `r` must not be null. Results are stored as 16-bit
 * values (sums that leave the range wrap); no ordering is imposed. */
QV_EXPORT void QDMP_Set_Rect(Rect *r, SInt16 left, SInt16 top, SInt16 right, SInt16 bottom);
QV_EXPORT void QDMP_Offset_Rect(Rect *r, SInt16 dh, SInt16 dv);
/* Moves each side inward by dh (left, right) and dv (top, bottom); negative
 * amounts grow the rectangle. */
QV_EXPORT void QDMP_Inset_Rect(Rect *r, SInt16 dh, SInt16 dv);
/* Stores a and b's intersection in *out (when out is non-null, even if it is
 * empty; out may be a or b) and returns 1 if it is non-empty, else 0. */
QV_EXPORT int QDMP_Intersect_Rects(const Rect *a, const Rect *b, Rect *out);

/* Returns the point {v, h}, also stored in *p when p is non-null. */
QV_EXPORT Point QDMP_Set_Point(Point *p, SInt16 h, SInt16 v);
/* 1 when pt lies in r by the half-open rule; 0 otherwise or when r is null. */
QV_EXPORT int QDMP_PointInRect(Point pt, const Rect *r);
/* Midpoint with halves rounded toward minus infinity: (-3 + 0) / 2 gives -2. */
QV_EXPORT Point QDMP_MidPoint(Point a, Point b);
/* Midpoint of (left, top) and (right, bottom); r must not be null. */
QV_EXPORT Point QDMP_MidPointRect(const Rect *r);

/* ---- Pixel access -------------------------------------------------------- */

/* Raw pixel readers: 0 when the map is unusable, of another depth, or the
 * point lies outside its bounds. Writers then do nothing. */
QV_EXPORT UInt8 QDMP_Get_Pixel8(PixMapHandle pm, SInt16 h, SInt16 v);
QV_EXPORT UInt16 QDMP_Get_Pixel16(PixMapHandle pm, SInt16 h, SInt16 v);
QV_EXPORT UInt32 QDMP_Get_Pixel32(PixMapHandle pm, SInt16 h, SInt16 v);
QV_EXPORT void QDMP_Set_Pixel8(PixMapHandle pm, SInt16 h, SInt16 v, UInt8 value);
QV_EXPORT void QDMP_Set_Pixel16(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 value);
QV_EXPORT void QDMP_Set_Pixel32(PixMapHandle pm, SInt16 h, SInt16 v, UInt32 value);

/* Colour reader: black when nothing is read, except that a point outside an
 * 8-bit map reads as pixel 0, i.e. the colour of table entry 0. */
QV_EXPORT RGBColor QDMP_Get_Pixel(PixMapHandle pm, SInt16 h, SInt16 v);
/* Colour writer. At 8 bits the nearest table entry is written (a null colour
 * writes index 255); at 16 and 32 bits a null colour writes nothing. */
QV_EXPORT void QDMP_Set_Pixel(PixMapHandle pm, SInt16 h, SInt16 v, const RGBColor *color);

/* The same, taking a Point. */
QV_EXPORT UInt8 QDMP_Get_PixelP8(PixMapHandle pm, Point pt);
QV_EXPORT UInt16 QDMP_Get_PixelP16(PixMapHandle pm, Point pt);
QV_EXPORT UInt32 QDMP_Get_PixelP32(PixMapHandle pm, Point pt);
QV_EXPORT RGBColor QDMP_Get_PixelP(PixMapHandle pm, Point pt);
QV_EXPORT void QDMP_Set_PixelP8(PixMapHandle pm, Point pt, UInt8 value);
QV_EXPORT void QDMP_Set_PixelP16(PixMapHandle pm, Point pt, UInt16 value);
QV_EXPORT void QDMP_Set_PixelP32(PixMapHandle pm, Point pt, UInt32 value);
QV_EXPORT void QDMP_Set_PixelP(PixMapHandle pm, Point pt, const RGBColor *color);

/* ---- Block copies --------------------------------------------------------- */

/* Rectangle copies. Each rectangle is first clipped to its own map; the
 * clipped widths must be equal (else nothing is copied) and min(heights) rows
 * are copied from each clipped top-left corner, top row first. Both maps must
 * have the member's depth; QDMP_Copy_Rect picks the member when both maps have
 * the same depth of 8, 16 or 32. */
QV_EXPORT void QDMP_Copy_Rect(PixMapHandle src, PixMapHandle dst, const Rect *srcRect, const Rect *dstRect);
QV_EXPORT void QDMP_Copy_Rect8(PixMapHandle src, PixMapHandle dst, const Rect *srcRect, const Rect *dstRect);
QV_EXPORT void QDMP_Copy_Rect16(PixMapHandle src, PixMapHandle dst, const Rect *srcRect, const Rect *dstRect);
QV_EXPORT void QDMP_Copy_Rect32(PixMapHandle src, PixMapHandle dst, const Rect *srcRect, const Rect *dstRect);

/* Blends the source over the destination (32 bits both), the source's top
 * byte being its coverage a: each colour channel becomes
 * (S*a >> 8) + (D*(255-a) >> 8); the destination's top byte becomes 0.
 * The rectangles' widths (|right - left|) must be equal; columns stay paired
 * and pairs falling outside either map are skipped. Rows are paired from the
 * tops (source row srcRect.top + k onto destination row dstRect.top + k): a
 * top above its map moves both tops down by its overhang; a bottom at or below
 * its map's bottom, the source's first and then the destination's, takes its
 * overhang off both bottoms. Rows are blended while both tops stay above their
 * bottoms, so with rectangles of unequal heights the source's overhang also
 * cuts destination rows that lie inside their map. */
QV_EXPORT void QDMP_Copy_Rect32A(PixMapHandle src, PixMapHandle dst, const Rect *srcRect, const Rect *dstRect);

/* Scan copies: the run of |srcH2 - srcH1| pixels of source row srcV to the run
 * of destination row dstV, copied pixel by pixel from the left. The lengths
 * must be equal; pixel pairs falling outside either map are skipped. */
QV_EXPORT void QDMP_Copy_Scan(PixMapHandle src, PixMapHandle dst, SInt16 srcV, SInt16 srcH1, SInt16 srcH2, SInt16 dstV,
                              SInt16 dstH1, SInt16 dstH2);
QV_EXPORT void QDMP_Copy_Scan8(PixMapHandle src, PixMapHandle dst, SInt16 srcV, SInt16 srcH1, SInt16 srcH2, SInt16 dstV,
                               SInt16 dstH1, SInt16 dstH2);
QV_EXPORT void QDMP_Copy_Scan16(PixMapHandle src, PixMapHandle dst, SInt16 srcV, SInt16 srcH1, SInt16 srcH2,
                                SInt16 dstV, SInt16 dstH1, SInt16 dstH2);
QV_EXPORT void QDMP_Copy_Scan32(PixMapHandle src, PixMapHandle dst, SInt16 srcV, SInt16 srcH1, SInt16 srcH2,
                                SInt16 dstV, SInt16 dstH1, SInt16 dstH2);
/* As QDMP_Copy_Scan32, blending as QDMP_Copy_Rect32A does. */
QV_EXPORT void QDMP_Copy_Scan32A(PixMapHandle src, PixMapHandle dst, SInt16 srcV, SInt16 srcH1, SInt16 srcH2,
                                 SInt16 dstV, SInt16 dstH1, SInt16 dstH2);

/* ---- Lines, rectangles, circles and curves ------------------------------- */

/* Lines draw 1 + max(|dh|, |dv|) pixels from (fromH, fromV); pixels outside
 * the map are skipped one by one. */
QV_EXPORT void QDMP_Draw_Line(PixMapHandle pm, SInt16 fromH, SInt16 fromV, SInt16 toH, SInt16 toV,
                              const RGBColor *color);
QV_EXPORT void QDMP_Draw_Line8(PixMapHandle pm, SInt16 fromH, SInt16 fromV, SInt16 toH, SInt16 toV, UInt8 value);
QV_EXPORT void QDMP_Draw_Line16(PixMapHandle pm, SInt16 fromH, SInt16 fromV, SInt16 toH, SInt16 toV, UInt16 value);
QV_EXPORT void QDMP_Draw_Line32(PixMapHandle pm, SInt16 fromH, SInt16 fromV, SInt16 toH, SInt16 toV, UInt32 value);
QV_EXPORT void QDMP_Draw_LineP(PixMapHandle pm, Point p1, Point p2, const RGBColor *color);
QV_EXPORT void QDMP_Draw_LineP8(PixMapHandle pm, Point p1, Point p2, UInt8 value);
QV_EXPORT void QDMP_Draw_LineP16(PixMapHandle pm, Point p1, Point p2, UInt16 value);
QV_EXPORT void QDMP_Draw_LineP32(PixMapHandle pm, Point p1, Point p2, UInt32 value);

/* Fills the rows top <= v < bottom, each over the span (left, right). */
QV_EXPORT void QDMP_Fill_Rect(PixMapHandle pm, Rect r, const RGBColor *color);
QV_EXPORT void QDMP_Fill_Rect8(PixMapHandle pm, Rect r, UInt8 value);
QV_EXPORT void QDMP_Fill_Rect16(PixMapHandle pm, Rect r, UInt16 value);
QV_EXPORT void QDMP_Fill_Rect32(PixMapHandle pm, Rect r, UInt32 value);

/* Circle outlines around (h, v); radius 0 plots the centre. */
QV_EXPORT void QDMP_Draw_Circle(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 radius, const RGBColor *color);
QV_EXPORT void QDMP_Draw_Circle8(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 radius, UInt8 value);
QV_EXPORT void QDMP_Draw_Circle16(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 radius, UInt16 value);
QV_EXPORT void QDMP_Draw_Circle32(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 radius, UInt32 value);
QV_EXPORT void QDMP_Draw_CircleP(PixMapHandle pm, Point centre, UInt16 radius, const RGBColor *color);
QV_EXPORT void QDMP_Draw_CircleP8(PixMapHandle pm, Point centre, UInt16 radius, UInt8 value);
QV_EXPORT void QDMP_Draw_CircleP16(PixMapHandle pm, Point centre, UInt16 radius, UInt16 value);
QV_EXPORT void QDMP_Draw_CircleP32(PixMapHandle pm, Point centre, UInt16 radius, UInt32 value);

/* Discs built from spans; they reach one column further left than right of
 * the centre, and radius 0 draws nothing. */
QV_EXPORT void QDMP_Fill_Circle(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 radius, const RGBColor *color);
QV_EXPORT void QDMP_Fill_Circle8(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 radius, UInt8 value);
QV_EXPORT void QDMP_Fill_Circle16(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 radius, UInt16 value);
QV_EXPORT void QDMP_Fill_Circle32(PixMapHandle pm, SInt16 h, SInt16 v, UInt16 radius, UInt32 value);
QV_EXPORT void QDMP_Fill_CircleP(PixMapHandle pm, Point centre, UInt16 radius, const RGBColor *color);
QV_EXPORT void QDMP_Fill_CircleP8(PixMapHandle pm, Point centre, UInt16 radius, UInt8 value);
QV_EXPORT void QDMP_Fill_CircleP16(PixMapHandle pm, Point centre, UInt16 radius, UInt16 value);
QV_EXPORT void QDMP_Fill_CircleP32(PixMapHandle pm, Point centre, UInt16 radius, UInt32 value);

/* Quadratic curve from p0 to p2 pulled toward p1, drawn as short lines. */
QV_EXPORT void QDMP_Draw_Curve(PixMapHandle pm, Point p0, Point p1, Point p2, const RGBColor *color);

/* ---- Random numbers, colour mixing and mip reduction ---------------------- */

/* The library's one pseudo-random sequence (fixed start, no seeding call,
 * shared by all callers, not thread-safe). */
QV_EXPORT SInt16 QDMP_RandomSInt16(void);
/* A value in lo .. hi - 1; lo when hi == lo. */
QV_EXPORT SInt16 QDMP_Random_RangeSInt16(SInt16 lo, SInt16 hi);
/* A value in lo .. hi (both included); reversed bounds give lo or hi. */
QV_EXPORT SInt32 QDMP_Random_RangeSInt32(SInt32 lo, SInt32 hi);

/* c1 + (c2 - c1) x frac(t) per channel in single precision, truncated; only
 * the fractional part of t counts (with its sign). A t that is not finite
 * gives c1. */
QV_EXPORT RGBColor QDMP_Mix_RGBColors(RGBColor c1, RGBColor c2, float t);
/* Euclidean distance of the channel vectors, truncated (0 .. 113509). */
QV_EXPORT UInt32 QDMP_RGBColorDistance(RGBColor a, RGBColor b);

/* Halves a 32-bit map into another with a 2 x 2 box filter on all four bytes,
 * from each map's top-left pixel. Writes min(W/2, dst width) x
 * min(H/2, dst height) pixels, W x H being the source's size; an odd last
 * source column or row is left out. Both maps must be 32 bits deep. */
QV_EXPORT void QDMP_DownMip32A(PixMapHandle src, PixMapHandle dst);

#ifdef __cplusplus
}
#endif

#endif
