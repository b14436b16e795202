#include "host/window/play_session.h"

#include <memory>

#include "host/audio/audio_playback.h"
#include "host/audio/audio_source.h"
#include "host/common/host_error.h"
#include "host/common/messages.h"
#include "host/visual/hosted_visual.h"
#include "host/window/sdl_runtime.h"

namespace qvhost {
namespace {

class PlayDriver : public WindowDriver {
public:
    PlayDriver(HostedVisual &visual, VisualWindow &view, const std::vector<Track> &tracks,
               std::unique_ptr<AudioSource> first)
        : visual_(visual), view_(view), tracks_(tracks)
    {
        start(std::move(first));
    }

    bool keepRunning() override
    {
        playback_->pump();
        if (playback_->finished() && !playback_->paused()) {
            if (!source_->failure().empty())
                Warn(source_->failure());
            if (current_ + 1 >= tracks_.size()) {
                finish();
                return false;
            }
            ++current_;
            // Stop the old device before its source goes.
            playback_.reset();
            std::unique_ptr<AudioSource> next = tracks_[current_].load();
            visual_.playState(kVisualPluginChangeTrackMessage);
            start(std::move(next));
        }
        return true;
    }

    bool audioNow(float *left, float *right) override
    {
        playback_->copy(playback_->heardSample() - kAnalysisSize, kAnalysisSize, left, right);
        return true;
    }

    // Paused: the picture waits with the sound.
    bool held() const override { return playback_->paused(); }

    bool hostKey(char c) override
    {
        switch (c) {
        case ' ':
            playback_->setPaused(!playback_->paused());
            visual_.playState(playback_->paused() ? kVisualPluginPauseMessage : kVisualPluginUnpauseMessage);
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
        visual_.playState(kVisualPluginStopMessage);
    }

private:
    void start(std::unique_ptr<AudioSource> source)
    {
        view_.setTitle(WindowTitle(tracks_[current_].name));
        source_ = std::move(source);
        playback_ = std::make_unique<AudioPlayback>(*source_);
        if (!playback_->warning().empty())
            Note(playback_->warning());
        playback_->setPaused(false);
    }

    bool seekBy(double seconds)
    {
        const int64_t target = playback_->heardSample() + static_cast<int64_t>(seconds * playback_->sampleRate());
        playback_->seek(target);
        visual_.playState(kVisualPluginSetPositionMessage);
        return true;
    }

    HostedVisual &visual_;
    VisualWindow &view_;
    const std::vector<Track> &tracks_;
    size_t current_ = 0;
    std::unique_ptr<AudioSource> source_;
    std::unique_ptr<AudioPlayback> playback_;
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
    HostedVisual visual(options.bundlePath, options.configRoot);
    WindowOptions window = options.window;
    window.title = WindowTitle(options.tracks.front().name);
    VisualWindow view(visual, window); // shown: playback starts ("vply")
    PlayDriver driver(visual, view, options.tracks, std::move(first));
    view.run(driver);
    driver.finish();
}

} // namespace qvhost
