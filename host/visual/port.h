// The window port the visual draws into, owned by the host: a platform port
// whose pixel map holds each finished frame as native 32-bit ARGB words.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/qd_port.h"

namespace qvhost {

class Port {
public:
    // Throws HostError when the port cannot be made (size not positive or
    // beyond kQVPortMaxSide, or no memory).
    Port(int width, int height);
    ~Port();
    Port(const Port &) = delete;
    Port &operator=(const Port &) = delete;

    CGrafPtr get() const { return port_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // The whole port as a QuickDraw rectangle (top, left, bottom, right).
    Rect bounds() const;
    // New size, contents cleared. Throws HostError on failure.
    void resize(int width, int height);

    // Row `y` (0 = top) of the pixel map, `width()` words.
    const uint32_t *row(int y) const;

    // From the next frame on, frames go straight into `pixels` (width() x
    // height() words, packed, the caller's until the next call), so they are
    // read back where the caller reads them; null: into the port's own store
    // again. A frame that covers only part of the port gets the rest from
    // where the previous frame went, so every target holds a whole picture:
    // the previous target must stay valid until the next frame has come.
    void drawInto(uint32_t *pixels);

    // Frames the GL context has delivered since the port was made.
    uint64_t framesDelivered() const { return delivered_; }

    // Smooth edges: samples per pixel (0 or 1: the plain picture) of the
    // frames drawn once the visual is next shown.
    void setSamples(int samples);
    // The next `count` frames are drawn only for the visual's motion: nothing
    // is read back and they are not delivered (QVPort_SetUnseenFrames).
    void setUnseenFrames(uint32_t count);
    // With `fill`, a frame that covers part of the port fills the rest with
    // the colour at the picture's edge: each bar beside it takes the colour
    // seen most along the side of the picture it touches, so a figure
    // crossing that side changes nothing; without, the rest comes from where
    // the last frame went (see drawInto).
    void setFillBars(bool fill);

private:
    static void OnFrame(CGrafPtr port, const Rect *changed, SInt32 swapInterval, void *self);
    void fillBars(const Rect &picture, uint32_t *pixels);

    // Where frames go now, and where the last one went.
    const uint32_t *target() const;
    const uint32_t *last_ = nullptr;

    CGrafPtr port_ = nullptr;
    int width_ = 0, height_ = 0;
    uint64_t delivered_ = 0;
    bool fillBars_ = false;
    std::vector<uint32_t> edge_; // a side of the picture, sorted to find its commonest colour
};

} // namespace qvhost
