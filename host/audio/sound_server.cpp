#include "host/audio/sound_server.h"

#include <SDL.h>

#include <cstring>

namespace qvhost {

bool SoundServerReached()
{
    const char *driver = SDL_GetCurrentAudioDriver();
    return driver && (!std::strcmp(driver, "pulseaudio") || !std::strcmp(driver, "pipewire"));
}

} // namespace qvhost
