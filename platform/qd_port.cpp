#include "platform/qd_port.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/qd_port_frame.h"

struct GrafPort {
    Rect bounds;      // top-left at (0, 0)
    Ptr store;        // the port's own pixels, owned
    PixMap map;       // 32-bit, packed rows: the store or the caller's pixels
    PixMapPtr mapPtr; // what the map's handle points to
    QVPortFrameProc frameProc;
    void *frameUserData;
    UInt32 samples; // per pixel, for contexts drawing into the port
    UInt32 unseen;  // frames still to be drawn unseen
};

namespace {

constexpr size_t kRowAlignment = 64;

// Pixels of a width x height 32-bit map, cleared, or null. Sizes are positive.
Ptr NewPixels(SInt16 width, SInt16 height)
{
    const size_t bytes = static_cast<size_t>(width) * 4u * static_cast<size_t>(height);
    const size_t rounded = (bytes + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    void *p = std::aligned_alloc(kRowAlignment, rounded);
    if (p)
        std::memset(p, 0, rounded);
    return static_cast<Ptr>(p);
}

void SetMap(GrafPort *port, Ptr pixels, SInt16 width, SInt16 height)
{
    port->bounds = Rect{0, 0, height, width};
    port->store = pixels;
    port->map.baseAddr = pixels;
    port->map.rowBytes = static_cast<SInt32>(width) * 4;
    port->map.bounds = port->bounds;
    port->map.pixelSize = 32;
    port->map.pmTable = nullptr;
}

} // namespace

extern "C" Rect *GetPortBounds(CGrafPtr port, Rect *bounds)
{
    *bounds = port->bounds;
    return bounds;
}

extern "C" CGrafPtr QVPort_Create(SInt16 width, SInt16 height)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    GrafPort *port = new (std::nothrow) GrafPort{};
    if (!port)
        return nullptr;
    Ptr pixels = NewPixels(width, height);
    if (!pixels) {
        delete port;
        return nullptr;
    }
    SetMap(port, pixels, width, height);
    port->mapPtr = &port->map;
    return port;
}

extern "C" void QVPort_Dispose(CGrafPtr port)
{
    if (!port)
        return;
    std::free(port->store);
    delete port;
}

extern "C" OSStatus QVPort_Resize(CGrafPtr port, SInt16 width, SInt16 height)
{
    if (width <= 0 || height <= 0)
        return paramErr;
    Ptr pixels = NewPixels(width, height);
    if (!pixels)
        return memFullErr;
    std::free(port->store);
    SetMap(port, pixels, width, height);
    return noErr;
}

extern "C" void QVPort_DrawInto(CGrafPtr port, void *pixels)
{
    port->map.baseAddr = pixels ? static_cast<Ptr>(pixels) : port->store;
}

extern "C" PixMapHandle QVPort_GetPixMap(CGrafPtr port)
{
    return &port->mapPtr;
}

extern "C" void QVPort_SetFrameProc(CGrafPtr port, QVPortFrameProc proc, void *userData)
{
    port->frameProc = proc;
    port->frameUserData = proc ? userData : nullptr;
}

void QVPort_FrameReady(CGrafPtr port, const Rect *bufferRect, SInt32 swapInterval)
{
    if (port->frameProc)
        port->frameProc(port, bufferRect, swapInterval, port->frameUserData);
}

extern "C" void QVPort_SetSamples(CGrafPtr port, UInt32 samples)
{
    port->samples = samples;
}

extern "C" void QVPort_SetUnseenFrames(CGrafPtr port, UInt32 count)
{
    port->unseen = count;
}

UInt32 QVPort_Samples(CGrafPtr port)
{
    return port->samples;
}

UInt32 QVPort_UnseenFrames(CGrafPtr port)
{
    return port->unseen;
}

void QVPort_CountUnseenFrame(CGrafPtr port)
{
    if (port->unseen > 0)
        --port->unseen;
}
