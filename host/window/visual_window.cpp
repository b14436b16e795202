#include "host/window/visual_window.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "host/common/host_error.h"
#include "host/common/messages.h"
#include "host/visual/hosted_visual.h"

namespace qvhost {
namespace {

int RefreshRate(SDL_Window *window)
{
    SDL_DisplayMode mode;
    const int display = SDL_GetWindowDisplayIndex(window);
    if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0)
        return mode.refresh_rate;
    return 60;
}

// Hands web and mail addresses to the desktop's opener; anything else (or
// no opener) is only reported.
void OpenUrl(const std::string &url)
{
    const bool web = url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0 || url.rfind("mailto:", 0) == 0;
    if (web) {
        char *argv[] = {const_cast<char *>("xdg-open"), const_cast<char *>(url.c_str()), nullptr};
        pid_t pid;
        if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) == 0) {
            std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
            return;
        }
    }
    Note("the plug-in asks to open " + url);
}

} // namespace

std::string WindowTitle(const std::string &what)
{
    return "Quorvanta - " + what;
}

char KeyChar(const SDL_Keysym &key)
{
    switch (key.sym) {
    case SDLK_ESCAPE:
        return kKeyEscape;
    case SDLK_LEFT:
        return kKeyLeft;
    case SDLK_RIGHT:
        return kKeyRight;
    case SDLK_UP:
        return kKeyUp;
    case SDLK_DOWN:
        return kKeyDown;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return '\r';
    case SDLK_TAB:
        return '\t';
    case SDLK_BACKSPACE:
        return '\b';
    default:
        break;
    }
    if (key.sym >= 'a' && key.sym <= 'z') {
        const bool upper = ((key.mod & KMOD_SHIFT) != 0) != ((key.mod & KMOD_CAPS) != 0);
        return static_cast<char>(upper ? key.sym - 'a' + 'A' : key.sym);
    }
    if (key.sym >= ' ' && key.sym < 127 && !(key.mod & KMOD_SHIFT))
        return static_cast<char>(key.sym);
    return 0;
}

VisualWindow::VisualWindow(HostedVisual &visual, const WindowOptions &options) : visual_(visual), options_(options)
{
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_SHOWN;
    window_ = SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, options.width,
                               options.height, flags);
    if (!window_)
        throw HostError(std::string("cannot open a window (") + SDL_GetError() + ")");
    const VisualRegistration &reg = visual.services().registration();
    SDL_SetWindowMinimumSize(window_, std::max<int>(kMinSide, reg.minWidth), std::max<int>(kMinSide, reg.minHeight));
    try {
        int w = 0, h = 0;
        SDL_GetWindowSize(window_, &w, &h);
        visual.setSamples(options.samples);
        visual.show(w, h);
    } catch (...) {
        SDL_DestroyWindow(window_);
        throw;
    }
    HostServices::Hooks hooks;
    hooks.setFullScreen = [this](bool on) { return setFullScreen(on); };
    hooks.handleEvent = [this](const EventRecord &e) {
        return (e.what == keyDown || e.what == autoKey) && hostChar(static_cast<char>(e.message & 0xFF), driver_);
    };
    hooks.openUrl = OpenUrl;
    visual.services().setHooks(hooks);
    if (options.fullScreen)
        setFullScreen(true);
    present();
}

VisualWindow::~VisualWindow()
{
    visual_.services().setHooks(HostServices::Hooks{});
    visual_.hide();
    SDL_DestroyWindow(window_);
}

void VisualWindow::setTitle(const std::string &title)
{
    SDL_SetWindowTitle(window_, title.c_str());
}

bool VisualWindow::fullScreen() const
{
    return (SDL_GetWindowFlags(window_) & (SDL_WINDOW_FULLSCREEN | SDL_WINDOW_FULLSCREEN_DESKTOP)) != 0;
}

OSStatus VisualWindow::setFullScreen(bool on)
{
    if (on == fullScreen())
        return noErr;
    int rc;
    if (!on) {
        rc = SDL_SetWindowFullscreen(window_, 0);
    } else if (const auto &wish = visual_.services().fullScreenOptions()) {
        // The display mode nearest the plug-in's wish.
        SDL_DisplayMode mode{};
        mode.w = wish->width;
        mode.h = wish->height;
        SDL_SetWindowDisplayMode(window_, &mode);
        rc = SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN);
    } else {
        rc = SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
    return rc == 0 ? noErr : unimpErr;
}

bool VisualWindow::hostChar(char c, WindowDriver *driver)
{
    switch (c) {
    case 'q':
    case kKeyEscape:
        quit_ = true;
        return true;
    case 'f':
        setFullScreen(!fullScreen());
        return true;
    default:
        return driver && driver->hostKey(c);
    }
}

void VisualWindow::resized(int width, int height)
{
    visual_.resize(width, height);
}

void VisualWindow::handle(const SDL_Event &event, WindowDriver &driver)
{
    switch (event.type) {
    case SDL_QUIT:
        quit_ = true;
        break;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
            resized(event.window.data1, event.window.data2);
        else if (event.window.event == SDL_WINDOWEVENT_CLOSE)
            quit_ = true;
        break;
    case SDL_KEYDOWN: {
        const char c = KeyChar(event.key.keysym);
        if (c != 0 && !visual_.key(c, event.key.repeat != 0))
            hostChar(c, &driver);
        break;
    }
    default:
        break;
    }
}

void VisualWindow::present()
{
    SDL_Surface *surface = SDL_GetWindowSurface(window_);
    if (!surface)
        return;
    const Port &port = visual_.port();
    const int w = std::min(surface->w, port.width());
    const int h = std::min(surface->h, port.height());
    if (SDL_MUSTLOCK(surface))
        SDL_LockSurface(surface);
    SDL_ConvertPixels(w, h, SDL_PIXELFORMAT_ARGB8888, port.row(0), port.width() * kBytesPerPixel,
                      surface->format->format, surface->pixels, surface->pitch);
    if (SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
    SDL_UpdateWindowSurface(window_);
}

int64_t VisualWindow::run(WindowDriver &driver)
{
    driver_ = &driver;
    const Uint64 frequency = SDL_GetPerformanceFrequency();
    Uint64 deadline = SDL_GetPerformanceCounter();
    std::vector<float> left(kAnalysisSize), right(kAnalysisSize);
    int64_t frames = 0;
    while (!quit_ && driver.keepRunning() && (options_.frameLimit < 0 || frames < options_.frameLimit)) {
        SDL_Event event;
        while (SDL_PollEvent(&event))
            handle(event, driver);
        if (quit_ || visual_.withdrawn())
            break;
        const double seconds = static_cast<double>(SDL_GetPerformanceCounter()) / static_cast<double>(frequency);
        if (!driver.held()) {
            const bool heard = driver.audioNow(left.data(), right.data());
            visual_.drawNow(heard ? left.data() : nullptr, heard ? right.data() : nullptr, seconds);
        }
        present();
        ++frames;

        // One frame per display refresh; after a stall, start afresh
        // rather than rush to catch up.
        const Uint64 period = frequency / static_cast<Uint64>(RefreshRate(window_));
        deadline += period;
        const Uint64 now = SDL_GetPerformanceCounter();
        if (now + period < deadline || now > deadline + period)
            deadline = now;
        else if (deadline > now)
            SDL_Delay(static_cast<Uint32>((deadline - now) * 1000 / frequency));
    }
    driver_ = nullptr;
    return frames;
}

} // namespace qvhost
