// A visual plug-in bundle run by a host on a stream: the one piece every
// host (the program's render and windows, the GStreamer element, the
// players' adapters) runs the visual through.
//
// It loads the bundle, lets it register and creates its one instance, then
// drives it with messages in the order the plug-in relies on:
//
//   module "init" (the bundle registers with "rvis"), handler "init",
//   "show" with a port and rectangle, then any of "vrnd" (a frame with the
//   audio of that moment), "null" (a frame while idle, when the registration
//   asks for idle messages), "vevt", "swin" and the play-state messages;
//   "hide" before another "show" or the end; handler "clr ", module "clr ".
//
// The visual draws into a port the hosted visual owns, or into pixels a
// caller lends for one frame at a time. A frame of a stream is drawn from the
// audio before its moment (frame_grid.h) with the visual's clock reading its
// whole seconds, so the same audio gives the same frames in every host; a
// frame drawn "now" (a window, a player playing) reads the system's clock.
//
// Threads: every call must come from the thread that first showed the
// visual (its GL context stays current there; hosts called from several
// threads use a VisualThread). Calls of all hosted visuals in a process take
// turns: the visual's clock and the renderer's state are per process.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/common/host_error.h"
#include "host/visual/frame_grid.h"
#include "host/visual/host_services.h"
#include "host/visual/port.h"
#include "host/visual/spectrum_analyzer.h"

namespace qvhost {

class SampleHistory;

// What went wrong with a hosted visual; the message names the bundle.
class VisualError : public HostError {
public:
    enum class Kind {
        Load,      // no bundle there, not a loadable module, no entry point
        Start,     // module or handler "init" failed, or no visual registered
        Size,      // a size outside what the plug-in registered for
        Show,      // "show" refused, or nothing drawn when shown
        Withdrawn, // the plug-in took itself out ("unrg")
    };
    VisualError(Kind kind, const std::string &bundle, const std::string &reason);
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// Where the bundle is when a host is given none: built beside the host (in a
// build tree, lib/quorvanta.so next to the host's own folder), else where
// `cmake --install` put it. Returns the installed path when neither exists,
// so that the error names a sensible place.
std::string DefaultBundlePath();

// The sizes a visual can be shown at, in pixels.
struct SizeRange {
    int minWidth, minHeight, maxWidth, maxHeight;
};

// How the visual fills a frame whose shape is not its own.
enum class Fit {
    Crop,    // drawn at the frame's size: its view takes the frame's shape
    Contain, // drawn in the largest centred area of its natural shape (16:9,
             // the default video's) that fits; the bars beside it take the
             // colour at the picture's edge
    Auto,    // Contain for frames taller than wide (the whole scene on a
             // phone's screen), else Crop (landscape frames as they always were)
};

// Where in a width x height frame the visual draws with `fit` (port
// coordinates: top, left, bottom, right).
Rect DrawArea(int width, int height, Fit fit);

class HostedVisual {
public:
    // Loads the bundle at `bundlePath` (empty: DefaultBundlePath()) and
    // starts it. Plug-in data goes under `configRoot` (empty: the user's,
    // PluginDataStore::DefaultRoot()). Throws VisualError.
    explicit HostedVisual(const std::string &bundlePath = std::string(), const std::string &configRoot = std::string());
    // stop().
    ~HostedVisual();
    HostedVisual(const HostedVisual &) = delete;
    HostedVisual &operator=(const HostedVisual &) = delete;

    // What the plug-in registered for, within what the GL can draw and a
    // port can hold.
    SizeRange sizes() const;
    // Shows the visual in a width x height port ("show"; hidden first when
    // shown) and checks that it drew; the first show starts playback
    // ("vply"). Throws VisualError of kind Size when the size is outside
    // sizes() (nothing is sent then), of kind Show when it refuses or draws
    // nothing; it is hidden after a failure.
    // `fit` places the visual in the port (DrawArea).
    void show(int width, int height, Fit fit = Fit::Crop);
    // A new size while shown: the port takes it and the plug-in is told
    // ("swin"), placed as the last show placed it. Throws HostError when the
    // port cannot take it.
    void resize(int width, int height);
    // "hide", when shown.
    void hide();
    // Smooth edges: frames drawn with `samples` samples per pixel (0 or 1:
    // the plain picture), from the next show on.
    void setSamples(int samples) { samples_ = samples; }
    // The next `count` frames are drawn only for what they do to the
    // visual's motion: their pixels are never seen, so they cost little (see
    // QVPort_SetUnseenFrames) and are not delivered. Frames after them are
    // the frames a full render draws. Shown only.
    void setUnseenFrames(uint32_t count);

