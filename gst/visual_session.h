// The bundle hosted for one stream, as the `quorvanta` program hosts it for a
// render: loaded and started, shown in a port of the stream's size, then one
// "vrnd" per video frame with the spectrum of that frame's audio, the
// visual's calendar clock reading the frame's time.
//
// Every member but shown() runs on the session's thread (SessionThread). Sessions of all
// elements in the process take turns (one process-wide lock): the visual's
// clock is one per process.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "host/port.h"
#include "host/spectrum_analyzer.h"
#include "host/visual_host.h"

namespace qvgst {

class VisualSession {
public:
    // Loads the bundle and sends module and handler "init". Throws
    // qvhost::HostError naming the bundle and the reason.
    explicit VisualSession(const std::string &bundlePath);
    // Stops the visual ("vstp", "hide", "clr ") before the port goes.
    ~VisualSession();
    VisualSession(const VisualSession &) = delete;
    VisualSession &operator=(const VisualSession &) = delete;

    // Shows the visual in a width x height port (again, hidden first, when
    // already shown) and starts playback. Throws HostError when the size is
    // outside what the plug-in registered for, or it refuses "show" or draws
    // nothing when shown.
    void show(int width, int height);
    bool shown() const { return port_ != nullptr; }

    // Draws the frame at `seconds` of running time, the visual's clock reading
    // `clockSeconds`: `left` and `right` are the kAnalysisSize samples before it. The frame lands in `pixels` (width x
    // height packed native ARGB words, kept valid until the next frame has
    // been drawn) or, when null, in the port (read it with port()). Throws
    // HostError when the plug-in has taken itself out.
    void draw(const float *left, const float *right, double seconds, time_t clockSeconds, uint32_t *pixels);
    const qvhost::Port &port() const { return *port_; }

private:
    std::unique_ptr<qvhost::Port> port_; // outlives the visual: "hide" detaches from it
    std::unique_ptr<qvhost::HostSession> session_;
    qvhost::SpectrumAnalyzer analyzer_;
    qvhost::ChannelRequest request_;
};

} // namespace qvgst
