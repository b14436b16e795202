#include "host/window/sdl_runtime.h"

#include <SDL.h>

#include "host/audio/audio_capture.h"
#include "host/common/host_error.h"

namespace qvhost {

SdlRuntime::SdlRuntime(bool video)
{
    SDL_SetMainReady();
    // A GL-backed window surface would make SDL's own context current on
    // this thread and take it from the visual.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Quorvanta");
    SDL_SetHint(SDL_HINT_APP_NAME, "Quorvanta");
    IncludeMonitorDevices();
    if (SDL_Init(SDL_INIT_EVENTS) != 0)
        throw HostError(std::string("SDL: ") + SDL_GetError());
    if (video && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        const std::string why = SDL_GetError();
        SDL_Quit();
        throw HostError("cannot open a window: " + why + " (is DISPLAY set?)");
    }
    audio_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

SdlRuntime::~SdlRuntime()
{
    SDL_Quit();
}

} // namespace qvhost
