/* The window port: the stand-in for the host's graphics port that the visual
 * draws into. A port has bounds (top-left at 0, 0) and a 32-bit pixel map as
 * its backing store (see qd_pixmap.h for the pixel layout). Whoever shows the
 * port (the host program) is told through the frame procedure each time a GL
 * context attached to the port has swapped a finished frame into the map.
 * Ports are used on one thread. */
#ifndef QV_PLATFORM_QDPORT_H
#define QV_PLATFORM_QDPORT_H

#include "platform/mac_types.h"
#include "platform/qd_pixmap.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The largest side of a port: its coordinates are signed 16-bit. */
enum { kQVPortMaxSide = 32767 };

typedef struct GrafPort GrafPort; /* defined by the platform */
typedef GrafPort *CGrafPtr;

/* Writes the port's bounds into *bounds and returns bounds. */
Rect *GetPortBounds(CGrafPtr port, Rect *bounds);

/* Told after a frame has been copied into the port's pixel map.
 * `bufferRect` is the part of the port that changed, in port coordinates
 * (top-down); `swapInterval` is the context's AGL_SWAP_INTERVAL (0: do not
 * pace, 1: one frame per display refresh). Called on the drawing thread. */
typedef void (*QVPortFrameProc)(CGrafPtr port, const Rect *bufferRect, SInt32 swapInterval, void *userData);

/* Creates a port of width x height pixels, its map cleared to 0. Returns null
 * when the size is not positive or memory runs out. The caller owns the port. */
CGrafPtr QVPort_Create(SInt16 width, SInt16 height);
/* Releases the port and its pixel map. Null is ignored. No GL context may
 * still be attached to it. */
void QVPort_Dispose(CGrafPtr port);
/* Resizes the backing store (contents cleared). Returns noErr, paramErr for a
 * size that is not positive, memFullErr when memory runs out (port unchanged). */
OSStatus QVPort_Resize(CGrafPtr port, SInt16 width, SInt16 height);
/* Points the port's pixel map at `pixels` (width x height words, packed rows,
 * top first; the caller's, and at least as long as frames go into them), so
 * that frames land where the caller reads them; null goes back to the port's
 * own store. A frame covers only the rectangle its context swaps; the rest of
 * `pixels` keeps what it held. */
void QVPort_DrawInto(CGrafPtr port, void *pixels);
/* The port's 32-bit pixel map; valid until the port is resized or disposed. */
PixMapHandle QVPort_GetPixMap(CGrafPtr port);
/* Sets (or with null clears) the frame procedure. */
void QVPort_SetFrameProc(CGrafPtr port, QVPortFrameProc proc, void *userData);
/* Smooth edges: contexts draw the port's frames with `samples` samples per
 * pixel (multisampled), each pixel's samples resolved to one colour before
 * the frame is read back; 0 or 1: one sample, the plain picture. Where the GL
 * offers fewer, it uses as many as it has. Taken up when a context next fits
 * its framebuffer to the port (aglSetDrawable, aglUpdateContext): set it
 * before the visual is shown. */
void QVPort_SetSamples(CGrafPtr port, UInt32 samples);
/* The next `count` frames swapped into the port are drawn only for what
 * drawing them does to the visual (its motion): their pixels are never seen.
 * A context draws them into a framebuffer of one pixel, reads nothing back and
 * does not call the frame procedure; at the end of the last one's swap its
 * framebuffer takes its size again, so that the next frame is drawn whole
 * with the GL's state (viewport, matrices, textures) as the visual left it.
 * The first of them may be drawn at full size (a framebuffer follows at the
 * end of a swap). 0 ends a run at the next swap. */
void QVPort_SetUnseenFrames(CGrafPtr port, UInt32 count);

#ifdef __cplusplus
}
#endif

#endif
