#include "host/video/frame_pipeline.h"

#include <stdexcept>

namespace qvhost {

FramePipeline::FramePipeline(FrameSink &sink, int width, int height, int audioCapacity, int depth) : sink_(sink)
{
    frames_.resize(static_cast<size_t>(depth < 2 ? 2 : depth));
    for (Frame &f : frames_) {
        f.width = width;
        f.height = height;
        f.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
        for (auto &channel : f.audio)
            channel.resize(static_cast<size_t>(audioCapacity));
        free_.push_back(&f);
    }
    worker_ = std::thread(&FramePipeline::run, this);
}

FramePipeline::~FramePipeline()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        queued_.clear();
    }
    changed_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void FramePipeline::rethrowFailure()
{
    if (failure_) {
        std::exception_ptr e = failure_;
        std::rethrow_exception(e);
    }
}

Frame &FramePipeline::acquire()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (current_)
        throw std::logic_error("FramePipeline::acquire twice without submit");
    changed_.wait(lock, [this] { return !free_.empty() || failure_; });
    rethrowFailure();
    current_ = free_.front();
    free_.pop_front();
    return *current_;
}

void FramePipeline::submit()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!current_)
            throw std::logic_error("FramePipeline::submit without acquire");
        queued_.push_back(current_);
        current_ = nullptr;
    }
    changed_.notify_all();
}

void FramePipeline::finish()
{
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (current_) {
            free_.push_back(current_);
            current_ = nullptr;
        }
        closing_ = true;
        finishing_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return drained_; });
    }
    worker_.join();
    rethrowFailure();
}

void FramePipeline::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !queued_.empty() || closing_; });
        if (queued_.empty())
            break;
        Frame *frame = queued_.front();
        queued_.pop_front();
        lock.unlock();
        try {
            sink_.write(*frame);
        } catch (...) {
            lock.lock();
            failure_ = std::current_exception();
            free_.push_back(frame);
            break;
        }
        lock.lock();
        free_.push_back(frame);
        changed_.notify_all();
    }
    if (!failure_ && finishing_) {
        lock.unlock();
        try {
            sink_.finish();
        } catch (...) {
            lock.lock();
            failure_ = std::current_exception();
            lock.unlock();
        }
        lock.lock();
    }
    drained_ = true;
    lock.unlock();
    changed_.notify_all();
}

} // namespace qvhost
