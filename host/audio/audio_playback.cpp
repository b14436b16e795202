#include "host/audio/audio_playback.h"

#include <algorithm>
#include <limits>

#include "host/audio/audio_device_lock.h"
#include "host/audio/audio_source.h"
#include "host/audio/sound_server.h"

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

// Decoding runs this far ahead of the device, in chunks of this size; the
// history keeps as much behind it for the analysis window and the device's
// buffer.
constexpr double kAheadSeconds = 1.0;
constexpr int kDecodeChunk = 4096;
constexpr int kFeedChunk = 1024;

int HistoryCapacity(int rate)
{
    return static_cast<int>(2 * kAheadSeconds * rate) + kDecodeChunk;
}

} // namespace

AudioPlayback::AudioPlayback(AudioSource &source)
    : source_(source), rate_(source.sampleRate()), history_(HistoryCapacity(source.sampleRate()))
{
    for (auto &c : decoded_)
        c.resize(kDecodeChunk);
    for (auto &c : feedChunk_)
        c.resize(kFeedChunk);
    pump();
    SDL_AudioSpec want{}, have{};
    want.freq = rate_;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(BufferFramesFor(rate_));
    want.callback = &AudioPlayback::Callback;
    want.userdata = this;
    // No changes allowed: SDL converts rate and format to what the device
    // takes, so the callback always counts samples of the source.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
        warning_ = SoundServerReached() ? std::string("no audio output (") + SDL_GetError() + "); playing silently"
                                        : "no sound server reachable (PulseAudio or PipeWire) and no sound card "
                                          "answers; playing silently";
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

void AudioPlayback::pump()
{
    const int64_t ahead = static_cast<int64_t>(kAheadSeconds * rate_);
    for (;;) {
        {
            AudioDeviceLock hold(device_);
            if (end_ >= 0 || history_.end() - fed_ >= ahead)
                return;
        }
        // Decoding happens outside the lock; the callback goes on meanwhile.
        const int got = source_.read(decoded_[0].data(), decoded_[1].data(), kDecodeChunk);
        AudioDeviceLock hold(device_);
        history_.append(decoded_[0].data(), decoded_[1].data(), got);
        if (got < kDecodeChunk)
            end_ = history_.end();
    }
}

void AudioPlayback::Callback(void *self, Uint8 *stream, int len)
{
    static_cast<AudioPlayback *>(self)->feed(reinterpret_cast<float *>(stream),
                                             len / static_cast<int>(2 * sizeof(float)));
}

void AudioPlayback::feed(float *out, int frames)
{
    chunkStart_ = fed_;
    chunkTime_ = SDL_GetPerformanceCounter();
    chunkValid_ = true;
    // What is not decoded (yet, or past the end) plays as silence; the
    // clock runs on over it.
    for (int done = 0; done < frames;) {
        const int n = std::min(frames - done, kFeedChunk);
        history_.copy(fed_, n, feedChunk_[0].data(), feedChunk_[1].data());
        for (int i = 0; i < n; ++i) {
            out[2 * (done + i)] = feedChunk_[0][i];
            out[2 * (done + i) + 1] = feedChunk_[1][i];
        }
        fed_ += n;
        done += n;
    }
}

int64_t AudioPlayback::heardLocked(Uint64 now) const
{
    const int64_t last = end_ >= 0 ? end_ : std::numeric_limits<int64_t>::max();
    const double elapsed = static_cast<double>(now - chunkTime_) / static_cast<double>(SDL_GetPerformanceFrequency());
    if (!device_) // wall clock: the "chunk" is the moment playback last (re)started
        return paused_ ? floor_ : std::min<int64_t>(last, floor_ + static_cast<int64_t>(elapsed * rate_));
    if (paused_ || !chunkValid_)
        return floor_;
    // The chunk last asked for starts playing once the device's buffer,
    // `latencyFrames_` long, has played out.
    int64_t heard = chunkStart_ - latencyFrames_ + static_cast<int64_t>(elapsed * rate_);
    heard = std::min(heard, fed_);
    return std::clamp<int64_t>(heard, floor_, std::max(last, floor_));
}

int64_t AudioPlayback::heardSample()
{
    const Uint64 now = SDL_GetPerformanceCounter();
    AudioDeviceLock hold(device_);
    const int64_t heard = heardLocked(now);
    if (device_)
        floor_ = heard;
    else
        fed_ = heard; // decoding follows the wall clock
    return heard;
}

void AudioPlayback::copy(int64_t start, int count, float *left, float *right)
{
    AudioDeviceLock hold(device_);
    history_.copy(start, count, left, right);
}

void AudioPlayback::setPaused(bool paused)
{
    if (paused == paused_)
        return;
    const int64_t heard = heardSample();
    {
        AudioDeviceLock hold(device_);
        // Resume from what was heard, not from what the device had buffered.
        floor_ = heard;
        fed_ = heard;
        chunkValid_ = false;
        paused_ = paused;
        chunkTime_ = SDL_GetPerformanceCounter();
    }
    if (device_)
        SDL_PauseAudioDevice(device_, paused ? 1 : 0);
}

void AudioPlayback::seek(int64_t sample)
{
    sample = std::clamp<int64_t>(sample, 0, end_ >= 0 ? end_ : std::numeric_limits<int64_t>::max());
    source_.seek(sample);
    end_ = -1;
    {
        AudioDeviceLock hold(device_);
        history_.restart(sample);
        floor_ = sample;
        fed_ = sample;
        chunkValid_ = false;
        chunkTime_ = SDL_GetPerformanceCounter();
    }
    pump();
}

} // namespace qvhost
