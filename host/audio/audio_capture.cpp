#include "host/audio/audio_capture.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "host/audio/audio_device_lock.h"
#include "host/audio/sound_server.h"
#include "host/common/host_error.h"

namespace qvhost {
namespace {

const char kMonitorPrefix[] = "Monitor of ";

std::string Lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool IsMonitorName(const std::string &name)
{
    return name.rfind(kMonitorPrefix, 0) == 0 || Lower(name).find(".monitor") != std::string::npos;
}

std::string Joined(const std::vector<std::string> &names)
{
    std::string text;
    for (const std::string &n : names)
        text += (text.empty() ? "" : ", ") + n;
    return text;
}

// An SDL device matching `wanted`: the exact name, else the only one that
// contains it (ignoring case). Empty when none does; throws HostError when
// several do.
std::string MatchDevice(const std::string &wanted)
{
    std::vector<std::string> partial;
    for (const CaptureDevice &d : ListCaptureDevices()) {
        if (d.name == wanted)
            return d.name;
        if (Lower(d.name).find(Lower(wanted)) != std::string::npos)
            partial.push_back(d.name);
    }
    if (partial.size() > 1)
        throw HostError(wanted + ": more than one capture device has that in its name (" + Joined(partial) + ")");
    return partial.empty() ? std::string() : partial.front();
}

HostError NoSuchDevice(const std::string &wanted)
{
    std::vector<std::string> names;
    for (const CaptureDevice &d : ListCaptureDevices())
        names.push_back(d.name);
    return HostError(wanted + ": no such capture device (" + (names.empty() ? "there are none" : "the devices: " + Joined(names)) + ")");
}

} // namespace

void CheckCaptureAvailable()
{
    if (!SoundServerReached() && ListCaptureDevices().empty())
        throw HostError("audio: no sound server reachable (PulseAudio or PipeWire) and no capture device: nothing to "
                        "capture");
}

void IncludeMonitorDevices()
{
    SDL_SetHint(SDL_HINT_AUDIO_INCLUDE_MONITORS, "1");
}

std::vector<CaptureDevice> ListCaptureDevices()
{
    std::vector<CaptureDevice> out;
    const int n = SDL_GetNumAudioDevices(1);
    for (int i = 0; i < n; ++i) {
        const char *name = SDL_GetAudioDeviceName(i, 1);
        if (name)
            out.push_back(CaptureDevice{name, IsMonitorName(name)});
    }
    return out;
}

std::string DefaultMonitorDevice()
{
    const std::vector<CaptureDevice> devices = ListCaptureDevices();
    char *output = nullptr;
    SDL_AudioSpec spec;
    if (SDL_GetDefaultAudioInfo(&output, &spec, 0) == 0 && output) {
        const std::string wanted = std::string(kMonitorPrefix) + output;
        SDL_free(output);
        for (const CaptureDevice &d : devices)
            if (d.name == wanted)
                return d.name;
    }
    for (const CaptureDevice &d : devices)
        if (d.monitor)
            return d.name;
    return std::string();
}

AudioCapture::AudioCapture(const std::string &device)
{
    CheckCaptureAvailable();
    std::string sdlName = device.empty() ? DefaultMonitorDevice() : MatchDevice(device);
    const bool pulseSource = !device.empty() && sdlName.empty();
    if (pulseSource) {
        // Not an SDL name: try it as a PulseAudio source, which libpulse
        // takes as the default source of a new connection.
        const char *driver = SDL_GetCurrentAudioDriver();
        if (!driver || std::string(driver) != "pulseaudio")
            throw NoSuchDevice(device);
        setenv("PULSE_SOURCE", device.c_str(), 1);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            throw HostError(std::string("audio: ") + SDL_GetError());
    }
    SDL_AudioSpec want{}, have{};
    want.freq = kStandardRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 512;
    want.callback = &AudioCapture::Callback;
    want.userdata = this;
    device_ = SDL_OpenAudioDevice(sdlName.empty() ? nullptr : sdlName.c_str(), 1, &want, &have, 0);
    if (device_ == 0 && pulseSource) // the server knows no source of that name
        throw NoSuchDevice(device);
    if (device_ == 0)
        throw HostError((device.empty() ? std::string("default capture device") : device) + ": cannot capture (" +
                        SDL_GetError() + ")");
    name_ = !sdlName.empty() ? sdlName : device.empty() ? std::string("default capture device") : device;
    SDL_PauseAudioDevice(device_, 0);
}

AudioCapture::~AudioCapture()
{
    if (device_)
        SDL_CloseAudioDevice(device_);
}

void AudioCapture::Callback(void *self, Uint8 *stream, int len)
{
    static_cast<AudioCapture *>(self)->take(reinterpret_cast<const float *>(stream),
                                            len / static_cast<int>(2 * sizeof(float)));
}

void AudioCapture::take(const float *in, int frames)
{
    ring_.appendInterleaved(in, frames, 2);
}

void AudioCapture::latest(float *left, float *right, int count)
{
    count = std::min(count, kRingFrames);
    AudioDeviceLock hold(device_);
    ring_.copy(ring_.end() - count, count, left, right);
}

} // namespace qvhost
