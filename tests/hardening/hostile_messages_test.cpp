// The handler against a host that breaks its promises: missing instances,
// records and ports answer a non-zero status and change nothing; two shown
// instances each draw in their own context whatever the other does; extreme
// rectangles neither crash nor make the platform reserve memory for a
// framebuffer no GL can hold. Every GL call is watched by gl_guard: it must
// find the context of the instance that got the message current.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "hardening/gl_guard.h"
#include "hardening/heap_meter.h"
#include "platform/AGL.h"
#include "platform/MacMemory.h"
#include "platform/QDPort.h"
#include "plugin/PluginState.h"
#include "support/test_host.h"

namespace {

// One instance of the visual on a port of its own, as a host holds it.
class Instance {
public:
    Instance(SInt16 width, SInt16 height) : port_(QVPort_Create(width, height)), width_(width), height_(height)
    {
        QVPort_SetFrameProc(port_, &Instance::OnFrame, this);
        glguard::SetAbortOnViolation(false);
        glguard::Scope noGL(glguard::Expect::NoGL);
        ok_ = host_.entry() != nullptr && host_.initModule() == noErr && host_.handler() != nullptr &&
              host_.initInstance() == noErr;
    }
    ~Instance()
    {
        if (ok_ && host_.refCon() != nullptr) {
            send(kVisualPluginHideWindowMessage, nullptr);
            glguard::Scope scope(glguard::Expect::Instance, state());
            host_.cleanupInstance();
        }
        QVPort_Dispose(port_);
    }

    bool ok() const { return ok_; }
    VisualPluginState *state() const { return static_cast<VisualPluginState *>(host_.refCon()); }
    CGrafPtr port() const { return port_; }
    long frames() const { return frames_; }
    Rect whole() const { return Rect{0, 0, height_, width_}; }

    // A message to this instance; its GL calls must find its context current.
    OSStatus send(OSType code, void *record)
    {
        glguard::Scope scope(glguard::Expect::Instance, state());
        return host_.send(code, record);
    }
    // A message without the instance: no GL call may be made.
    OSStatus sendWithoutRefCon(OSType code, void *record)
    {
        glguard::Scope scope(glguard::Expect::NoGL);
        return host_.handler()(code, record, nullptr);
    }
    OSStatus show(const Rect &rect)
    {
        WindowRecord record{port_, rect};
        return send(kVisualPluginShowWindowMessage, &record);
    }
    OSStatus show() { return show(whole()); }
    OSStatus swin(const Rect &rect)
    {
        WindowRecord record{port_, rect};
        return send(kVisualPluginSetWindowMessage, &record);
    }
    OSStatus render()
    {
        data_.numSpectrumChannels = 2;
        RenderMessageRecord record{&data_};
        return send(kVisualPluginRenderMessage, &record);
    }

private:
    static void OnFrame(CGrafPtr, const Rect *, SInt32, void *self) { ++static_cast<Instance *>(self)->frames_; }

