// The handler against a host that breaks its promises, and show/hide cycles
// that must leave nothing behind. Every message goes through the test host
// and its GL guard, which aborts on a GL call made while the context of the
// instance getting the message is not current, or made at all without one.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/MacMemory.h"
#include "support/alloc_counter.h"
#include "support/test_host.h"

using qvtest::FourCC;
using qvtest::TestHost;

namespace {

enum Record { kNone, kWindow, kNoPort, kRender, kNoRenderData, kEvent, kNoEvent };
enum Draws { kNever, kWhenShown, kAlways };

// The records of one message, built for `host`.
struct Records {
    RenderData data{};
    EventRecord key{keyDown, 'm', 0, {0, 0}, 0};
    WindowRecord window{};
    RenderMessageRecord render{};
    EventMessageRecord event{};
    void *of(Record kind, const TestHost &host)
    {
        window = WindowRecord{kind == kNoPort ? nullptr : host.port(), host.whole()};
        render.renderData = kind == kRender ? &data : nullptr;
        event.event = kind == kEvent ? &key : nullptr;
        return kind == kNone ? nullptr : kind <= kNoPort ? static_cast<void *>(&window)
                                     : kind <= kNoRenderData ? static_cast<void *>(&render) : &event;
    }
};

// Each message in each state a host can leave an instance in, while a second
// shown instance's context is current (or, in the last state, none is, as a
// "hide" of another instance leaves it): the answer, the frames drawn, the
// state left as it was where nothing may change it, and the GL objects alive.
TEST(HostileMessages, EveryMessageInEveryStateOfTwoInstances)
{
    struct Row {
        const char *name, *code;
        bool withInstance;
        Record record;
        OSStatus status;
        Draws draws;
        bool keepsUnlessShown; // leaves the state as it was while not shown
    } const rows[] = {
        {"show without a record", "show", true, kNone, paramErr, kNever, true},
        {"show without a port", "show", true, kNoPort, paramErr, kNever, true},
        {"swin without a record", "swin", true, kNone, paramErr, kNever, true},
        {"vrnd without a record", "vrnd", true, kNone, paramErr, kNever, true},
        {"vrnd without render data", "vrnd", true, kNoRenderData, paramErr, kNever, true},
        {"vevt without a record", "vevt", true, kNone, paramErr, kNever, true},
        {"vevt without an event", "vevt", true, kNoEvent, paramErr, kNever, true},
        {"show without the instance", "show", false, kWindow, paramErr, kNever, true},
        {"swin without the instance", "swin", false, kWindow, paramErr, kNever, true},
        {"hide without the instance", "hide", false, kNone, paramErr, kNever, true},
        {"vevt without the instance", "vevt", false, kEvent, paramErr, kNever, true},
        {"vrnd without the instance", "vrnd", false, kRender, noErr, kNever, true},
        {"null without the instance", "null", false, kNone, noErr, kNever, true},
        {"clr without the instance", "clr ", false, kNone, noErr, kNever, true},
        {"vrnd", "vrnd", true, kRender, noErr, kWhenShown, true},
        {"null", "null", true, kNone, noErr, kWhenShown, true},
        {"swin", "swin", true, kWindow, noErr, kWhenShown, false},
        {"hide", "hide", true, kNone, noErr, kNever, true},
        {"show", "show", true, kWindow, noErr, kAlways, false},
        {"clr", "clr ", true, kNone, noErr, kNever, false},
    };
    const char *const states[] = {"initialised", "shown", "hidden", "shown, no context current"};
    TestHost other(40, 40);
    ASSERT_TRUE(other.open());
    ASSERT_EQ(other.show(), noErr);
    for (int state = 0; state < 4; ++state) {
        for (const Row &r : rows) {
            SCOPED_TRACE(std::string(states[state]) + ": " + r.name);
            TestHost host(48, 32);
            ASSERT_TRUE(host.open());
            ASSERT_TRUE(state == 0 || host.show() == noErr);
            ASSERT_TRUE(state != 2 || host.hide() == noErr);
            ASSERT_EQ(other.idle(), noErr); // the other instance's context is current
            if (state == 3)
                aglSetCurrentContext(nullptr);
            const bool shown = state == 1 || state == 3;

            Records records;
            void *record = records.of(r.record, host);
            VisualPluginState before;
            std::memcpy(&before, host.state(), sizeof before);
            const long frames = host.frames, otherFrames = other.frames;
            const OSType code = FourCC(r.code);
            const OSStatus status = !r.withInstance         ? host.sendWithout(code, record)
                                    : code == FourCC("clr ") ? host.cleanupInstance()
                                                             : host.send(code, record);
            EXPECT_EQ(status, r.status);
            EXPECT_EQ(host.frames - frames, r.draws == kAlways || (r.draws == kWhenShown && shown) ? 1 : 0);
            EXPECT_EQ(other.frames, otherFrames);
            const bool keeps = r.status != noErr || !r.withInstance || (r.keepsUnlessShown && !shown);
            EXPECT_TRUE(!keeps || std::memcmp(&before, host.state(), sizeof before) == 0) << "the state changed";
            EXPECT_EQ(qvtest::Unaccounted({&host, &other}), "");
            ASSERT_EQ(other.render(200), noErr); // and the other instance draws on
            EXPECT_EQ(other.frames, otherFrames + 1);
        }
    }
    EXPECT_GT(qvtest::GLCallsSeen(), 0) << "the GL guard saw no call: is the program built with ENABLE_EXPORTS?";
}

// Rectangles at the limits of their 16-bit fields are answered like any
// other and drawn where they can be; the framebuffer is never larger than the
// GL can hold (its read-back would reserve gigabytes). A usable rectangle
// afterwards draws into the port again.
TEST(HostileMessages, ExtremeRectanglesAreAnsweredAndRecoveredFrom)
{
    const Rect rects[] = {{-32768, -32768, 32767, 32767}, {0, -32768, 32, 32767}, {-32768, 0, 32767, 48},
                          {32000, 32000, 32032, 32048},   {32, 48, 0, 0},         {10, 10, 10, 10},
                          {5, 5, 6, 6},                   {-16, -16, 16, 16}};
    for (const Rect &rect : rects) {
        SCOPED_TRACE(std::to_string(rect.top) + "," + std::to_string(rect.left) + "," + std::to_string(rect.bottom) +
                     "," + std::to_string(rect.right));
        TestHost host(48, 32);
        ASSERT_TRUE(host.open());
        const size_t heap = alloc_counter::HeapInUse();
        EXPECT_EQ(host.show(rect), noErr);
        EXPECT_EQ(host.render(0), noErr);
        EXPECT_EQ(host.swin(rect), noErr);
        EXPECT_LT(alloc_counter::HeapInUse(), heap + (64u << 20));
        const long frames = host.frames;
        EXPECT_EQ(host.swin(host.whole()), noErr);
        EXPECT_EQ(host.render(0), noErr);
        EXPECT_EQ(host.frames, frames + 2);
    }
}

// Show/hide cycles on one host ("clr " and a fresh "init" every tenth):
// every showing starts from the same first frame, draws its five frames, and
// leaves no GL object, state block or texture name behind, and the heap does
// not grow from cycle to cycle. bench/render runs 10,000 of them.
TEST(Soak, ShowHideCyclesLeaveNothingBehind)
{
#ifdef QV_ASAN
    constexpr int kCycles = 60; // LeakSanitizer checks the process at exit as well
#else
    constexpr int kCycles = 300;
#endif
    // Heap measured once the GL stack's caches have filled, at the same point
    // of the "clr "/"init" rhythm as the end; what may come and go between
    // the two without being a leak is a few pages, less than one instance
    // state per "init" or one read-back buffer per showing over the run.
    constexpr int kWarmCycles = 20;
    constexpr size_t kHeapSlack = 64 * 1024;
    qvtest::FixClock(7);
    TestHost host(64, 36);
    ASSERT_TRUE(host.open());
    std::vector<UInt32> first;
    size_t warm = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        const long frames = host.frames;
        ASSERT_EQ(host.show(), noErr) << "cycle " << cycle;
        const UInt32 *pixels = reinterpret_cast<const UInt32 *>((*QVPort_GetPixMap(host.port()))->baseAddr);
        const std::vector<UInt32> frame(pixels, pixels + 64 * 36); // packed rows
        if (cycle == 0)
            first = frame;
        ASSERT_TRUE(frame == first) << "cycle " << cycle << ": the first frame differs";
        ASSERT_TRUE(host.render(0) == noErr && host.render(0) == noErr && host.idle() == noErr);
        ASSERT_TRUE(host.swin(Rect{2, 3, 35, 60}) == noErr && host.hide() == noErr);
        ASSERT_EQ(host.frames - frames, 5) << "cycle " << cycle;
        ASSERT_TRUE(cycle % 10 != 9 || (host.cleanupInstance() == noErr && host.initInstance() == noErr));
        host.calls.clear();
        ASSERT_EQ(qvtest::Unaccounted({&host}), "") << "after cycle " << cycle;
        if (cycle + 1 == kWarmCycles)
            warm = alloc_counter::HeapInUse();
    }
    EXPECT_LE(alloc_counter::HeapInUse(), warm + kHeapSlack);
}

} // namespace
