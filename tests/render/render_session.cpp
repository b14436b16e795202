#include "render/render_session.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

#include "platform/QVClock.h"

namespace rendertest {

FixedClock::FixedClock(time_t now) : now_(now)
{
    QVClock_SetSource(&FixedClock::Read, this);
}

FixedClock::~FixedClock()
{
    QVClock_SetSource(nullptr, nullptr);
}

time_t FixedClock::Read(void *self)
{
    return static_cast<FixedClock *>(self)->now_;
}

Spectrum Spectrum::Level(UInt8 every)
{
    Spectrum s;
    std::memset(s.bass, every, sizeof s.bass);
    return s;
}

RenderSession::RenderSession(SInt16 width, SInt16 height)
    : host_(new qvtest::TestHost), width_(width), height_(height)
{
    port_ = QVPort_Create(width, height);
    if (port_ == nullptr || host_->entry() == nullptr)
        return;
    QVPort_SetFrameProc(port_, &RenderSession::OnFrame, this);
    if (host_->initModule() != noErr || host_->handler() == nullptr || host_->initInstance() != noErr)
        return;
    instance_ = true;
    ok_ = true;
}

RenderSession::~RenderSession()
{
    if (instance_) {
        if (state()->aglContext != nullptr)
            hide();
        cleanup();
    }
    host_.reset(); // unloads the bundle
    QVPort_Dispose(port_);
}

OSStatus RenderSession::show(const Rect &rect)
{
    WindowRecord record{port_, rect};
    return host_->send(kVisualPluginShowWindowMessage, &record);
}

OSStatus RenderSession::swin(const Rect &rect)
{
    WindowRecord record{port_, rect};
    return host_->send(kVisualPluginSetWindowMessage, &record);
}

OSStatus RenderSession::hide()
{
    return host_->send(kVisualPluginHideWindowMessage, nullptr);
}

OSStatus RenderSession::render(const Spectrum &spectrum, UInt8 channels)
{
    data_.numSpectrumChannels = channels;
    std::memcpy(data_.spectrumData[0], spectrum.bass, sizeof spectrum.bass);
    RenderMessageRecord record{&data_};
    return host_->send(kVisualPluginRenderMessage, &record);
}

OSStatus RenderSession::render(const RenderData &data)
{
    data_ = data;
    RenderMessageRecord record{&data_};
    return host_->send(kVisualPluginRenderMessage, &record);
}

OSStatus RenderSession::idle()
{
    return host_->send(kVisualPluginIdleMessage, nullptr);
}

OSStatus RenderSession::cleanup()
{
    instance_ = false;
    return host_->cleanupInstance();
}

void RenderSession::fillPort(uint32_t word)
{
    PixMapHandle pm = QVPort_GetPixMap(port_);
    for (int y = 0; y < height_; ++y) {
        auto *row = reinterpret_cast<uint32_t *>((*pm)->baseAddr + static_cast<long>(y) * (*pm)->rowBytes);
        for (int x = 0; x < width_; ++x)
            row[x] = word;
    }
}

bool RenderSession::BundleUnloaded()
{
    const char *path = std::getenv("QV_BUNDLE");
    void *handle = path ? dlopen(path, RTLD_NOW | RTLD_NOLOAD) : nullptr;
    if (handle == nullptr)
        return true;
    dlclose(handle);
    return false;
}

void RenderSession::OnFrame(CGrafPtr, const Rect *bufferRect, SInt32 swapInterval, void *self)
{
    static_cast<RenderSession *>(self)->frames_.push_back(FrameEvent{*bufferRect, swapInterval});
}

} // namespace rendertest
