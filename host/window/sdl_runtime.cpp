#include "host/window/sdl_runtime.h"

#include <SDL.h>
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

#include "host/audio/audio_capture.h"
#include "host/common/host_error.h"

namespace qvhost {
namespace {

// ALSA reports every failed probe of a sound card on standard error, where
// its lines would come before the one line that says what is wrong. SDL
// loads the library itself; it is quietened before SDL asks anything of it.
extern "C" void IgnoreAlsaError(const char *, int, const char *, int, const char *, ...) {}

void QuietenAlsa()
{
    using Handler = void (*)(const char *, int, const char *, int, const char *, ...);
    if (void *alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_NODELETE)) {
        if (auto set = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler")))
            set(&IgnoreAlsaError);
        dlclose(alsa);
    }
}

// SDL falls back to drawing nowhere (its offscreen or dummy driver) when no
// display can be reached; a window the user cannot see is a failure, unless
// asked for (SDL_VIDEODRIVER, as the tests do).
bool Set(const char *variable)
{
    const char *value = std::getenv(variable);
    return value && *value;
}

void CheckDisplay(bool before)
{
    if (Set("SDL_VIDEODRIVER"))
        return;
    if (before && !Set("DISPLAY") && !Set("WAYLAND_DISPLAY"))
        throw HostError("cannot open a window: no display (DISPLAY and WAYLAND_DISPLAY are not set)");
    if (before && !Set("WAYLAND_DISPLAY"))
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11"); // no Wayland to probe (and complain about)
    const char *driver = before ? nullptr : SDL_GetCurrentVideoDriver();
    if (driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy")))
        throw HostError(std::string("cannot open a window: the display cannot be reached (only SDL's ") + driver +
                        " driver started)");
}

} // namespace

SdlRuntime::SdlRuntime(bool video)
{
    if (video)
        CheckDisplay(true);
    QuietenAlsa();
    SDL_SetMainReady();
    // A GL-backed window surface would make SDL's own context current on
    // this thread and take it from the visual.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Quorvanta");
    SDL_SetHint(SDL_HINT_APP_NAME, "Quorvanta");
    IncludeMonitorDevices();
    if (SDL_Init(SDL_INIT_EVENTS) != 0)
        throw HostError(std::string("SDL: ") + SDL_GetError());
    try {
        if (video && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            throw HostError(std::string("cannot open a window: the display cannot be reached (") + SDL_GetError() +
                            ", DISPLAY " + (std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "not set") + ")");
        if (video)
            CheckDisplay(false);
    } catch (...) {
        SDL_Quit();
        throw;
    }
    audio_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

SdlRuntime::~SdlRuntime()
{
    SDL_Quit();
}

} // namespace qvhost
