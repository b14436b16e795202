// Overlaps drawing and encoding: the drawing thread (the one the GL context
// is current on) fills frames and hands them to a worker thread that feeds
// them to a FrameSink. A small pool of frame buffers circulates between the
// two, so nothing is allocated per frame.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace qvhost {

// One video frame: native 32-bit ARGB words, rows top first, packed; and
// the audio of its time, from its moment to the next frame's.
struct Frame {
    int64_t index = 0;
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    std::array<std::vector<float>, 2> audio; // left, right; `audioSamples` of them count
    int audioSamples = 0;
};

// Where frames go. Called on the worker thread only, frames in order.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void write(const Frame &frame) = 0;
    // After the last frame: flush and close. Not called after a failure.
    virtual void finish() = 0;
    // False for a sink that drops what it gets: nothing is copied for it.
    virtual bool wantsFrames() const { return true; }
};

// Drops every frame (throughput measurements).
class NullSink : public FrameSink {
public:
    void write(const Frame &) override {}
    void finish() override {}
    bool wantsFrames() const override { return false; }
};

class FramePipeline {
public:
    // `depth`: frame buffers in flight (at least 2); `audioCapacity`: the
    // audio samples per channel each frame can carry.
    FramePipeline(FrameSink &sink, int width, int height, int audioCapacity = 0, int depth = 3);
    // Stops the worker; frames not yet written are dropped.
    ~FramePipeline();
    FramePipeline(const FramePipeline &) = delete;
    FramePipeline &operator=(const FramePipeline &) = delete;

    // A free buffer to draw the next frame into (waits for one). Rethrows the
    // worker's failure, if any.
    Frame &acquire();
    // Queues the buffer last acquired.
    void submit();
    // Waits until every queued frame is written, then finishes the sink.
    // Rethrows the worker's failure.
    void finish();

private:
    void run();
    void rethrowFailure();

    FrameSink &sink_;
    std::vector<Frame> frames_;
    std::deque<Frame *> free_, queued_;
    Frame *current_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool closing_ = false;   // no more frames will come
    bool finishing_ = false; // ... and the sink is to be finished
    bool drained_ = false;
    std::exception_ptr failure_;
    std::thread worker_;
};

} // namespace qvhost