    // Frame n of a stream at `fps` whose audio at `rate` samples per second
    // `audio` holds (the kAnalysisSize samples before frame n's moment are
    // analysed; what it does not hold is silence). The frame lands in `pixels`
    // (width x height packed words, lent until the next frame is drawn) or,
    // when null, in the port. Throws VisualError (Withdrawn).
    void drawFrame(int64_t n, FrameRate fps, const SampleHistory &audio, int rate, uint32_t *pixels);
    // The same frame into a player's picture of the port's size whose rows
    // lie `stride` bytes apart: lent to the port when the rows are packed
    // (returns true: the picture must stay valid until the next frame is
    // drawn), else drawn in the port and copied row by row (false).
    bool drawFrame(int64_t n, FrameRate fps, const SampleHistory &audio, int rate, uint8_t *rows, ptrdiff_t stride);
    // A frame now: `left` and `right` are the kAnalysisSize latest samples,
    // or null when there is no audio to show (an idle frame); `seconds` is a
    // steady clock's reading, for the interval the plug-in asked for between
    // deliveries of audio. The frame lands in `pixels` (lent as by
    // drawFrame) or, when null, in the port. Throws VisualError (Withdrawn).
    void drawNow(const float *left, const float *right, double seconds, uint32_t *pixels = nullptr);

    // "vevt": a key press (or auto-repeat) of character `c`; true when the
    // plug-in used it. Sent after start, shown or not.
    bool key(char c, bool repeat);
    // A play-state message ("vply", "vpau", "vunp", "vstp", "ctrk", "setp").
    // Playback that was started and never stopped gets its "vstp" from stop().
    void playState(OSType code);
    // Ends the visual: "vstp" if playing, "hide", handler "clr ", module
    // "clr ". Idempotent; nothing is sent afterwards.
    void stop();

    bool shown() const { return state_ == State::Shown; }
    // The plug-in asked to be taken out ("unrg"); hosts stop drawing it.
    bool withdrawn() const { return services_.unregisterRequested(); }
    const Port &port() const { return *port_; }
    HostServices &services() { return services_; }
    const HostServices &services() const { return services_; }
    const std::string &bundlePath() const { return path_; }

private:
    enum class State { Loaded, Registered, Instance, Shown, Hidden, Ended };
    void load();
    void start();
    OSStatus send(OSType code, void *info);
    // "vrnd" with `data` when the registration's interval has passed since
    // the last delivery at `seconds`, else "null" when it asks for idle.
    void frame(const RenderData *data, double seconds);
    // The longest side the GL and a port can take.
    int largestSide() const;
    void checkSize(int width, int height) const;
    void checkNotWithdrawn() const;

    std::string path_;
    HostServices services_;      // before the port and the plug-in: they call it until the end
    std::unique_ptr<Port> port_; // outlives the instance's context: "hide" detaches it
    PluginMainProcPtr entry_ = nullptr;
    VisualPluginProcPtr handler_ = nullptr;
    void *refCon_ = nullptr;
    State state_ = State::Loaded;
    bool playing_ = false;
    int glLargestSide_ = 0; // 0: the GL could not be asked
    int samples_ = 0;       // per pixel, for the next show
    Fit fit_ = Fit::Crop;   // of the last show
    double lastData_;       // when "vrnd" was last sent (frame seconds)
    SpectrumAnalyzer analyzer_;
    ChannelRequest request_; // what the registration asked for
    RenderData data_;        // the frame's audio, filled in place
};

} // namespace qvhost
