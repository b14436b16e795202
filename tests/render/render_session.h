// Drives the bundle as a host does, with a real port: loads it, registers it,
// creates an instance, and sends window and frame messages. Records every
// frame the bundle hands to the port.
#pragma once

#include <ctime>
#include <memory>
#include <vector>

#include "plugin/PluginState.h"
#include "support/image_io.h"
#include "support/test_host.h"

namespace rendertest {

// Replaces the calendar clock while alive; the previous source is the C
// library's again afterwards.
class FixedClock {
public:
    explicit FixedClock(time_t now);
    ~FixedClock();
    void set(time_t now) { now_ = now; }

private:
    static time_t Read(void *self);
    time_t now_;
};

struct FrameEvent {
    Rect bufferRect;
    SInt32 swapInterval;
};

// 40 bass bytes of one render message (the rest of the spectrum is zero).
struct Spectrum {
    UInt8 bass[40];
    static Spectrum Level(UInt8 every);
};

class RenderSession {
public:
    // Loads the bundle and creates one instance; the port is width x height.
    RenderSession(SInt16 width, SInt16 height);
    ~RenderSession();
    RenderSession(const RenderSession &) = delete;
    RenderSession &operator=(const RenderSession &) = delete;

    bool ok() const { return ok_; }
    OSStatus show(const Rect &rect);
    OSStatus show() { return show(Rect{0, 0, height_, width_}); }
    OSStatus swin(const Rect &rect);
    OSStatus hide();
    OSStatus render(const Spectrum &spectrum, UInt8 channels = 2);
    // A render message with the whole record as given.
    OSStatus render(const RenderData &data);
    OSStatus idle();
    OSStatus cleanup();

    CGrafPtr port() const { return port_; }
    Image frame() const { return CopyPort(port_); }
    VisualPluginState *state() const { return static_cast<VisualPluginState *>(host_->refCon()); }
    qvtest::TestHost &host() { return *host_; }
    const std::vector<FrameEvent> &frames() const { return frames_; }

    // Fills the whole port with one word, to see what a frame leaves alone.
    void fillPort(uint32_t word);

    // True once no copy of the bundle is loaded in the process any more, so
    // that the next session starts from fresh renderer statics.
    static bool BundleUnloaded();

private:
    static void OnFrame(CGrafPtr, const Rect *bufferRect, SInt32 swapInterval, void *self);
    std::unique_ptr<qvtest::TestHost> host_;
    CGrafPtr port_ = nullptr;
    SInt16 width_, height_;
    bool ok_ = false;
    bool instance_ = false;
    std::vector<FrameEvent> frames_;
    RenderData data_{};
};

} // namespace rendertest
