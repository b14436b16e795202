#include "host/visual/port.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "host/common/defaults.h"
#include "host/common/host_error.h"
#include "platform/qd_pixmap.h"

namespace qvhost {
namespace {

void CheckSize(int width, int height)
{
    if (width <= 0 || height <= 0 || width > kQVPortMaxSide || height > kQVPortMaxSide)
        throw HostError("cannot make a " + std::to_string(width) + "x" + std::to_string(height) + " port");
}

// Copies every pixel outside `inside` (port coordinates, within the port)
// from `from` into `to`: both width x height words, packed.
void CopyOutside(const Rect &inside, const uint32_t *from, uint32_t *to, int width, int height)
{
    const auto span = [&](int y, int x0, int x1) {
        const ptrdiff_t at = static_cast<ptrdiff_t>(y) * width + x0;
        std::memcpy(to + at, from + at, static_cast<size_t>(x1 - x0) * kBytesPerPixel);
    };
    for (int y = 0; y < height; ++y) {
        if (y < inside.top || y >= inside.bottom) {
            span(y, 0, width);
            continue;
        }
        if (inside.left > 0)
            span(y, 0, inside.left);
        if (inside.right < width)
            span(y, inside.right, width);
    }
}

// The colour seen most in `pixels` (sorted in place; not empty), the lowest
// of equals.
uint32_t Commonest(std::vector<uint32_t> &pixels)
{
    std::sort(pixels.begin(), pixels.end());
    uint32_t best = pixels.front();
    size_t bestRun = 0;
    for (size_t i = 0, run; i < pixels.size(); i += run) {
        run = 1;
        while (i + run < pixels.size() && pixels[i + run] == pixels[i])
            ++run;
        if (run > bestRun)
            best = pixels[i], bestRun = run;
    }
    return best;
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
    last_ = nullptr;
}

const uint32_t *Port::row(int y) const
{
    PixMapHandle pm = QVPort_GetPixMap(port_);
    const char *base = GetPixBaseAddr(pm);
    return reinterpret_cast<const uint32_t *>(base + static_cast<ptrdiff_t>(y) * GetPixRowBytes(pm));
}

void Port::drawInto(uint32_t *pixels)
{
    QVPort_DrawInto(port_, pixels);
    if (!pixels)
        last_ = nullptr; // the caller's pixels may go now
}

const uint32_t *Port::target() const
{
    return reinterpret_cast<const uint32_t *>(GetPixBaseAddr(QVPort_GetPixMap(port_)));
}

void Port::setSamples(int samples)
{
    QVPort_SetSamples(port_, samples > 0 ? static_cast<UInt32>(samples) : 0u);
}

void Port::setUnseenFrames(uint32_t count)
{
    QVPort_SetUnseenFrames(port_, count);
}

void Port::setFillBars(bool fill)
{
    fillBars_ = fill;
}

void Port::fillBars(const Rect &picture, uint32_t *pixels)
{
    const ptrdiff_t w = width_;
    // The colour of the side of the picture from `first` in steps of `step`.
    const auto sideColour = [&](ptrdiff_t first, ptrdiff_t step, int count) {
        edge_.resize(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            edge_[static_cast<size_t>(i)] = pixels[first + i * step];
        return Commonest(edge_);
    };
    const int across = picture.right - picture.left, down = picture.bottom - picture.top;
    if (picture.top > 0)
        std::fill_n(pixels, picture.top * w, sideColour(picture.top * w + picture.left, 1, across));
    if (picture.bottom < height_)
        std::fill(pixels + picture.bottom * w, pixels + height_ * w,
                  sideColour((picture.bottom - 1) * w + picture.left, 1, across));
    if (picture.left > 0) {
        const uint32_t c = sideColour(picture.top * w + picture.left, w, down);
        for (int y = picture.top; y < picture.bottom; ++y)
            std::fill_n(pixels + y * w, picture.left, c);
    }
    if (picture.right < width_) {
        const uint32_t c = sideColour(picture.top * w + picture.right - 1, w, down);
        for (int y = picture.top; y < picture.bottom; ++y)
            std::fill(pixels + y * w + picture.right, pixels + (y + 1) * w, c);
    }
}

void Port::OnFrame(CGrafPtr, const Rect *changed, SInt32, void *self)
{
    Port *p = static_cast<Port *>(self);
    uint32_t *now = const_cast<uint32_t *>(p->target());
    if (p->fillBars_)
        p->fillBars(*changed, now);
    else if (p->last_ && p->last_ != now)
        CopyOutside(*changed, p->last_, now, p->width_, p->height_);
    p->last_ = now;
    ++p->delivered_;
}

} // namespace qvhost
