// The frames of a visual drawn now, for a player that hands over the audio
// as it plays on one thread and shows the frames on another (Kodi's
// visualization add-on). The visual draws on a VisualThread of its own, one
// frame ahead of the one shown: each next() takes the frame asked for at the
// previous call, waiting for it if need be, and asks for the next one, so
// the visual draws while the player shows.
//
// A frame carries the kAnalysisSize latest samples when audio came since the
// last frame that carried some; the first frame always does (silence before
// any audio, as a stream's first frame). The others are idle frames: a
// player that hands over its audio in chunks, or has paused, does not give
// the visual the same samples again and again. The visual's clock is the
// system's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/common/sample_history.h"
#include "host/visual/hosted_visual.h"
#include "host/visual/visual_thread.h"

namespace qvhost {

class LiveFrames {
public:
    // Loads and starts the bundle at `bundlePath` (empty: DefaultBundlePath())
    // with its plug-in data under `configRoot` (empty: the user's), and shows
    // it at width x height. Throws VisualError.
    LiveFrames(const std::string &bundlePath, const std::string &configRoot, int width, int height);
    // Stops the visual and ends its thread.
    ~LiveFrames();
    LiveFrames(const LiveFrames &) = delete;
    LiveFrames &operator=(const LiveFrames &) = delete;

    // Audio as it plays, from any thread: `count` sample frames of
    // `channels` interleaved samples. A mono stream fills both sides; of more
    // channels, the first two are heard.
    void append(const float *samples, size_t count, int channels);
    // On the thread that shows the frames, once per frame shown: the frame
    // asked for at the previous call (null at the first call), width() x
    // height() native ARGB words with rows top first, valid until the next
    // call. Rethrows what drawing that frame threw (VisualError of kind
    // Withdrawn when the plug-in took itself out).
    const uint32_t *next();
    // A play-state message (HostedVisual::playState), after the frame being
    // drawn.
    void playState(OSType code);

    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_, height_;
    std::mutex audioLock_;
    SampleHistory audio_;             // guarded by audioLock_
    int64_t heard_ = -1;              // where the audio ended at the last frame that carried it
    std::vector<float> left_, right_; // the samples of the frame being drawn
    std::vector<uint32_t> frames_[2]; // the frame shown and the frame being drawn
    int drawing_ = 0;                 // which one is being drawn
    bool asked_ = false;              // a frame is being drawn
    VisualThread thread_;
    std::unique_ptr<HostedVisual> visual_; // made, used and ended on thread_
};

} // namespace qvhost
