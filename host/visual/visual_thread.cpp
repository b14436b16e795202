#include "host/visual/visual_thread.h"

#include <utility>

namespace qvhost {

VisualThread::VisualThread() : thread_([this] { loop(); }) {}

VisualThread::~VisualThread()
{
    {
        std::lock_guard<std::mutex> hold(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void VisualThread::run(const std::function<void()> &job)
{
    post(job);
    wait();
}

void VisualThread::post(std::function<void()> job)
{
    wait();
    std::lock_guard<std::mutex> hold(mutex_);
    job_ = std::move(job);
    busy_ = true;
    changed_.notify_all();
}

void VisualThread::wait()
{
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [this] { return !busy_; });
    if (std::exception_ptr e = std::exchange(error_, nullptr))
        std::rethrow_exception(e);
}

void VisualThread::loop()
{
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        changed_.wait(hold, [this] { return busy_ || quit_; });
        if (!busy_)
            return;
        const std::function<void()> job = std::exchange(job_, nullptr);
        hold.unlock();
        std::exception_ptr error;
        try {
            job();
        } catch (...) {
            error = std::current_exception();
        }
        hold.lock();
        error_ = error;
        busy_ = false;
        changed_.notify_all();
    }
}

} // namespace qvhost
