#include "gst/visual_session.h"

#include <mutex>

#include "host/host_error.h"
#include "platform/qv_clock.h"

namespace qvgst {
namespace {

// Taken around every call into a bundle; guards the clock below.
std::mutex gBundleLock;
time_t gFrameSeconds = 0;

time_t FrameClock(void *)
{
    return gFrameSeconds;
}

void CheckRegistrationLimits(const qvhost::VisualHost &host, int width, int height)
{
    const VisualRegistration &reg = host.services().registration();
    auto outside = [](int v, int lo, int hi) { return (lo > 0 && v < lo) || (hi > 0 && v > hi); };
    if (outside(width, reg.minWidth, reg.maxWidth) || outside(height, reg.minHeight, reg.maxHeight))
        throw qvhost::HostError(std::to_string(width) + "x" + std::to_string(height) +
                                ": outside the frame sizes the plug-in accepts (" + std::to_string(reg.minWidth) +
                                "x" + std::to_string(reg.minHeight) + " to " + std::to_string(reg.maxWidth) + "x" +
                                std::to_string(reg.maxHeight) + ")");
}

} // namespace

VisualSession::VisualSession(const std::string &bundlePath)
{
    std::lock_guard<std::mutex> hold(gBundleLock);
    session_ = std::make_unique<qvhost::HostSession>(bundlePath, std::string());
    request_ = {session_->visual.spectrumChannels(), session_->visual.waveformChannels()};
}

VisualSession::~VisualSession()
{
    std::lock_guard<std::mutex> hold(gBundleLock);
    session_.reset();
}

void VisualSession::show(int width, int height)
{
    std::lock_guard<std::mutex> hold(gBundleLock);
    qvhost::VisualHost &host = session_->visual;
    CheckRegistrationLimits(host, width, height);
    host.hide();
    if (!port_)
        port_ = std::make_unique<qvhost::Port>(width, height);
    else
        port_->resize(width, height);
    const uint64_t before = port_->framesDelivered();
    try {
        host.show(port_->get(), port_->bounds());
        if (port_->framesDelivered() == before)
            throw qvhost::HostError(host.bundlePath() + ": the visual drew nothing when shown (no usable GL renderer?)");
    } catch (...) {
        host.hide();
        port_.reset(); // not shown
        throw;
    }
    host.playState(kVisualPluginPlayMessage);
}

void VisualSession::draw(const float *left, const float *right, double seconds, time_t clockSeconds, uint32_t *pixels)
{
    std::lock_guard<std::mutex> hold(gBundleLock);
    if (session_->services.unregisterRequested())
        throw qvhost::HostError(session_->visual.bundlePath() + ": the plug-in took itself out");
    RenderData data;
    analyzer_.fill(left, right, request_, data);
    port_->drawInto(pixels);
    gFrameSeconds = clockSeconds;
    QVClock_SetSource(&FrameClock, nullptr);
    session_->visual.frame(&data, seconds);
    QVClock_SetSource(nullptr, nullptr);
}

} // namespace qvgst
