// Holds an SDL audio device's lock while alive, so that its callback (on
// SDL's audio thread) does not run meanwhile. A device of 0 (none) is not
// locked.
#pragma once

#include <SDL.h>

namespace qvhost {

class AudioDeviceLock {
public:
    explicit AudioDeviceLock(SDL_AudioDeviceID device) : device_(device)
    {
        if (device_)
            SDL_LockAudioDevice(device_);
    }
    ~AudioDeviceLock()
    {
        if (device_)
            SDL_UnlockAudioDevice(device_);
    }
    AudioDeviceLock(const AudioDeviceLock &) = delete;
    AudioDeviceLock &operator=(const AudioDeviceLock &) = delete;

private:
    SDL_AudioDeviceID device_;
};

} // namespace qvhost
