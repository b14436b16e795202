#include "host/window/live_session.h"

#include <SDL.h>

#include <vector>

#include "host/audio/audio_capture.h"
#include "host/common/host_error.h"
#include "host/visual/hosted_visual.h"
#include "host/window/sdl_runtime.h"

namespace qvhost {
namespace {

class LiveDriver : public WindowDriver {
public:
    LiveDriver(HostedVisual &visual, AudioCapture &capture) : visual_(visual), capture_(capture) {}

    bool audioNow(float *left, float *right) override
    {
        capture_.latest(left, right, kAnalysisSize);
        return true;
    }

    bool held() const override { return frozen_; }

    bool hostKey(char c) override
    {
        if (c != ' ')
            return false;
        frozen_ = !frozen_;
        visual_.playState(frozen_ ? kVisualPluginPauseMessage : kVisualPluginUnpauseMessage);
        return true;
    }

private:
    HostedVisual &visual_;
    AudioCapture &capture_;
    bool frozen_ = false;
};

} // namespace

void ListDevices(std::ostream &out)
{
    SdlRuntime sdl(false);
    if (!sdl.audio())
        throw HostError(std::string("audio: cannot start (") + SDL_GetError() + ")");
    CheckCaptureAvailable();
    const std::string chosen = DefaultMonitorDevice();
    const std::vector<CaptureDevice> devices = ListCaptureDevices();
    if (devices.empty())
        out << "no capture devices\n";
    for (const CaptureDevice &d : devices)
        out << (d.name == chosen ? "* " : "  ") << d.name << (d.monitor ? "  (monitor)" : "") << "\n";
}

void RunLive(const LiveOptions &options)
{
    SdlRuntime sdl(true);
    if (!sdl.audio())
        throw HostError(std::string("audio: cannot start (") + SDL_GetError() + ")");
    AudioCapture capture(options.device);
    HostedVisual visual(options.bundlePath, options.configRoot);
    WindowOptions window = options.window;
    window.title = WindowTitle(capture.deviceName());
    VisualWindow view(visual, window); // shown: playback starts ("vply")
    LiveDriver driver(visual, capture);
    view.run(driver);
    visual.playState(kVisualPluginStopMessage);
}

} // namespace qvhost
