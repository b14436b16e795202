// The player's side of the visual plug-in interface: loads a bundle, lets it
// register, creates one instance of its visual and drives it with messages
// in the order the plug-in relies on:
//
//   module "init" (the bundle registers with "rvis"), handler "init",
//   "show" with a port and rectangle, then any of "vrnd" (a frame with the
//   audio of that moment), "null" (a frame while idle, only when the
//   registration asks for idle messages), "vevt", "swin", and the play-state
//   messages; "hide" before another "show" or the end; handler "clr ",
//   module "clr ".
//
// Frames are only sent while shown. Everything runs on the caller's thread;
// the GL context the visual makes on "show" stays current on it.
#pragma once

#include <string>

#include "host/host_services.h"
#include "plugin/host_records.h"

namespace qvhost {

class VisualHost {
public:
    // Loads the bundle at `bundlePath` and finds its entry point. Throws
    // HostError ("PATH: reason") when it is no loadable module or lacks
    // iTunesPluginMainMachO. `services` must outlive this object.
    VisualHost(const std::string &bundlePath, HostServices &services);
    // Ends the visual if the caller did not (hide, clr, module clr).
    ~VisualHost();
    VisualHost(const VisualHost &) = delete;
    VisualHost &operator=(const VisualHost &) = delete;

    // Module "init" and handler "init". Throws HostError when the bundle
    // fails either or registers no visual.
    void start();
    // "show". Throws HostError when the plug-in refuses.
    void show(CGrafPtr port, const Rect &drawRect);
    // "swin".
    void setWindow(const Rect &drawRect);
    // "vrnd" with `data` (counts as in the registration's request).
    void render(const RenderData &data);
    // "null", when the registration asks for idle messages; otherwise nothing.
    void idle();
    // One frame at `seconds` (the media's or the wall clock's): "vrnd" with
    // `data` when there is data and the interval the registration asked for
    // between deliveries has passed since the last one, else idle().
    void frame(const RenderData *data, double seconds);
    // "vevt": a key press (or auto-repeat) of character `c`; returns true
    // when the plug-in consumed it.
    bool key(char c, bool repeat);
    // A play-state message: "vply", "vpau", "vunp", "vstp", "ctrk", "setp".
    // Playback that was started ("vply") and never stopped gets its "vstp"
    // from stop().
    void playState(OSType code);
    // "hide".
    void hide();
    // hide (if shown), handler "clr ", module "clr ". Idempotent.
    void stop();

    bool shown() const { return state_ == State::Shown; }
    bool wantsIdle() const;
    // How many channels of each kind the registration asked for.
    int spectrumChannels() const;
    int waveformChannels() const;
    const std::string &bundlePath() const { return path_; }
    HostServices &services() { return services_; }
    const HostServices &services() const { return services_; }

private:
    enum class State { Loaded, Registered, Instance, Shown, Hidden, Ended };
    OSStatus send(OSType code, void *info);

    std::string path_;
    HostServices &services_;
    PluginMainProcPtr entry_ = nullptr;
    VisualPluginProcPtr handler_ = nullptr;
    void *refCon_ = nullptr;
    State state_ = State::Loaded;
    bool playing_ = false;
    double lastData_ = -1e300; // when "vrnd" was last sent (frame() seconds)
};

// One session's host: the services the plug-in calls into and the visual
// loaded from `bundlePath`, started (module and handler "init" sent). Plug-in
// data goes under `configRoot` (empty: PluginDataStore::DefaultRoot()).
// Throws HostError as VisualHost does. The visual is ended (hide, clr) when the
// session goes, if the caller did not stop it first.
class HostSession {
public:
    HostSession(const std::string &bundlePath, const std::string &configRoot);
    HostServices services; // declared first: the visual calls it until it ends
    VisualHost visual;
};

// Where the bundle is looked for when --plugin is not given: beside the
// program, then ../lib/quorvanta/, ../<libdir>/quorvanta/ and ../lib/ from
// the program's directory. Returns the first that exists, or the first
// candidate when none does (so the error names a sensible path).
std::string DefaultBundlePath();

} // namespace qvhost
