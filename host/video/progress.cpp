#include "host/video/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace qvhost {
namespace {

std::string Clock(double seconds)
{
    const long s = std::lround(std::max(0.0, seconds));
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%02ld:%02ld", s / 60, s % 60);
    return buf;
}

} // namespace

Progress::Progress(int64_t total, const std::string &label, int enabled)
    : total_(total), label_(label), enabled_(enabled < 0 ? isatty(STDERR_FILENO) == 1 : enabled != 0),
      start_(std::chrono::steady_clock::now()), lastDraw_(start_)
{
}

Progress::~Progress()
{
    if (drawn_)
        std::fputc('\n', stderr);
}

std::string Progress::Line(const std::string &label, int64_t done, int64_t total, double elapsed, int width)
{
    const double fraction = total > 0 ? std::clamp(static_cast<double>(done) / total, 0.0, 1.0) : 1.0;
    const int filled = static_cast<int>(fraction * width);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(width - filled), '.');
    std::string eta = "--:--";
    if (done > 0 && done < total)
        eta = Clock(elapsed * (total - done) / done);
    else if (done >= total)
        eta = Clock(0);
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s [%s] %3d%% %lld/%lld  %s elapsed  ETA %s", label.c_str(), bar.c_str(),
                  static_cast<int>(fraction * 100), static_cast<long long>(done), static_cast<long long>(total),
                  Clock(elapsed).c_str(), eta.c_str());
    return buf;
}

void Progress::draw(int64_t done)
{
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::fprintf(stderr, "\r%s\033[K", Line(label_, done, total_, elapsed).c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void Progress::update(int64_t done)
{
    if (!enabled_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100))
        return;
    lastDraw_ = now;
    draw(done);
}

void Progress::finish()
{
    if (!enabled_)
        return;
    draw(total_);
    std::fputc('\n', stderr);
    drawn_ = false;
}

} // namespace qvhost