    qvtest::TestHost host_;
    CGrafPtr port_;
    SInt16 width_, height_;
    bool ok_ = false;
    long frames_ = 0;
    RenderData data_{};
};

class HostileMessages : public ::testing::Test {
protected:
    void SetUp() override { glguard::ResetCounts(); }
    void TearDown() override
    {
        EXPECT_EQ(glguard::GetStats().violations, 0) << glguard::FirstViolation();
        EXPECT_EQ(QVAGL_LiveContextCount(), 0);
        EXPECT_EQ(QVAGL_LiveFramebufferCount(), 0);
        EXPECT_EQ(glguard::GetStats().liveTextures, 0);
        EXPECT_EQ(glguard::GetStats().texturesDroppedWithContext, 0);
    }
};

// A message whose promise is broken in a way the handler can see.
struct BrokenMessage {
    const char *name;
    OSType code;
    bool withRefCon;
    // Builds the record (or returns null) in storage that lives for the call.
    std::function<void *(Instance &, std::vector<UInt8> &)> record;
};

void *NoRecord(Instance &, std::vector<UInt8> &)
{
    return nullptr;
}

template <typename T> T *Zeroed(std::vector<UInt8> &storage)
{
    storage.assign(sizeof(T), 0);
    return reinterpret_cast<T *>(storage.data());
}

const BrokenMessage kBroken[] = {
    {"show without a record", kVisualPluginShowWindowMessage, true, NoRecord},
    {"show without a port", kVisualPluginShowWindowMessage, true,
     [](Instance &i, std::vector<UInt8> &s) -> void * {
         auto *w = Zeroed<WindowRecord>(s);
         w->drawRect = i.whole();
         return w;
     }},
    {"swin without a record", kVisualPluginSetWindowMessage, true, NoRecord},
    {"vrnd without a record", kVisualPluginRenderMessage, true, NoRecord},
    {"vrnd without render data", kVisualPluginRenderMessage, true,
     [](Instance &, std::vector<UInt8> &s) -> void * { return Zeroed<RenderMessageRecord>(s); }},
    {"vevt without a record", kVisualPluginEventMessage, true, NoRecord},
    {"vevt without an event", kVisualPluginEventMessage, true,
     [](Instance &, std::vector<UInt8> &s) -> void * { return Zeroed<EventMessageRecord>(s); }},
    {"show without the instance", kVisualPluginShowWindowMessage, false,
     [](Instance &i, std::vector<UInt8> &s) -> void * {
         auto *w = Zeroed<WindowRecord>(s);
         *w = WindowRecord{i.port(), i.whole()};
         return w;
     }},
    {"swin without the instance", kVisualPluginSetWindowMessage, false,
     [](Instance &i, std::vector<UInt8> &s) -> void * {
         auto *w = Zeroed<WindowRecord>(s);
         *w = WindowRecord{i.port(), i.whole()};
         return w;
     }},
    {"hide without the instance", kVisualPluginHideWindowMessage, false, NoRecord},
};

// In each state a host can leave the instance in, every broken message
// answers non-zero, draws nothing and leaves the state as it was.
TEST_F(HostileMessages, BrokenPromisesAnswerNonZeroAndChangeNothing)
{
    const char *stages[] = {"initialised", "shown", "hidden"};
    for (int stage = 0; stage < 3; ++stage) {
        Instance instance(48, 32);
        ASSERT_TRUE(instance.ok());
        if (stage >= 1) {
            ASSERT_EQ(instance.show(), noErr);
        }
        if (stage == 2) {
            ASSERT_EQ(instance.send(kVisualPluginHideWindowMessage, nullptr), noErr);
        }

        for (const BrokenMessage &m : kBroken) {
            SCOPED_TRACE(std::string(stages[stage]) + ": " + m.name);
            std::vector<UInt8> storage;
            void *record = m.record(instance, storage);
            VisualPluginState before;
            std::memcpy(&before, instance.state(), sizeof before);
            const long frames = instance.frames();
            const OSStatus status =
                m.withRefCon ? instance.send(m.code, record) : instance.sendWithoutRefCon(m.code, record);
            EXPECT_NE(status, noErr);
            EXPECT_EQ(std::memcmp(&before, instance.state(), sizeof before), 0) << "the state changed";
            EXPECT_EQ(instance.frames(), frames);
        }
        // What the handler answers for the messages it tolerates without the
        // instance stays as it is.
        EXPECT_EQ(instance.sendWithoutRefCon(kVisualPluginRenderMessage, nullptr), noErr);
        EXPECT_EQ(instance.sendWithoutRefCon(kVisualPluginIdleMessage, nullptr), noErr);
        EXPECT_EQ(instance.sendWithoutRefCon(kPluginCleanupMessage, nullptr), noErr);
        // The instance still works as before.
        if (stage == 1) {
            const long frames = instance.frames();
            EXPECT_EQ(instance.render(), noErr);
            EXPECT_EQ(instance.frames(), frames + 1);
        }
    }
}

// Frames and rectangle changes for an instance that is not shown touch no GL
// state (the guard sees the instance has no context) and draw nothing.
TEST_F(HostileMessages, FramesAndRectanglesOutsideAShowingDrawNothing)
{
    Instance instance(48, 32);
    ASSERT_TRUE(instance.ok());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "before the first show" : "after hide");
        EXPECT_EQ(instance.render(), noErr);
        EXPECT_EQ(instance.send(kVisualPluginIdleMessage, nullptr), noErr);
        EXPECT_EQ(instance.swin(Rect{0, 0, 10, 10}), noErr);
        EXPECT_EQ(instance.send(kVisualPluginHideWindowMessage, nullptr), noErr);
        EXPECT_EQ(instance.frames(), round == 0 ? 0 : 1);
        if (round == 0) {
            ASSERT_EQ(instance.show(), noErr);
            ASSERT_EQ(instance.send(kVisualPluginHideWindowMessage, nullptr), noErr);
        }
    }
}

// Two instances shown at once: each frame goes to the instance's own port,
// drawn in its own context, even when the other instance was shown last or
// its "hide" left no context current.
TEST_F(HostileMessages, TwoShownInstancesDrawInTheirOwnContexts)
{
    Instance a(48, 32), b(40, 40);
    ASSERT_TRUE(a.ok());
    ASSERT_TRUE(b.ok());
    ASSERT_EQ(a.show(), noErr);
    ASSERT_EQ(b.show(), noErr); // b's context is now current
    ASSERT_EQ(QVAGL_LiveContextCount(), 2);

    const long aFrames = a.frames(), bFrames = b.frames();
    EXPECT_EQ(a.render(), noErr);
    EXPECT_EQ(a.send(kVisualPluginIdleMessage, nullptr), noErr);
    EXPECT_EQ(a.swin(Rect{2, 2, 30, 46}), noErr);
    EXPECT_EQ(a.frames(), aFrames + 3);
    EXPECT_EQ(b.frames(), bFrames);
    EXPECT_EQ(b.render(), noErr);
    EXPECT_EQ(b.frames(), bFrames + 1);

    // b's "hide" makes no context current; a draws on.
    EXPECT_EQ(b.send(kVisualPluginHideWindowMessage, nullptr), noErr);
    EXPECT_EQ(a.render(), noErr);
    EXPECT_EQ(a.frames(), aFrames + 4);
    EXPECT_EQ(QVAGL_LiveContextCount(), 1);

    // Shown again, b's texture is made in b's context and a's is deleted in
    // a's (the guard checks each call; the texture counts below check the
    // names went where they belong).
    ASSERT_EQ(b.show(), noErr);
    EXPECT_EQ(glguard::GetStats().liveTextures, 2);
    EXPECT_EQ(a.send(kVisualPluginHideWindowMessage, nullptr), noErr);
    EXPECT_EQ(glguard::GetStats().liveTextures, 1);
    EXPECT_EQ(b.render(), noErr);
    EXPECT_EQ(b.send(kVisualPluginHideWindowMessage, nullptr), noErr);
}

