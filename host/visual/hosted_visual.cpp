#include "host/visual/hosted_visual.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "host/common/defaults.h"
#include "host/common/frame_size.h"
#include "host/common/sample_history.h"
#include "host/visual/renderer_info.h"
#include "platform/qv_clock.h"

#ifndef QV_INSTALLED_BUNDLE
#define QV_INSTALLED_BUNDLE "/usr/local/lib/quorvanta/quorvanta.so"
#endif

namespace qvhost {
namespace {

// Taken around every call into a bundle. Recursive: a call into the
// plug-in can come back to its host (a key the plug-in hands back through
// "evnt"), whose answer may send the plug-in a message.
std::recursive_mutex &BundleLock()
{
    static std::recursive_mutex lock;
    return lock;
}

// The frame being drawn while the visual's clock follows a stream.
time_t gFrameSeconds = 0;

time_t FrameClock(void *)
{
    return gFrameSeconds;
}

// The folder of the program or shared object this code was linked into.
std::string ModuleDirectory()
{
    Dl_info info{};
    link_map *map = nullptr;
    std::string path;
    if (dladdr1(reinterpret_cast<void *>(&ModuleDirectory), &info, reinterpret_cast<void **>(&map), RTLD_DL_LINKMAP) &&
        map && map->l_name && map->l_name[0] != '\0') {
        path = map->l_name; // a shared object, as it was loaded
    } else {
        char buf[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1); // the program itself
        if (n > 0)
            path.assign(buf, static_cast<size_t>(n));
    }
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool IsRegularFile(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The module's and the handler's "init" record: the host's version and the
// way back into it, the rest cleared.
template <typename Record> Record InitRecord(HostServices &services)
{
    Record record{};
    record.hostMajorVersion = kHostCallRecordMajorVersion;
    record.hostMinorVersion = kHostCallRecordMinorVersion;
    record.hostCookie = services.cookie();
    record.hostProc = &HostServices::Proc;
    return record;
}

} // namespace

VisualError::VisualError(Kind kind, const std::string &bundle, const std::string &reason)
    : HostError(bundle + ": " + reason, kind == Kind::Size ? kExitUsage : kExitFailure), kind_(kind)
{
}

Rect DrawArea(int width, int height, Fit fit)
{
    if (fit == Fit::Auto)
        fit = height > width ? Fit::Contain : Fit::Crop;
    int w = width, h = height;
    if (fit == Fit::Contain) {
        // The largest kDefaultWidth:kDefaultHeight area, its sides rounded to whole pixels.
        const int64_t wide = int64_t{width} * kDefaultHeight, tall = int64_t{height} * kDefaultWidth;
        if (wide <= tall)
            h = std::max<int>(1, static_cast<int>((2 * wide + kDefaultWidth) / (2 * kDefaultWidth)));
        else
            w = std::max<int>(1, static_cast<int>((2 * tall + kDefaultHeight) / (2 * kDefaultHeight)));
    }
    const int top = (height - h) / 2, left = (width - w) / 2;
    return Rect{static_cast<SInt16>(top), static_cast<SInt16>(left), static_cast<SInt16>(top + h),
                static_cast<SInt16>(left + w)};
}

std::string DefaultBundlePath()
{
    char path[PATH_MAX];
    const std::string built = ModuleDirectory() + "/../lib/quorvanta.so";
    return IsRegularFile(built) && realpath(built.c_str(), path) ? std::string(path) : std::string(QV_INSTALLED_BUNDLE);
}

HostedVisual::HostedVisual(const std::string &bundlePath, const std::string &configRoot)
    : path_(bundlePath.empty() ? DefaultBundlePath() : bundlePath),
      services_(configRoot.empty() ? PluginDataStore::DefaultRoot() : configRoot), lastData_(-1e300)
{
    std::lock_guard<std::recursive_mutex> hold(BundleLock());
    load();
    glLargestSide_ = ProbeGlRenderer().largestSide; // before the visual's own context is current here
    try {
        start();
    } catch (...) {
        stop(); // the module may have started
        throw;
    }
}

HostedVisual::~HostedVisual()
{
    stop();
}

void HostedVisual::load()
{
    struct stat st;
    if (stat(path_.c_str(), &st) != 0)
        throw VisualError(VisualError::Kind::Load, path_, "no plug-in bundle there");
    if (S_ISDIR(st.st_mode))
        throw VisualError(VisualError::Kind::Load, path_, "is a directory, not a plug-in bundle");
    // dlopen would wait on a FIFO's writer, or read a device, forever.
    if (!S_ISREG(st.st_mode))
        throw VisualError(VisualError::Kind::Load, path_, "is not a regular file, not a plug-in bundle");
    // The bundle stays loaded for the life of the process: the GL drivers it
    // pulls in register exit handlers and thread data that must not go away.
    void *dl = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!dl) {
        const char *why = dlerror();
        throw VisualError(VisualError::Kind::Load, path_,
                          std::string("not a loadable plug-in bundle (") + (why ? why : "unknown reason") + ")");
    }
    entry_ = reinterpret_cast<PluginMainProcPtr>(dlsym(dl, "iTunesPluginMainMachO"));
    dlclose(dl);
    if (!entry_)
        throw VisualError(VisualError::Kind::Load, path_,
                          "not a visual plug-in bundle (no entry point iTunesPluginMainMachO)");
}

void HostedVisual::start()
{
    PluginInitRecord module = InitRecord<PluginInitRecord>(services_);
    const OSStatus moduleStatus = entry_(kPluginInitMessage, &module, nullptr);
    if (moduleStatus != noErr)
        throw VisualError(VisualError::Kind::Start, path_,
                          "the bundle failed to start (status " + std::to_string(moduleStatus) + ")");
    state_ = State::Registered; // the module is started and gets "clr " at the end
    if (!services_.registered())
        throw VisualError(VisualError::Kind::Start, path_, "the bundle registered no visual plug-in");
    const VisualRegistration &reg = services_.registration();
    handler_ = reg.handler;
    request_ = {static_cast<int>(std::min<UInt32>(reg.numSpectrumChannels, 2)),
                static_cast<int>(std::min<UInt32>(reg.numWaveformChannels, 2))};

    VisualInitRecord init = InitRecord<VisualInitRecord>(services_);
    const OSStatus status = handler_(kPluginInitMessage, &init, nullptr);
    if (status != noErr)
        throw VisualError(VisualError::Kind::Start, path_,
                          "the visual plug-in failed to initialise (status " + std::to_string(status) + ")");
    refCon_ = init.refCon;
    state_ = State::Instance;
}

OSStatus HostedVisual::send(OSType code, void *info)
{
    return handler_(code, info, refCon_);
}

int HostedVisual::largestSide() const
{
    return glLargestSide_ > 0 ? std::min<int>(glLargestSide_, kQVPortMaxSide) : kQVPortMaxSide;
}

SizeRange HostedVisual::sizes() const
{
    const VisualRegistration &reg = services_.registration();
    const int most = largestSide();
    const auto upTo = [most](int registered) { return registered > 0 ? std::min(registered, most) : most; };
    return {std::max<int>(reg.minWidth, 1), std::max<int>(reg.minHeight, 1), upTo(reg.maxWidth), upTo(reg.maxHeight)};
}

void HostedVisual::checkSize(int width, int height) const
{
    const VisualRegistration &reg = services_.registration();
    auto outside = [](int v, int lo, int hi) { return (lo > 0 && v < lo) || (hi > 0 && v > hi); };
    if (outside(width, reg.minWidth, reg.maxWidth) || outside(height, reg.minHeight, reg.maxHeight))
        throw VisualError(VisualError::Kind::Size, path_,
                          SizeText(width, height) + " is outside the frame sizes the plug-in accepts (" +
                              SizeText(reg.minWidth, reg.minHeight) + " to " + SizeText(reg.maxWidth, reg.maxHeight) +
                              ")");
    const SizeRange range = sizes();
    if (width > range.maxWidth || height > range.maxHeight)
        throw VisualError(VisualError::Kind::Size, path_,
                          SizeText(width, height) + " is larger than the GL here can draw (" +
                              std::to_string(largestSide()) + " pixels a side at most)");
}

void HostedVisual::show(int width, int height, Fit fit)
{
    std::lock_guard<std::recursive_mutex> hold(BundleLock());
    if (state_ != State::Instance && state_ != State::Hidden && state_ != State::Shown)
        throw std::logic_error("show before the visual was started or after it ended");
    checkSize(width, height);
    hide();
    if (!port_)
        port_ = std::make_unique<Port>(width, height);
    else
        port_->resize(width, height);
    fit_ = fit;
    const Rect area = DrawArea(width, height, fit);
    port_->setSamples(samples_);
    port_->setFillBars(area.bottom - area.top < height || area.right - area.left < width);
    const uint64_t before = port_->framesDelivered();
    WindowRecord window{port_->get(), area};
    const OSStatus status = send(kVisualPluginShowWindowMessage, &window);
    state_ = State::Shown;
    if (status != noErr || port_->framesDelivered() == before) {
        hide(); // the plug-in may hold half of what "show" builds
        throw VisualError(VisualError::Kind::Show, path_,
                          status != noErr ? "the visual plug-in failed to show (status " + std::to_string(status) + ")"
                                          : "the visual drew nothing when shown (no usable GL renderer?)");
    }
    if (!playing_)
        playState(kVisualPluginPlayMessage);
}

void HostedVisual::resize(int width, int height)
{
    std::lock_guard<std::recursive_mutex> hold(BundleLock());
    if (state_ != State::Shown || (width == port_->width() && height == port_->height()))
        return;
    port_->resize(width, height);
    const Rect area = DrawArea(width, height, fit_);
    port_->setFillBars(area.bottom - area.top < height || area.right - area.left < width);
    WindowRecord window{nullptr, area};
    send(kVisualPluginSetWindowMessage, &window);
}

void HostedVisual::hide()
{
    std::lock_guard<std::recursive_mutex> hold(BundleLock());
    if (state_ != State::Shown)
        return;
    send(kVisualPluginHideWindowMessage, nullptr);
    state_ = State::Hidden;
}

void HostedVisual::setUnseenFrames(uint32_t count)
{
    if (state_ == State::Shown)
        port_->setUnseenFrames(count);
}

void HostedVisual::checkNotWithdrawn() const
{
    if (withdrawn())
        throw VisualError(VisualError::Kind::Withdrawn, path_, "the plug-in took itself out");
}

void HostedVisual::frame(const RenderData *data, double seconds)
{
    const UInt32 interval = services_.registration().timeBetweenDataMs;
    // 0 and kVisualNoDataInterval both ask for no minimum.
    const bool limited = interval != 0 && interval != kVisualNoDataInterval;
    if (seconds < lastData_)
        lastData_ = -1e300; // the clock went back (a seek): start afresh
    if (data && (!limited || (seconds - lastData_) * 1000.0 + 1e-6 >= interval)) {
        lastData_ = seconds;
        // The plug-in may not write the record, but it gets a copy anyway so
        // that the caller's stays as it was.
        RenderData copy = *data;
        RenderMessageRecord record{&copy};
        send(kVisualPluginRenderMessage, &record);
    } else if (services_.registration().options & kVisualWantsIdleMessages) {
        send(kVisualPluginIdleMessage, nullptr);
    }
}

void HostedVisual::drawFrame(int64_t n, FrameRate fps, const SampleHistory &audio, int rate, uint32_t *pixels)
{
    std::lock_guard<std::recursive_mutex> hold(BundleLock());
    checkNotWithdrawn();
    if (state_ != State::Shown)
        return;
    analyzer_.fill(audio, FrameSample(n, rate, fps), request_, data_);
    port_->drawInto(pixels);
    gFrameSeconds = FrameSeconds(n, fps);
    QVClock_SetSource(&FrameClock, nullptr);
    frame(&data_, FrameTime(n, fps));
    QVClock_SetSource(nullptr, nullptr);
}

bool HostedVisual::drawFrame(int64_t n, FrameRate fps, const SampleHistory &audio, int rate, uint8_t *rows,
                             ptrdiff_t stride)
{
    std::lock_guard<std::recursive_mutex> hold(BundleLock());
    const ptrdiff_t rowBytes = static_cast<ptrdiff_t>(port_->width()) * kBytesPerPixel;
    const bool packed = stride == rowBytes;
    drawFrame(n, fps, audio, rate, packed ? reinterpret_cast<uint32_t *>(rows) : nullptr);
    for (int y = 0; !packed && y < port_->height(); ++y)
        std::memcpy(rows + y * stride, port_->row(y), static_cast<size_t>(rowBytes));
    return packed;
}

void HostedVisual::drawNow(const float *left, const float *right, double seconds, uint32_t *pixels)
{
    std::lock_guard<std::recursive_mutex> hold(BundleLock());
    checkNotWithdrawn();
    if (state_ != State::Shown)
        return;
    if (left && right)
        analyzer_.fill(left, right, request_, data_);
    port_->drawInto(pixels);
    frame(left && right ? &data_ : nullptr, seconds);
}

bool HostedVisual::key(char c, bool repeat)
{
    std::lock_guard<std::recursive_mutex> hold(BundleLock());
    if (state_ != State::Shown && state_ != State::Hidden && state_ != State::Instance)
        return false;
    EventRecord event{};
    event.what = repeat ? autoKey : keyDown;
    event.message = static_cast<UInt8>(c);
    EventMessageRecord record{&event};
    return send(kVisualPluginEventMessage, &record) == noErr;
}

void HostedVisual::playState(OSType code)
{
    std::lock_guard<std::recursive_mutex> hold(BundleLock());
    if (state_ != State::Instance && state_ != State::Shown && state_ != State::Hidden)
        return;
    if (code == kVisualPluginPlayMessage)
        playing_ = true;
    else if (code == kVisualPluginStopMessage)
        playing_ = false;
    send(code, nullptr);
}

void HostedVisual::stop()
{
    std::lock_guard<std::recursive_mutex> hold(BundleLock());
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
