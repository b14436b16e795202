#include <SDL.h>

#include <cstdio>
#include <memory>

#include "host/audio_source.h"
#include "host/audio_playback.h"
#include "host/host_error.h"
#include "host/sessions.h"
#include "host/spectrum_analyzer.h"
#include "host/visual_host.h"

namespace qvhost {
namespace {

class PlayDriver : public WindowDriver {
public:
    PlayDriver(VisualHost &host, const std::vector<Track> &tracks, std::unique_ptr<AudioSource> first)
        : host_(host), tracks_(tracks), request_{host.spectrumChannels(), host.waveformChannels()}
    {
        start(std::move(first));
    }

    bool keepRunning() override
    {
        playback_->pump();
        if (playback_->finished() && !playback_->paused()) {
            if (!source_->failure().empty())
                std::fprintf(stderr, "quorvanta: warning: %s\n", source_->failure().c_str());
            if (current_ + 1 >= tracks_.size()) {
                finish();
                return false;
            }
            ++current_;
            // Stop the old device before its source goes.
            playback_.reset();
            std::unique_ptr<AudioSource> next = tracks_[current_].load();
            host_.playState(kVisualPluginChangeTrackMessage);
            start(std::move(next));
        }
        return true;
    }

    bool audioNow(RenderData &data) override
    {
        if (playback_->paused())
            return false;
        playback_->copy(playback_->heardSample() - kAnalysisSize, kAnalysisSize, window_[0], window_[1]);
        analyzer_.fill(window_[0], window_[1], request_, data);
        return true;
    }

    bool hostKey(char c) override
    {
        switch (c) {
        case ' ':
            playback_->setPaused(!playback_->paused());
            host_.playState(playback_->paused() ? kVisualPluginPauseMessage : kVisualPluginUnpauseMessage);
            return true;
        case kKeyLeft:
            return seekBy(-5.0);
        case kKeyRight:
            return seekBy(5.0);
        case kKeyDown:
            return seekBy(-30.0);
        case kKeyUp:
            return seekBy(30.0);
        default:
            return false;
        }
    }

    // Playback is over (the end, or the user quit): "vstp" once.
    void finish()
    {
        if (stopped_)
            return;
        stopped_ = true;
        playback_->setPaused(true);
        host_.playState(kVisualPluginStopMessage);
    }

private:
    void start(std::unique_ptr<AudioSource> source)
    {
        source_ = std::move(source);
        playback_ = std::make_unique<AudioPlayback>(*source_);
        if (!playback_->warning().empty())
            std::fprintf(stderr, "quorvanta: %s\n", playback_->warning().c_str());
        if (current_ == 0)
            host_.playState(kVisualPluginPlayMessage);
        playback_->setPaused(false);
    }

    bool seekBy(double seconds)
    {
        const int64_t target = playback_->heardSample() + static_cast<int64_t>(seconds * playback_->sampleRate());
        playback_->seek(target);
        host_.playState(kVisualPluginSetPositionMessage);
        return true;
    }

    VisualHost &host_;
    const std::vector<Track> &tracks_;
    size_t current_ = 0;
    std::unique_ptr<AudioSource> source_;
    std::unique_ptr<AudioPlayback> playback_;
    SpectrumAnalyzer analyzer_;
    float window_[2][kAnalysisSize];
    ChannelRequest request_;
    bool stopped_ = false;
};

} // namespace

void RunPlay(const PlayOptions &options)
{
    if (options.tracks.empty())
        throw UsageError("play: no file given");
    // The first track is opened before anything else, so that bad input
    // fails at once.
    std::unique_ptr<AudioSource> first = options.tracks.front().load();
    SdlRuntime sdl(true);
    HostSession session(options.bundlePath, options.configRoot);
    VisualHost &host = session.visual;
    {
        WindowOptions window = options.window;
        window.title = "Quorvanta - " + options.tracks.front().name;
        VisualWindow view(host, window);
        PlayDriver driver(host, options.tracks, std::move(first));
        view.run(driver);
        driver.finish();
    }
    host.stop();
}

} // namespace qvhost
