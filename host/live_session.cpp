#include <SDL.h>

#include <vector>

#include "host/audio_capture.h"
#include "host/host_error.h"
#include "host/sessions.h"
#include "host/spectrum_analyzer.h"
#include "host/visual_host.h"

namespace qvhost {
namespace {

class LiveDriver : public WindowDriver {
public:
    LiveDriver(VisualHost &host, AudioCapture &capture)
        : host_(host), capture_(capture), request_{host.spectrumChannels(), host.waveformChannels()},
          left_(kAnalysisSize), right_(kAnalysisSize)
    {
    }

    bool audioNow(RenderData &data) override
    {
        if (frozen_)
            return false;
        capture_.latest(left_.data(), right_.data(), kAnalysisSize);
        analyzer_.fill(left_.data(), right_.data(), request_, data);
        return true;
    }

    bool hostKey(char c) override
    {
        if (c != ' ')
            return false;
        frozen_ = !frozen_;
        host_.playState(frozen_ ? kVisualPluginPauseMessage : kVisualPluginUnpauseMessage);
        return true;
    }

private:
    VisualHost &host_;
    AudioCapture &capture_;
    ChannelRequest request_;
    SpectrumAnalyzer analyzer_;
    std::vector<float> left_, right_;
    bool frozen_ = false;
};

} // namespace

void ListDevices(std::ostream &out)
{
    SdlRuntime sdl(false);
    if (!sdl.audio())
        throw HostError(std::string("audio: cannot start (") + SDL_GetError() + ")");
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
    HostSession session(options.bundlePath, options.configRoot);
    VisualHost &host = session.visual;
    {
        WindowOptions window = options.window;
        window.title = "Quorvanta - " + capture.deviceName();
        VisualWindow view(host, window);
        LiveDriver driver(host, capture);
        host.playState(kVisualPluginPlayMessage);
        view.run(driver);
        host.playState(kVisualPluginStopMessage);
    }
    host.stop();
}

} // namespace qvhost
