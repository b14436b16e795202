// The Kodi add-on visualization.quorvanta: Kodi glue on the host library's
// live frames. Kodi makes an instance for each visualisation control it
// shows, starts it with the stream's format, hands it the audio as it plays
// (on its audio thread, about a tenth of a second at a time), asks for a
// frame in its own GL context whenever it draws the screen, and stops it.
//
// The visual draws on a thread of its own with a GL context of its own
// (LiveFrames), at the size of Kodi's control, from the latest samples, with
// the system's clock; Render only shows the last finished frame and asks
// for the next one. What the host library says and why a start failed go to
// Kodi's log. Kodi's preset keys are left alone: the plug-in's own keys only
// choose a full-screen size, which means nothing inside Kodi.
#include <kodi/AddonBase.h>
#include <kodi/addon-instance/Visualization.h>

#include <memory>
#include <mutex>
#include <string>

#include "host/common/messages.h"
#include "host/visual/live_frames.h"
#include "kodi/frame_presenter.h"
#include "plugin/host_records.h"

namespace {

// The add-on's setting naming the plug-in bundle to host (empty: the
// installed one).
const char *const kBundleSetting = "bundle";

void LogHostMessage(bool warning, const std::string &text)
{
    kodi::Log(warning ? ADDON_LOG_WARNING : ADDON_LOG_INFO, "%s", text.c_str());
}

class ATTR_DLL_LOCAL QuorvantaVisualization : public kodi::addon::CInstanceVisualization {
public:
    explicit QuorvantaVisualization(const kodi::addon::IInstanceInfo &instance) : CInstanceVisualization(instance) {}
    ~QuorvantaVisualization() override { end(); }

    bool Start(int channels, int samplesPerSec, int, const std::string &) override
    {
        end();
        if (channels < 1 || samplesPerSec < 1) {
            kodi::Log(ADDON_LOG_ERROR, "cannot start: no audio to show (%d channels at %d Hz)", channels,
                      samplesPerSec);
            return false;
        }
        try {
            auto frames = std::make_unique<qvhost::LiveFrames>(kodi::addon::GetSettingString(kBundleSetting),
                                                               kodi::addon::GetUserPath(), Width(), Height());
            std::lock_guard<std::mutex> hold(lock_);
            frames_ = std::move(frames);
            channels_ = channels;
        } catch (const std::exception &e) {
            kodi::Log(ADDON_LOG_ERROR, "cannot start: %s", e.what());
            return false;
        }
        failed_ = tracked_ = false;
        return true;
    }

    void Stop() override
    {
        end();
        presenter_.release(); // Kodi's context is current, as in Render
    }

    void AudioData(const float *audioData, size_t audioDataLength) override
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (frames_)
            frames_->append(audioData, audioDataLength / static_cast<size_t>(channels_), channels_);
    }

    bool IsDirty() override { return true; }

    void Render() override
    {
        if (!frames_ || failed_)
            return;
        try {
            const uint32_t *frame = frames_->next();
            if (!presenter_.draw(frame, frames_->width(), frames_->height()))
                fail(presenter_.error());
        } catch (const std::exception &e) {
            fail(e.what());
        }
    }

    // The first track is the one the visual started with; a later one is a
    // change of track.
    bool UpdateTrack(const kodi::addon::VisualizationTrack &) override
    {
        if (!frames_ || failed_)
            return true;
        try {
            if (tracked_)
                frames_->playState(kVisualPluginChangeTrackMessage);
            tracked_ = true;
        } catch (const std::exception &e) {
            fail(e.what());
        }
        return true;
    }

private:
    // Once: the visual stops drawing, Kodi plays on.
    void fail(const std::string &why)
    {
        failed_ = true;
        kodi::Log(ADDON_LOG_ERROR, "stopped drawing: %s", why.c_str());
    }

    // Ends the visual and its thread; the audio thread sees it gone.
    void end()
    {
        std::unique_ptr<qvhost::LiveFrames> ending;
        {
            std::lock_guard<std::mutex> hold(lock_);
            ending = std::move(frames_);
        }
    }

    std::mutex lock_; // frames_ and channels_, between Kodi's threads
    std::unique_ptr<qvhost::LiveFrames> frames_;
    int channels_ = 2;
    bool failed_ = false, tracked_ = false;
    qvkodi::FramePresenter presenter_;
};

class ATTR_DLL_LOCAL QuorvantaAddon : public kodi::addon::CAddonBase {
public:
    QuorvantaAddon() { qvhost::SetMessageSink(LogHostMessage); }

    ADDON_STATUS CreateInstance(const kodi::addon::IInstanceInfo &instance, KODI_ADDON_INSTANCE_HDL &hdl) override
    {
        if (!instance.IsType(ADDON_INSTANCE_VISUALIZATION))
            return ADDON_STATUS_NOT_IMPLEMENTED;
        hdl = new QuorvantaVisualization(instance);
        return ADDON_STATUS_OK;
    }
};

} // namespace

ADDONCREATOR(QuorvantaAddon)
