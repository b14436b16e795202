#include "host/audio_capture.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "host/host_error.h"

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

// An SDL device matching `wanted`: the exact name, else the only one that
// contains it (ignoring case). Empty when none or several match.
std::string MatchDevice(const std::string &wanted)
{
    std::vector<std::string> partial;
    for (const CaptureDevice &d : ListCaptureDevices()) {
        if (d.name == wanted)
            return d.name;
        if (Lower(d.name).find(Lower(wanted)) != std::string::npos)
            partial.push_back(d.name);
    }
    return partial.size() == 1 ? partial.front() : std::string();
}

} // namespace

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
    for (auto &r : ring_)
        r.assign(kRingFrames, 0.0f);
    std::string sdlName = device.empty() ? DefaultMonitorDevice() : MatchDevice(device);
    if (!device.empty() && sdlName.empty()) {
        // Not an SDL name: try it as a PulseAudio source, which libpulse
        // takes as the default source of a new connection.
        const char *driver = SDL_GetCurrentAudioDriver();
        if (!driver || std::string(driver) != "pulseaudio")
            throw HostError(device + ": no such capture device (see --list-devices)");
        setenv("PULSE_SOURCE", device.c_str(), 1);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            throw HostError(std::string("audio: ") + SDL_GetError());
    }
    SDL_AudioSpec want{}, have{};
    want.freq = kRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 512;
    want.callback = &AudioCapture::Callback;
    want.userdata = this;
    device_ = SDL_OpenAudioDevice(sdlName.empty() ? nullptr : sdlName.c_str(), 1, &want, &have, 0);
    if (device_ == 0)
        throw HostError((device.empty() ? std::string("default capture device") : device) +
                        ": cannot capture (" + SDL_GetError() + ")");
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
    for (int i = 0; i < frames; ++i) {
        const size_t at = static_cast<size_t>((written_ + i) % kRingFrames);
        ring_[0][at] = in[2 * i];
        ring_[1][at] = in[2 * i + 1];
    }
    written_ += frames;
}

void AudioCapture::latest(float *left, float *right, int count)
{
    count = std::min(count, kRingFrames);
    SDL_LockAudioDevice(device_);
    const int64_t end = written_;
    for (int i = 0; i < count; ++i) {
        const int64_t at = end - count + i;
        const size_t slot = static_cast<size_t>(((at % kRingFrames) + kRingFrames) % kRingFrames);
        left[i] = at >= 0 ? ring_[0][slot] : 0.0f;
        right[i] = at >= 0 ? ring_[1][slot] : 0.0f;
    }
    SDL_UnlockAudioDevice(device_);
}

int64_t AudioCapture::captured()
{
    SDL_LockAudioDevice(device_);
    const int64_t n = written_;
    SDL_UnlockAudioDevice(device_);
    return n;
}

} // namespace qvhost
