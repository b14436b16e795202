#include "host/visual/live_frames.h"

#include <chrono>

#include "host/visual/spectrum_analyzer.h"

namespace qvhost {

LiveFrames::LiveFrames(const std::string &bundlePath, const std::string &configRoot, int width, int height)
    : width_(width), height_(height), audio_(kAnalysisSize), left_(kAnalysisSize), right_(kAnalysisSize)
{
    thread_.run([&] {
        auto visual = std::make_unique<HostedVisual>(bundlePath, configRoot);
        visual->show(width, height); // checks the size first
        visual_ = std::move(visual);
    });
    for (std::vector<uint32_t> &f : frames_)
        f.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
}

LiveFrames::~LiveFrames()
{
    try {
        thread_.wait();
    } catch (...) {
        // the frame in flight failed; the visual still ends in order
    }
    try {
        thread_.run([this] { visual_.reset(); });
    } catch (...) {
        // nothing to tell: the caller is ending it
    }
}

void LiveFrames::append(const float *samples, size_t count, int channels)
{
    if (!samples || channels < 1)
        return;
    std::lock_guard<std::mutex> hold(audioLock_);
    audio_.appendInterleaved(samples, static_cast<int64_t>(count), channels);
}

const uint32_t *LiveFrames::next()
{
    thread_.wait();
    const uint32_t *shown = asked_ ? frames_[drawing_].data() : nullptr;
    bool carries;
    {
        std::lock_guard<std::mutex> hold(audioLock_);
        carries = audio_.end() > heard_;
        if (carries) {
            audio_.copy(audio_.end() - kAnalysisSize, kAnalysisSize, left_.data(), right_.data());
            heard_ = audio_.end();
        }
    }
    drawing_ = asked_ ? 1 - drawing_ : 0;
    asked_ = true;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    uint32_t *target = frames_[drawing_].data();
    thread_.post([this, carries, seconds, target] {
        visual_->drawNow(carries ? left_.data() : nullptr, carries ? right_.data() : nullptr, seconds, target);
    });
    return shown;
}

void LiveFrames::playState(OSType code)
{
    thread_.run([&] { visual_->playState(code); });
}

} // namespace qvhost
