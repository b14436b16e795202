#include "host/visual_host.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <vector>

#include "host/host_error.h"

#ifndef QV_PLUGIN_DIR_FROM_BIN
#define QV_PLUGIN_DIR_FROM_BIN "../lib/quorvanta"
#endif

namespace qvhost {
namespace {

std::string ProgramDirectory()
{
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    std::string path(buf, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

} // namespace

HostSession::HostSession(const std::string &bundlePath, const std::string &configRoot)
    : services(configRoot.empty() ? PluginDataStore::DefaultRoot() : configRoot), visual(bundlePath, services)
{
    visual.start();
}

std::string DefaultBundlePath()
{
    const std::string dir = ProgramDirectory();
    const std::vector<std::string> candidates = {dir + "/quorvanta.so", dir + "/../lib/quorvanta/quorvanta.so",
                                                 dir + "/" QV_PLUGIN_DIR_FROM_BIN "/quorvanta.so",
                                                 dir + "/../lib/quorvanta.so"};
    for (const std::string &c : candidates) {
        struct stat st;
        if (stat(c.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            return c;
    }
    return candidates.front();
}

VisualHost::VisualHost(const std::string &bundlePath, HostServices &services) : path_(bundlePath), services_(services)
{
    struct stat st;
    if (stat(path_.c_str(), &st) != 0)
        throw HostError(path_ + ": no plug-in bundle there");
    if (S_ISDIR(st.st_mode))
        throw HostError(path_ + ": is a directory, not a plug-in bundle");
    // The bundle stays loaded for the life of the process: the GL drivers it
    // pulls in register exit handlers and thread data that must not go away.
    void *dl = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!dl) {
        const char *why = dlerror();
        throw HostError(path_ + ": not a loadable plug-in bundle (" + (why ? why : "unknown reason") + ")");
    }
    entry_ = reinterpret_cast<PluginMainProcPtr>(dlsym(dl, "iTunesPluginMainMachO"));
    dlclose(dl);
    if (!entry_)
        throw HostError(path_ + ": not a visual plug-in bundle (no entry point iTunesPluginMainMachO)");
}

VisualHost::~VisualHost()
{
    stop();
}

void VisualHost::start()
{
    PluginInitRecord module{};
    module.hostMajorVersion = kHostCallRecordMajorVersion;
    module.hostMinorVersion = kHostCallRecordMinorVersion;
    module.hostCookie = services_.cookie();
    module.hostProc = &HostServices::Proc;
    const OSStatus moduleStatus = entry_(kPluginInitMessage, &module, nullptr);
    if (moduleStatus != noErr)
        throw HostError(path_ + ": the bundle failed to start (status " + std::to_string(moduleStatus) + ")");
    state_ = State::Registered; // the module is started and gets "clr " at the end
    if (!services_.registered())
        throw HostError(path_ + ": the bundle registered no visual plug-in");
    handler_ = services_.registration().handler;

    VisualInitRecord init{};
    init.hostMajorVersion = kHostCallRecordMajorVersion;
    init.hostMinorVersion = kHostCallRecordMinorVersion;
    init.hostCookie = services_.cookie();
    init.hostProc = &HostServices::Proc;
    const OSStatus status = handler_(kPluginInitMessage, &init, nullptr);
    if (status != noErr)
        throw HostError(path_ + ": the visual plug-in failed to initialise (status " + std::to_string(status) + ")");
    refCon_ = init.refCon;
    state_ = State::Instance;
}

OSStatus VisualHost::send(OSType code, void *info)
{
    return handler_(code, info, refCon_);
}

void VisualHost::show(CGrafPtr port, const Rect &drawRect)
{
    if (state_ == State::Shown)
        hide();
    if (state_ != State::Instance && state_ != State::Hidden)
        throw std::logic_error("show before the visual was started");
    WindowRecord window{port, drawRect};
    const OSStatus status = send(kVisualPluginShowWindowMessage, &window);
    state_ = State::Shown;
    if (status != noErr) {
        hide(); // the plug-in may hold half of what "show" builds
        throw HostError(path_ + ": the visual plug-in failed to show (status " + std::to_string(status) + ")");
    }
}

void VisualHost::setWindow(const Rect &drawRect)
{
    if (state_ != State::Shown)
        return;
    WindowRecord window{nullptr, drawRect};
    send(kVisualPluginSetWindowMessage, &window);
}

void VisualHost::render(const RenderData &data)
{
    if (state_ != State::Shown)
        return;
    // The plug-in may not write the record, but it is given a copy anyway so
    // that the caller's data stays as it was.
    RenderData copy = data;
    RenderMessageRecord record{&copy};
    send(kVisualPluginRenderMessage, &record);
}

bool VisualHost::wantsIdle() const
{
    return services_.registered() && (services_.registration().options & kVisualWantsIdleMessages) != 0;
}

int VisualHost::spectrumChannels() const
{
    return services_.registered() ? static_cast<int>(std::min<UInt32>(services_.registration().numSpectrumChannels, 2))
                                  : 0;
}

int VisualHost::waveformChannels() const
{
    return services_.registered() ? static_cast<int>(std::min<UInt32>(services_.registration().numWaveformChannels, 2))
                                  : 0;
}

void VisualHost::idle()
{
    if (state_ != State::Shown || !wantsIdle())
        return;
    send(kVisualPluginIdleMessage, nullptr);
}

void VisualHost::frame(const RenderData *data, double seconds)
{
    const UInt32 interval = services_.registered() ? services_.registration().timeBetweenDataMs : 0;
    // 0 and kVisualNoDataInterval both ask for no minimum.
    const bool limited = interval != 0 && interval != kVisualNoDataInterval;
    if (seconds < lastData_)
        lastData_ = -1e300; // the clock went back (a seek): start afresh
    if (data && (!limited || (seconds - lastData_) * 1000.0 + 1e-6 >= interval)) {
        lastData_ = seconds;
        render(*data);
    } else {
        idle();
    }
}

bool VisualHost::key(char c, bool repeat)
{
    if (state_ != State::Shown && state_ != State::Hidden && state_ != State::Instance)
        return false;
    EventRecord event{};
    event.what = repeat ? autoKey : keyDown;
    event.message = static_cast<UInt8>(c);
    EventMessageRecord record{&event};
    return send(kVisualPluginEventMessage, &record) == noErr;
}

void VisualHost::playState(OSType code)
{
    if (state_ != State::Instance && state_ != State::Shown && state_ != State::Hidden)
        return;
    if (code == kVisualPluginPlayMessage)
        playing_ = true;
    else if (code == kVisualPluginStopMessage)
        playing_ = false;
    send(code, nullptr);
}

void VisualHost::hide()
{
    if (state_ != State::Shown)
        return;
    send(kVisualPluginHideWindowMessage, nullptr);
    state_ = State::Hidden;
}

void VisualHost::stop()
{
    if (state_ == State::Ended || state_ == State::Loaded)
        return;
    if (playing_)
        playState(kVisualPluginStopMessage);
    hide();
    if (state_ == State::Instance || state_ == State::Hidden)
        send(kPluginCleanupMessage, nullptr);
    entry_(kPluginCleanupMessage, nullptr, nullptr);
    state_ = State::Ended;
}

} // namespace qvhost
