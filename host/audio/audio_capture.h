// Captures audio with SDL2 (monitor sources of PulseAudio or PipeWire
// included) into a ring buffer, from which the latest samples can be read.
//
// Device names are SDL's: PulseAudio shows a sink's monitor as "Monitor of
// <sink description>". A PulseAudio source name (such as "mysink.monitor")
// is also accepted: it is handed to libpulse as the default source.
//
// The SDL audio subsystem must be initialised by the caller, except where
// said. The callback runs on SDL's audio thread; the rest on one thread.
#pragma once

#include <SDL.h>

#include <string>
#include <vector>

#include "host/common/defaults.h"
#include "host/common/sample_history.h"

namespace qvhost {

struct CaptureDevice {
    std::string name;
    bool monitor = false; // captures what an output plays
};

// Throws HostError when nothing can be captured: no sound server reachable
// and no capture device of the sound card's.
void CheckCaptureAvailable();
// Sets the hint that makes SDL list monitor sources; call before SDL's audio
// subsystem starts.
void IncludeMonitorDevices();
// Capture devices as SDL lists them.
std::vector<CaptureDevice> ListCaptureDevices();
// The device `live` uses when none is named: the monitor of the default
// output if SDL can tell it, else the first monitor, else "" (the default
// capture device).
std::string DefaultMonitorDevice();

class AudioCapture {
public:
    // Samples per second; one second of them is held.
    static constexpr int kRingFrames = kStandardRate;

    // Opens `device` (SDL name, a unique part of one, or a PulseAudio source
    // name; empty: DefaultMonitorDevice()) and starts capturing. Throws
    // HostError naming the device when it cannot. May restart SDL's audio
    // subsystem (for a PulseAudio source name).
    explicit AudioCapture(const std::string &device);
    ~AudioCapture();
    AudioCapture(const AudioCapture &) = delete;
    AudioCapture &operator=(const AudioCapture &) = delete;

    // What was opened, for messages.
    const std::string &deviceName() const { return name_; }
    // The `count` most recent samples of each channel (count <= kRingFrames),
    // oldest first; silence before capture began.
    void latest(float *left, float *right, int count);

private:
    static void Callback(void *self, Uint8 *stream, int len);
    void take(const float *in, int frames);

    SDL_AudioDeviceID device_ = 0;
    std::string name_;
    SampleHistory ring_{kRingFrames}; // guarded by the device's lock
};

} // namespace qvhost
