// What the `quorvanta` visualization holds from Open to Close: the hosted
// visual on its own thread, the vout VLC gave the filter, and the audio on its
// way to the frames.
//
// VLC hands a visualization the audio as the decoder makes it, a second or so
// before it is heard, each block dated with the system time (mdate) at which
// its first sample plays. The filter passes the audio on untouched and queues
// a stereo copy; a worker thread cuts it into frames on the stream's time grid
// (qvhost::StreamFrames: frame n stands at n / fps of the stream, drawn from
// the audio before that moment, as `quorvanta render` draws it), and draws
// each frame shortly before its moment plays, into a picture of the vout dated
// with that moment, on the visual's thread (qvhost::VisualThread). Drawing
// then and not when the audio comes keeps the decoder, and so the sound, free
// of the visual's cost, skips frames that come too late to be shown (VLC's
// own drop-late-frames says whether to), and bounds what still shows of the
// old position after a seek: VLC 3.0 cannot take back pictures it was given.
//
// A pause stops the clock the dates are on, and the audio decoded before it
// plays after it: no frame is drawn while the input is paused, and the
// frames queued move by the time it lasted, as their sound does (measured
// from the input's "state" as it changes, then corrected by the dates of the
// blocks that follow).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <vlc_common.h>
#include <vlc_filter.h>

#include "host/visual/hosted_visual.h"
#include "host/visual/stream_frames.h"
#include "host/visual/visual_thread.h"

namespace qvvlc {

struct Settings {
    int width = 0, height = 0, fps = 0;
    std::string bundle; // empty: qvhost::DefaultBundlePath()
};

class Visualization {
public:
    // Starts the bundle on the visual's thread and shows it at the settings'
    // size, for the audio format of `filter`. Throws what the hosted visual
    // throws (qvhost::VisualError, qvhost::HostError).
    Visualization(filter_t *filter, const Settings &settings);
    // Stops the worker and the visual, then gives the vout back.
    ~Visualization();
    Visualization(const Visualization &) = delete;
    Visualization &operator=(const Visualization &) = delete;

    // Frames go into `vout` (the filter's, given back at the end) from now on.
    void start(vout_thread_t *vout);
    // A block of FL32 audio on its way to the output (the decoder's thread).
    void feed(const block_t *block);
    // A seek or a stop: what is queued goes, the next block is placed afresh.
    // Any thread.
    void flush();
    // The end of the stream (the decoder's thread): returns once the frames
    // of the audio fed so far have been shown, as an output's drain returns
    // once its sound has played.
    void drain();

private:
    struct Block {
        std::vector<float> stereo; // interleaved left, right
        int64_t start;             // stream sample of the first
        vlc_tick_t pts, length;    // when the first plays, and for how long the block plays
        vlc_tick_t shift;          // shift_ when it came
        unsigned generation;       // flushes before it
    };

    void run();
    void play(const Block &block);
    // Waits until frame n's moment is near, then draws it; false when a
    // flush or the end came first.
    bool show(int64_t n, const Block &block);
    void draw(int64_t n, vlc_tick_t date);
    int64_t streamSample(); // where the input is now, in samples (-1: unknown)
    static int OnState(vlc_object_t *, const char *, vlc_value_t, vlc_value_t state, void *self);

    filter_t *const filter_;
    vlc_object_t *input_ = nullptr; // the input whose audio this is (held), or none found
    const int width_, height_, channels_, rate_;
    const qvhost::FrameRate fps_;
    const bool dropLate_; // VLC's drop-late-frames
    qvhost::VisualThread thread_;
    std::unique_ptr<qvhost::HostedVisual> visual_; // made, used and ended on thread_
    vout_thread_t *vout_ = nullptr;
    picture_t *previous_ = nullptr; // the last picture drawn into in place: lent to the port until the next

    // The decoder's thread only.
    int64_t next_ = 0;                     // stream sample of the next block
    vlc_tick_t expected_ = VLC_TS_INVALID; // when the next block should play, from the last
    unsigned seen_ = 0;                    // generation of the last block fed

    // The worker's only.
    qvhost::StreamFrames frames_;
    unsigned placed_ = ~0u; // generation frames_ was placed in
    bool failed_ = false;   // the visual failed while drawing: no more frames

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Block> blocks_;
    int64_t queued_ = 0;      // sample frames in blocks_
    unsigned generation_ = 0; // flushes so far
    vlc_tick_t shift_ = 0;    // how far the output's clock has moved (pauses) since the start
    vlc_tick_t credit_ = 0;   // of shift_, what a pause measured and no block has confirmed yet
    bool paused_ = false;
    vlc_tick_t pausedAt_ = VLC_TS_INVALID;
    vlc_tick_t last_ = VLC_TS_INVALID; // date of the last picture handed over
    bool busy_ = false;                // the worker holds a block
    bool quit_ = false;
    std::thread worker_;
};

} // namespace qvvlc
