// Plays an audio source through SDL2's audio output and tells which sample
// is being heard now: what the device has taken, less what still waits in
// its buffer, advanced by the time since the device last asked for data.
// Without an output device the same clock runs on the wall clock, silently.
//
// The source is decoded a little ahead of the device on the control thread
// (pump), into a history the device and the analysis read; the history
// keeps about a second behind, so memory does not grow with the source.
//
// The SDL audio subsystem must be initialised. Control calls come from one
// thread; the device's callback runs on SDL's audio thread.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/common/sample_history.h"

namespace qvhost {

class AudioSource;

class AudioPlayback {
public:
    // Starts paused at sample 0. `source` must outlive the playback and is
    // used only from the control thread. When no device opens, `warning`
    // says why.
    explicit AudioPlayback(AudioSource &source);
    ~AudioPlayback();
    AudioPlayback(const AudioPlayback &) = delete;
    AudioPlayback &operator=(const AudioPlayback &) = delete;

    const std::string &warning() const { return warning_; }

    // Decodes what the device will ask for next. Call at least every few
    // hundred milliseconds while playing.
    void pump();
    void setPaused(bool paused);
    bool paused() const { return paused_; }
    // Jumps to `sample` (from 0; at most the end, once known).
    void seek(int64_t sample);

    // The sample heard now, from 0 to the end.
    int64_t heardSample();
    // True once everything has been heard.
    bool finished() { return heardSample() >= end_ && end_ >= 0; }
    int sampleRate() const { return rate_; }
    // Copies positions [start, start + count) into `left` and `right`, with
    // silence where nothing is held (recent samples are).
    void copy(int64_t start, int count, float *left, float *right);

private:
    static void Callback(void *self, Uint8 *stream, int len);
    void feed(float *out, int frames);
    int64_t heardLocked(Uint64 now) const;

    AudioSource &source_;
    int rate_ = 0;
    SDL_AudioDeviceID device_ = 0;
    int latencyFrames_ = 0;
    bool paused_ = true;
    std::string warning_;
    std::vector<float> decoded_[2]; // the control thread's chunk of decoded samples
    int64_t end_ = -1;              // where the source ended; -1 until it has

    // Shared with the callback; guarded by the device's lock.
    SampleHistory history_;
    int64_t fed_ = 0;                 // samples given to the device (silence past the end included)
    int64_t chunkStart_ = 0;          // first sample of the last chunk given
    Uint64 chunkTime_ = 0;            // when that chunk was asked for
    bool chunkValid_ = false;         // a chunk has been given since start/seek/resume
    int64_t floor_ = 0;               // the clock never goes back behind this
    std::vector<float> feedChunk_[2]; // the callback's copy of the samples it gives
};

} // namespace qvhost
