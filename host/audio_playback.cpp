#include "host/audio_playback.h"

#include <algorithm>
#include <cstring>

#include "host/audio_clip.h"

namespace qvhost {
namespace {

// A device buffer of about 20 ms keeps the heard position close to the
// picture without starving the device.
int BufferFramesFor(int rate)
{
    int frames = 256;
    while (frames * 50 < rate)
        frames *= 2;
    return frames;
}

} // namespace

AudioPlayback::AudioPlayback(const AudioClip &clip)
    : clip_(&clip), clipFrames_(clip.frames()), rate_(clip.sampleRate)
{
    SDL_AudioSpec want{}, have{};
    want.freq = rate_;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(BufferFramesFor(rate_));
    want.callback = &AudioPlayback::Callback;
    want.userdata = this;
    // No changes allowed: SDL converts rate and format to what the device
    // takes, so the callback always counts samples of the clip.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
        warning_ = std::string("no audio output (") + SDL_GetError() + "); playing silently";
        chunkTime_ = SDL_GetPerformanceCounter();
        return;
    }
    latencyFrames_ = have.samples;
}

AudioPlayback::~AudioPlayback()
{
    if (device_)
        SDL_CloseAudioDevice(device_);
}

void AudioPlayback::Callback(void *self, Uint8 *stream, int len)
{
    static_cast<AudioPlayback *>(self)->feed(reinterpret_cast<float *>(stream), len / static_cast<int>(2 * sizeof(float)));
}

void AudioPlayback::feed(float *out, int frames)
{
    chunkStart_ = fed_;
    chunkTime_ = SDL_GetPerformanceCounter();
    chunkValid_ = true;
    const float *l = clip_->channels[0].data();
    const float *r = clip_->channels[1].data();
    const int n = static_cast<int>(std::clamp<int64_t>(clipFrames_ - fed_, 0, frames));
    for (int i = 0; i < n; ++i) {
        out[2 * i] = l[fed_ + i];
        out[2 * i + 1] = r[fed_ + i];
    }
    std::memset(out + 2 * n, 0, sizeof(float) * 2 * static_cast<size_t>(frames - n));
    // Silence after the end is counted too, so the clock runs on to the end.
    fed_ += frames;
}

int64_t AudioPlayback::heardLocked(Uint64 now) const
{
    if (paused_ || !chunkValid_)
        return floor_;
    const double elapsed = static_cast<double>(now - chunkTime_) / static_cast<double>(SDL_GetPerformanceFrequency());
    // The chunk last asked for starts playing once the device's buffer,
    // `latencyFrames_` long, has played out.
    int64_t heard = chunkStart_ - latencyFrames_ + static_cast<int64_t>(elapsed * rate_);
    heard = std::min(heard, fed_);
    return std::clamp<int64_t>(heard, floor_, clipFrames_);
}

int64_t AudioPlayback::heardSample()
{
    const Uint64 now = SDL_GetPerformanceCounter();
    if (!device_) {
        // Wall clock: the "chunk" is the moment playback last (re)started.
        return paused_ ? floor_ : std::min<int64_t>(clipFrames_, floor_ + static_cast<int64_t>(
                                                         static_cast<double>(now - chunkTime_) /
                                                         static_cast<double>(SDL_GetPerformanceFrequency()) * rate_));
    }
    SDL_LockAudioDevice(device_);
    const int64_t heard = heardLocked(now);
    floor_ = heard;
    SDL_UnlockAudioDevice(device_);
    return heard;
}

void AudioPlayback::setPaused(bool paused)
{
    if (paused == paused_)
        return;
    const int64_t heard = heardSample();
    if (device_)
        SDL_LockAudioDevice(device_);
    // Resume from what was heard, not from what the device had buffered.
    floor_ = heard;
    fed_ = heard;
    chunkValid_ = false;
    paused_ = paused;
    chunkTime_ = SDL_GetPerformanceCounter();
    if (device_) {
        SDL_UnlockAudioDevice(device_);
        SDL_PauseAudioDevice(device_, paused ? 1 : 0);
    }
}

void AudioPlayback::seek(int64_t sample)
{
    sample = std::clamp<int64_t>(sample, 0, clipFrames_);
    if (device_)
        SDL_LockAudioDevice(device_);
    floor_ = sample;
    fed_ = sample;
    chunkValid_ = false;
    chunkTime_ = SDL_GetPerformanceCounter();
    if (device_)
        SDL_UnlockAudioDevice(device_);
}

} // namespace qvhost
