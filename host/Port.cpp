#include "host/Port.h"

#include <cstring>
#include <string>

#include "host/HostError.h"
#include "platform/QDPixMap.h"

namespace qvhost {
namespace {

void CheckSize(int width, int height)
{
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767)
        throw HostError("cannot make a " + std::to_string(width) + "x" + std::to_string(height) + " port");
}

} // namespace

Port::Port(int width, int height)
{
    CheckSize(width, height);
    port_ = QVPort_Create(static_cast<SInt16>(width), static_cast<SInt16>(height));
    if (!port_)
        throw HostError("out of memory for a " + std::to_string(width) + "x" + std::to_string(height) + " port");
    width_ = width;
    height_ = height;
    QVPort_SetFrameProc(port_, &Port::OnFrame, this);
}

Port::~Port()
{
    QVPort_Dispose(port_);
}

Rect Port::bounds() const
{
    return Rect{0, 0, static_cast<SInt16>(height_), static_cast<SInt16>(width_)};
}

void Port::resize(int width, int height)
{
    CheckSize(width, height);
    if (QVPort_Resize(port_, static_cast<SInt16>(width), static_cast<SInt16>(height)) != noErr)
        throw HostError("cannot resize the port to " + std::to_string(width) + "x" + std::to_string(height));
    width_ = width;
    height_ = height;
}

const uint32_t *Port::row(int y) const
{
    PixMapHandle pm = QVPort_GetPixMap(port_);
    const char *base = GetPixBaseAddr(pm);
    return reinterpret_cast<const uint32_t *>(base + static_cast<ptrdiff_t>(y) * GetPixRowBytes(pm));
}

void Port::copyTo(uint32_t *dst, int dstStride) const
{
    PixMapHandle pm = QVPort_GetPixMap(port_);
    const char *base = GetPixBaseAddr(pm);
    const SInt32 rowBytes = GetPixRowBytes(pm);
    const size_t bytes = static_cast<size_t>(width_) * 4;
    if (rowBytes == static_cast<SInt32>(bytes) && dstStride == width_) {
        std::memcpy(dst, base, bytes * static_cast<size_t>(height_));
        return;
    }
    for (int y = 0; y < height_; ++y)
        std::memcpy(dst + static_cast<ptrdiff_t>(y) * dstStride, base + static_cast<ptrdiff_t>(y) * rowBytes, bytes);
}

void Port::OnFrame(CGrafPtr, const Rect *, SInt32 swapInterval, void *self)
{
    Port *p = static_cast<Port *>(self);
    ++p->delivered_;
    p->swapInterval_ = swapInterval;
}

} // namespace qvhost
