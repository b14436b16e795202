// One thread that every call into a hosted visual runs on. The visual makes
// its GL context current on the thread that shows it and draws on that thread
// from then on, while a player calls its plug-ins from whichever thread
// changes their state or streams to them; running every call here keeps the
// context's thread the same for the life of the visual.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace qvhost {

class VisualThread {
public:
    VisualThread();
    // Joins the thread; jobs handed in before have run.
    ~VisualThread();
    VisualThread(const VisualThread &) = delete;
    VisualThread &operator=(const VisualThread &) = delete;

    // Runs `job` on the thread and waits for it; rethrows what it throws.
    // One caller at a time.
    void run(const std::function<void()> &job);
    // Hands `job` to the thread and returns while it runs (after waiting for
    // the job before it, as wait() does): a host can draw the next frame
    // while it shows the last one.
    void post(std::function<void()> job);
    // Waits for the job handed in last; rethrows what it threw.
    void wait();

private:
    void loop();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_; // the job waiting to run
    std::exception_ptr error_;  // what the last job threw, until a wait takes it
    bool busy_ = false;         // a job is waiting or running
    bool quit_ = false;
    std::thread thread_; // last: starts after the state above exists
};

} // namespace qvhost
