// `quorvanta live`: what the computer plays (or another capture device),
// visualized in a window.
#pragma once

#include <ostream>
#include <string>

#include "host/window/visual_window.h"

namespace qvhost {

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

} // namespace qvhost
