#include "hardening/soak_cycle.h"

#include <cstring>
#include <sstream>

#include "hardening/gl_guard.h"
#include "platform/AGL.h"
#include "platform/MacMemory.h"
#include "platform/QDPort.h"
#include "platform/QVClock.h"
#include "plugin/PluginState.h"
#include "support/image_io.h"

namespace soak {

Resources CountResources()
{
    Resources r;
    r.contexts = QVAGL_LiveContextCount();
    r.pixelFormats = QVAGL_LivePixelFormatCount();
    r.framebuffers = QVAGL_LiveFramebufferCount();
    const glguard::Stats gl = glguard::GetStats();
    r.textures = gl.liveTextures;
    r.texturesDroppedWithContext = gl.texturesDroppedWithContext;
    r.instanceStates = QVPlatform_LivePtrCount();
    r.glViolations = gl.violations;
    return r;
}

std::string Describe(const Resources &r)
{
    std::ostringstream s;
    s << "contexts " << r.contexts << ", pixel formats " << r.pixelFormats << ", framebuffers " << r.framebuffers
      << ", textures " << r.textures << " (dropped with their context " << r.texturesDroppedWithContext
      << "), instance states " << r.instanceStates << ", GL calls without the instance's context "
      << r.glViolations;
    return s.str();
}

SoakRun::SoakRun(SInt16 width, SInt16 height, int reinitEvery) : reinitEvery_(reinitEvery)
{
    glguard::SetAbortOnViolation(false);
    QVClock_SetSource(&SoakRun::FixedTime, nullptr);
    port_ = QVPort_Create(width, height);
    if (port_ == nullptr || host_.entry() == nullptr)
        return;
    QVPort_SetFrameProc(port_, &SoakRun::OnFrame, this);
    whole_ = Rect{0, 0, height, width};
    inset_ = Rect{2, 3, static_cast<SInt16>(height - 1), static_cast<SInt16>(width - 4)};
    const size_t words = static_cast<size_t>(width) * static_cast<size_t>(height);
    firstFrame_.reserve(words);
    frame_.resize(words);
    silence_.numWaveformChannels = 2;
    silence_.numSpectrumChannels = 2;
    std::memset(silence_.waveformData, 128, sizeof silence_.waveformData);
    {
        glguard::Scope noGL(glguard::Expect::NoGL);
        ok_ = host_.initModule() == noErr && host_.handler() != nullptr && host_.initInstance() == noErr;
    }
    host_.calls.clear();
}

SoakRun::~SoakRun()
{
    if (ok_ && host_.refCon() != nullptr) {
        send(kVisualPluginHideWindowMessage, nullptr);
        glguard::Scope scope(glguard::Expect::Instance, static_cast<VisualPluginState *>(host_.refCon()));
        host_.cleanupInstance();
    }
    QVPort_Dispose(port_);
    QVClock_SetSource(nullptr, nullptr);
}

time_t SoakRun::FixedTime(void *)
{
    return 7; // the second colour slot
}

void SoakRun::OnFrame(CGrafPtr, const Rect *, SInt32, void *self)
{
    ++static_cast<SoakRun *>(self)->frames_;
}

OSStatus SoakRun::send(OSType code, void *record)
{
    glguard::Scope scope(glguard::Expect::Instance, static_cast<VisualPluginState *>(host_.refCon()));
    return host_.send(code, record);
}

bool SoakRun::fail(const std::string &why)
{
    std::ostringstream s;
    s << "cycle " << done_ << ": " << why;
    failure_ = s.str();
    return false;
}

bool SoakRun::cycle()
{
    const long framesBefore = frames_;
    WindowRecord show{port_, whole_};
    if (OSStatus st = send(kVisualPluginShowWindowMessage, &show); st != noErr)
        return fail("\"show\" answered " + std::to_string(st));

    // The first frame of a showing depends on nothing that a showing keeps.
    PixMapHandle pm = QVPort_GetPixMap(port_);
    const int width = whole_.right, height = whole_.bottom;
    for (int y = 0; y < height; ++y)
        std::memcpy(&frame_[static_cast<size_t>(y) * width], (*pm)->baseAddr + static_cast<long>(y) * (*pm)->rowBytes,
                    static_cast<size_t>(width) * 4u);
    if (firstFrame_.empty()) {
        firstFrame_ = frame_;
    } else if (frame_ != firstFrame_) {
        rendertest::Image actual{width, height, frame_}, expected{width, height, firstFrame_};
        const std::string dir = rendertest::OutputDir();
        rendertest::WritePng(dir + "/soak-first-frame-actual.png", actual);
        rendertest::WritePng(dir + "/soak-first-frame-diff.png", rendertest::Difference(actual, expected, 8));
        return fail("the first frame differs from the first cycle's (images in " + dir + ")");
    }

    RenderMessageRecord render{&silence_};
    for (int i = 0; i < 2; ++i)
        if (OSStatus st = send(kVisualPluginRenderMessage, &render); st != noErr)
            return fail("\"vrnd\" answered " + std::to_string(st));
    if (OSStatus st = send(kVisualPluginIdleMessage, nullptr); st != noErr)
        return fail("\"null\" answered " + std::to_string(st));
    WindowRecord swin{port_, inset_};
    if (OSStatus st = send(kVisualPluginSetWindowMessage, &swin); st != noErr)
        return fail("\"swin\" answered " + std::to_string(st));
    if (OSStatus st = send(kVisualPluginHideWindowMessage, nullptr); st != noErr)
        return fail("\"hide\" answered " + std::to_string(st));
    if (frames_ - framesBefore != kFramesPerCycle)
        return fail(std::to_string(frames_ - framesBefore) + " frames drawn, not " +
                    std::to_string(kFramesPerCycle));

    if (reinitEvery_ > 0 && (done_ + 1) % reinitEvery_ == 0) {
        {
            glguard::Scope scope(glguard::Expect::Instance, static_cast<VisualPluginState *>(host_.refCon()));
            if (OSStatus st = host_.cleanupInstance(); st != noErr)
                return fail("\"clr \" answered " + std::to_string(st));
        }
        glguard::Scope noGL(glguard::Expect::NoGL);
        if (OSStatus st = host_.initInstance(); st != noErr)
            return fail("\"init\" answered " + std::to_string(st));
    }
    host_.calls.clear(); // the host's record of "sfop" calls would grow otherwise

    const Resources r = CountResources();
    if (r.contexts != 0 || r.pixelFormats != 0 || r.framebuffers != 0 || r.textures != 0 ||
        r.texturesDroppedWithContext != 0 || r.instanceStates != 1 || r.glViolations != 0)
        return fail("after \"hide\": " + Describe(r) + (r.glViolations ? "; first: " + glguard::FirstViolation() : ""));
    ++done_;
    return true;
}

} // namespace soak
