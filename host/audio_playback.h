// Plays a clip through SDL2's audio output and tells which sample is being
// heard now: what the device has taken, less what still waits in its buffer,
// advanced by the time since the device last asked for data. Without an
// output device the same clock runs on the wall clock, silently.
//
// The SDL audio subsystem must be initialised. Control calls come from one
// thread; the device's callback runs on SDL's audio thread.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

namespace qvhost {

struct AudioClip;

class AudioPlayback {
public:
    // Starts paused at sample 0. `clip` must outlive the playback (or be
    // replaced with setClip). When no device opens, `warning` says why.
    explicit AudioPlayback(const AudioClip &clip);
    ~AudioPlayback();
    AudioPlayback(const AudioPlayback &) = delete;
    AudioPlayback &operator=(const AudioPlayback &) = delete;

    bool hasDevice() const { return device_ != 0; }
    const std::string &warning() const { return warning_; }

    void setPaused(bool paused);
    bool paused() const { return paused_; }
    // Jumps to `sample` (clamped to the clip).
    void seek(int64_t sample);

    // The sample heard now, 0..frames of the clip.
    int64_t heardSample();
    // True once everything has been heard.
    bool finished() { return heardSample() >= clipFrames_; }
    int sampleRate() const { return rate_; }

private:
    static void Callback(void *self, Uint8 *stream, int len);
    void feed(float *out, int frames);
    int64_t heardLocked(Uint64 now) const;

    const AudioClip *clip_;
    int64_t clipFrames_ = 0;
    int rate_ = 0;
    SDL_AudioDeviceID device_ = 0;
    int latencyFrames_ = 0;
    bool paused_ = true;
    std::string warning_;

    // Shared with the callback; guarded by SDL_LockAudioDevice.
    int64_t fed_ = 0;          // samples given to the device (silence past the end included)
    int64_t chunkStart_ = 0;   // first sample of the last chunk given
    Uint64 chunkTime_ = 0;     // when that chunk was asked for
    bool chunkValid_ = false;  // a chunk has been given since start/seek/resume
    int64_t floor_ = 0;        // the clock never goes back behind this
};

} // namespace qvhost
