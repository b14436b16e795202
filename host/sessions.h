// The window sessions of the program: playing files (or the demo) with
// sound, and visualizing what the computer plays.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "host/visual_window.h"

namespace qvhost {

class AudioSource;

// A track to play: its name for messages and how to open its audio.
struct Track {
    std::string name;
    std::function<std::unique_ptr<AudioSource>()> load; // throws HostError
};

struct PlayOptions {
    std::vector<Track> tracks;
    std::string bundlePath;
    WindowOptions window;
    std::string configRoot; // empty: the default
};

// Plays the tracks in order in a window: "vply" when playback starts, "vpau"
// and "vunp" on space, "setp" when the arrows seek (left/right 5 s, up/down
// 30 s), "ctrk" when the next track starts, "vstp" at the end. A track
// whose decoding stopped early gets one warning line when it ends. Throws
// HostError.
void RunPlay(const PlayOptions &options);

struct LiveOptions {
    std::string device; // empty: the default output's monitor
    std::string bundlePath;
    WindowOptions window;
    std::string configRoot;
};

// Visualizes captured audio until quit; space freezes the picture's audio
// ("null" frames). Throws HostError.
void RunLive(const LiveOptions &options);

// Prints the capture devices, one per line, monitors marked, the default
// marked with '*'. Throws HostError when audio cannot start.
void ListDevices(std::ostream &out);

// SDL for the life of a session: the subsystems asked for, with the hints
// the program needs (software window surfaces, monitor sources listed).
class SdlRuntime {
public:
    // `video`: also the video subsystem. Audio that fails to start is left
    // out (sessions then run silently); video that fails throws HostError.
    explicit SdlRuntime(bool video);
    ~SdlRuntime();
    SdlRuntime(const SdlRuntime &) = delete;
    SdlRuntime &operator=(const SdlRuntime &) = delete;
    bool audio() const { return audio_; }

private:
    bool audio_ = false;
};

} // namespace qvhost
