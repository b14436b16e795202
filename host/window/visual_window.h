// An SDL2 window that shows the visual's port and feeds it frames at the
// display's rate: shown when opened, a frame with the audio heard now (an
// idle one while there is none to show) once per display refresh, "swin"
// when the window changes size, "vevt" for every key. Keys the plug-in does not take are the host's:
// q or Esc quit, f toggles full screen (at the size the plug-in asked for
// with "sfop"); the rest go to the session (WindowDriver::hostKey).
//
// The window is presented through SDL's software surface, so no GL context
// of SDL's competes with the visual's, which stays current on this thread.
// SDL's video subsystem must be initialised.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

#include "host/common/defaults.h"
#include "plugin/host_records.h"

namespace qvhost {

class HostedVisual;

// Character codes of the keys as the plug-in sees them (the platform's
// convention: control characters for the special keys).
enum : char {
    kKeyEscape = 0x1B,
    kKeyLeft = 0x1C,
    kKeyRight = 0x1D,
    kKeyUp = 0x1E,
    kKeyDown = 0x1F,
};

// "Quorvanta - <what is shown>", the title of a window.
std::string WindowTitle(const std::string &what);

// The character code of a key press, or 0 for keys without one. Letters
// follow Shift and Caps Lock.
char KeyChar(const SDL_Keysym &key);

struct WindowOptions {
    int width = kWindowWidth;
    int height = kWindowHeight;
    std::string title = "Quorvanta";
    bool fullScreen = false;
    // Smooth edges: samples per pixel (0: the plain picture).
    int samples = kDefaultSamples;
    // Quit after this many frames (negative: run until told to quit).
    int64_t frameLimit = -1;
};

class WindowDriver {
public:
    virtual ~WindowDriver() = default;
    // Fills `left` and `right` with the kAnalysisSize samples heard last;
    // false when there is no audio to show: the frame is then an idle one.
    virtual bool audioNow(float *left, float *right) = 0;
    // The picture is held (paused, frozen): no frame is drawn, the window
    // keeps showing the last one.
    virtual bool held() const { return false; }
    // A key the plug-in and the window left alone; true when used.
    virtual bool hostKey(char) { return false; }
    // Called once per frame before the audio; false ends the session.
    virtual bool keepRunning() { return true; }
};

class VisualWindow {
public:
    // Opens the window and shows the visual in it. Throws HostError.
    VisualWindow(HostedVisual &visual, const WindowOptions &options);
    // Hides the visual and closes the window.
    ~VisualWindow();
    VisualWindow(const VisualWindow &) = delete;
    VisualWindow &operator=(const VisualWindow &) = delete;

    // Runs frames until quit, the frame limit or the driver says stop.
    // Returns the number of frames run.
    int64_t run(WindowDriver &driver);

    void setTitle(const std::string &title);
    // Enters or leaves full screen; 0 or -4 when the window system refuses.
    OSStatus setFullScreen(bool on);
    bool fullScreen() const;
    // Host handling of a key character (shared by the keyboard and "evnt").
    bool hostChar(char c, WindowDriver *driver);

private:
    void handle(const SDL_Event &event, WindowDriver &driver);
    void resized(int width, int height);
    void present();

    HostedVisual &visual_;
    WindowOptions options_;
    SDL_Window *window_ = nullptr;
    WindowDriver *driver_ = nullptr;
    bool quit_ = false;
};

} // namespace qvhost
