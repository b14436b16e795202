// SDL for the life of a window session.
#pragma once

namespace qvhost {

// The subsystems asked for, with the hints the program needs (software
// window surfaces, monitor sources listed).
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
