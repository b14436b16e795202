/* Inside the platform library: how a GL context hands a finished frame to its
 * port. Not for the bundle or the host. */
#ifndef QV_PLATFORM_QDPORTFRAME_H
#define QV_PLATFORM_QDPORTFRAME_H

#include "platform/qd_port.h"

/* Calls the port's frame procedure, if any, with the changed rectangle (port
 * coordinates, already clipped to the port) and the swap interval. */
void QVPort_FrameReady(CGrafPtr port, const Rect *bufferRect, SInt32 swapInterval);
/* What QVPort_SetSamples asked for. */
UInt32 QVPort_Samples(CGrafPtr port);
/* The frames still to be drawn unseen (QVPort_SetUnseenFrames). */
UInt32 QVPort_UnseenFrames(CGrafPtr port);
/* One unseen frame has been swapped. */
void QVPort_CountUnseenFrame(CGrafPtr port);

#endif