// "clr " of one shown instance while the other's context is current releases
// the right texture and context.
TEST_F(HostileMessages, EndingOneShownInstanceLeavesTheOtherDrawing)
{
    auto a = std::make_unique<Instance>(48, 32);
    Instance b(40, 40);
    ASSERT_TRUE(a->ok());
    ASSERT_TRUE(b.ok());
    ASSERT_EQ(a->show(), noErr);
    ASSERT_EQ(b.show(), noErr);
    a.reset(); // "hide" then "clr " while b's context is current
    EXPECT_EQ(QVAGL_LiveContextCount(), 1);
    EXPECT_EQ(glguard::GetStats().liveTextures, 1);
    const long frames = b.frames();
    EXPECT_EQ(b.render(), noErr);
    EXPECT_EQ(b.frames(), frames + 1);
}

// Rectangles at the limits of their 16-bit fields: answered like any other,
// drawn where they can be, and the framebuffer never larger than the GL can
// hold (the platform would otherwise reserve gigabytes for its read-back).
// A usable rectangle afterwards draws into the port again.
TEST_F(HostileMessages, ExtremeRectanglesAreAnsweredAndRecoveredFrom)
{
    struct Case {
        const char *name;
        Rect rect;
    };
    const Case cases[] = {
        {"the whole 16-bit plane", Rect{-32768, -32768, 32767, 32767}},
        {"wider than any framebuffer", Rect{0, -32768, 32, 32767}},
        {"taller than any framebuffer", Rect{-32768, 0, 32767, 48}},
        {"far outside the port", Rect{32000, 32000, 32032, 32048}},
        {"upside down", Rect{32, 48, 0, 0}},
        {"empty", Rect{10, 10, 10, 10}},
        {"one pixel", Rect{5, 5, 6, 6}},
        {"reaching past the corner", Rect{-16, -16, 16, 16}},
    };
    constexpr size_t kBudget = 64u << 20; // far above what a 48 x 32 port needs
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Instance instance(48, 32);
        ASSERT_TRUE(instance.ok());
        const size_t before = soak::HeapInUse();
        EXPECT_EQ(instance.show(c.rect), noErr);
        EXPECT_EQ(instance.render(), noErr);
        EXPECT_EQ(instance.swin(c.rect), noErr);
        EXPECT_LT(soak::HeapInUse(), before + kBudget);

        const long frames = instance.frames();
        EXPECT_EQ(instance.swin(instance.whole()), noErr);
        EXPECT_EQ(instance.render(), noErr);
        EXPECT_EQ(instance.frames(), frames + 2);
        EXPECT_EQ(instance.send(kVisualPluginHideWindowMessage, nullptr), noErr);
    }
}

// A host whose callback throws (a host written in C++): the exception stops
// at the bundle's boundary. "init" still makes exactly one instance, whose
// refcon the host gets with status 0 (the full-screen wish is advisory, its
// answer never looked at), so nothing is allocated that "clr " cannot free;
// key events answer non-zero and change nothing.
TEST_F(HostileMessages, HostCallbackThatThrowsLeavesNothingBehind)
{
    qvtest::TestHost host;
    ASSERT_NE(host.entry(), nullptr);
    ASSERT_EQ(host.initModule(), noErr);
    const long statesBefore = QVPlatform_LivePtrCount();
    host.onCall = [](OSType, HostCallRecord *) { throw std::runtime_error("the host's callback failed"); };

    EXPECT_EQ(host.entry()(kPluginInitMessage, nullptr, nullptr), paramErr);
    {
        glguard::Scope noGL(glguard::Expect::NoGL);
        EXPECT_EQ(host.initInstance(), noErr);
    }
    ASSERT_NE(host.refCon(), nullptr);
    EXPECT_EQ(QVPlatform_LivePtrCount(), statesBefore + 1);

    EventRecord key{};
    key.what = keyDown;
    key.message = 'm';
    EventMessageRecord event{&key};
    VisualPluginState before;
    std::memcpy(&before, host.refCon(), sizeof before);
    EXPECT_NE(host.send(kVisualPluginEventMessage, &event), noErr);
    EXPECT_EQ(std::memcmp(&before, host.refCon(), sizeof before), 0);

    host.onCall = nullptr;
    EXPECT_EQ(host.cleanupInstance(), noErr);
    EXPECT_EQ(QVPlatform_LivePtrCount(), statesBefore);
}

} // namespace
