// `quorvanta play`: audio files (or the demo) in a window, with sound.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/window/visual_window.h"

namespace qvhost {

class AudioSource;

// A track to play: its name for the window's title and how to open its audio.
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

} // namespace qvhost
