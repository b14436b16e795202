// A one-line progress bar on standard error with elapsed time and an
// estimate of the time left; silent unless standard error is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace qvhost {

class Progress {
public:
    // `enabled` false (or -1: decide by isatty(stderr)).
    Progress(int64_t total, const std::string &label, int enabled = -1);
    ~Progress();
    // `done` of `total` finished; redraws at most ten times a second.
    void update(int64_t done);
    // Corrects the total, which may have been an estimate.
    void setTotal(int64_t total) { total_ = total; }
    // Draws the final state and ends the line.
    void finish();

    // The line for `done` of `total` after `elapsed` seconds (no carriage
    // return), `width` characters of bar.
    static std::string Line(const std::string &label, int64_t done, int64_t total, double elapsed, int width = 30);

private:
    void draw(int64_t done);

    int64_t total_;
    std::string label_;
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_, lastDraw_;
};

} // namespace qvhost
