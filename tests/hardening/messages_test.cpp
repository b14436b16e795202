// The handler against a host that breaks its promises, with the test host's
// GL guard watching. (Long show/hide cycles are the render benchmark's soak.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/mac_memory.h"
#include "support/alloc_counter.h"
#include "support/test_host.h"

using qvtest::TestHost;

namespace {

enum Record { kNone, kWindow, kNoPort, kRender, kNoRenderData, kEvent, kNoEvent };
enum Draws { kNever, kWhenShown, kAlways };
const Rect kPlane{-32768, -32768, 32767, 32767};

// Each message in each state a host can leave an instance in, while a second
// instance is shown and its context current (or, in the last state, none is,
// as another instance's "hide" leaves it): the answer, the frames drawn, the
// state left byte for byte where nothing may change it, what is alive, and
// no framebuffer larger than the GL can hold (its read-back would take
// gigabytes). Rectangles at the limits of 16 bits are answered like others.
TEST(HostileMessages, EveryMessageInEveryStateOfTwoInstances)
{
    const struct Row {
        const char *code;
        bool withInstance;
        Record record;
        OSStatus status;
        Draws draws;
        bool keepsUnlessShown; // leaves the state as it was while not shown
        Rect rect;             // of the window record; all zero: the whole port
    } rows[] = {
        {"show", true, kNone, paramErr, kNever, true, {}}, {"show", true, kNoPort, paramErr, kNever, true, {}},
        {"swin", true, kNone, paramErr, kNever, true, {}}, {"vrnd", true, kNone, paramErr, kNever, true, {}},
        {"vrnd", true, kNoRenderData, paramErr, kNever, true, {}}, {"vevt", true, kNone, paramErr, kNever, true, {}},
        {"vevt", true, kNoEvent, paramErr, kNever, true, {}}, {"show", false, kWindow, paramErr, kNever, true, {}},
        {"swin", false, kWindow, paramErr, kNever, true, {}}, {"hide", false, kNone, paramErr, kNever, true, {}},
        {"vevt", false, kEvent, paramErr, kNever, true, {}}, {"vrnd", false, kRender, noErr, kNever, true, {}},
        {"null", false, kNone, noErr, kNever, true, {}}, {"clr ", false, kNone, noErr, kNever, true, {}},
        {"vrnd", true, kRender, noErr, kWhenShown, true, {}}, {"null", true, kNone, noErr, kWhenShown, true, {}},
        {"swin", true, kWindow, noErr, kWhenShown, false, {}}, {"hide", true, kNone, noErr, kNever, true, {}},
        {"show", true, kWindow, noErr, kAlways, false, {}}, {"clr ", true, kNone, noErr, kNever, false, {}},
        {"show", true, kWindow, noErr, kAlways, false, kPlane},
        {"show", true, kWindow, noErr, kAlways, false, {10, 10, 10, 10}},
        {"swin", true, kWindow, noErr, kWhenShown, false, kPlane},
        {"swin", true, kWindow, noErr, kWhenShown, false, {32, 48, 0, 0}},
        {"swin", true, kWindow, noErr, kNever, false, {32000, 32000, 32032, 32048}},
        {"swin", true, kWindow, noErr, kWhenShown, false, {0, -32768, 32, 32767}},
    };
    const char *const states[] = {"initialised", "shown", "hidden", "shown, no context current"};
    const char *const records[] = {"no record", "a window", "no port", "render data", "no render data", "an event",
                                   "no event"};
    TestHost other(40, 40);
    ASSERT_TRUE(other.open() && other.show() == noErr);
    for (int state = 0; state < 4; ++state) {
        for (const Row &r : rows) {
            SCOPED_TRACE(testing::Message() << states[state] << ": " << r.code << (r.withInstance ? ", " : " alone, ")
                                            << records[r.record] << ", rect " << r.rect.top << "," << r.rect.left << ","
                                            << r.rect.bottom << "," << r.rect.right);
            TestHost host(48, 32);
            ASSERT_TRUE(host.open() && (state == 0 || host.show() == noErr) && (state != 2 || host.hide() == noErr));
            ASSERT_EQ(other.idle(), noErr); // the other instance's context is current
            if (state == 3)
                aglSetCurrentContext(nullptr);
            const bool shown = state == 1 || state == 3;

            RenderData data{};
            EventRecord key{keyDown, 'm', 0, {0, 0}, 0};
            const bool whole = !(r.rect.top | r.rect.left | r.rect.bottom | r.rect.right);
            WindowRecord window{r.record == kNoPort ? nullptr : host.port(), whole ? host.whole() : r.rect};
            RenderMessageRecord render{r.record == kRender ? &data : nullptr};
            EventMessageRecord event{r.record == kEvent ? &key : nullptr};
            void *const record[] = {nullptr, &window, &window, &render, &render, &event, &event};
            const VisualPluginState before = *host.state();
            const long frames = host.frames, otherFrames = other.frames;
            const size_t heap = qvtest::alloc_counter::HeapInUse();
            const OSType code = qvtest::FourCC(r.code);
            const OSStatus status = !r.withInstance                 ? host.sendWithout(code, record[r.record])
                                    : code == qvtest::FourCC("clr ") ? host.cleanupInstance()
                                                                     : host.send(code, record[r.record]);
            // Before the first "show" a render tick draws nothing and answers 0, whatever its record.
            const OSStatus want = state == 0 && r.withInstance && code == qvtest::FourCC("vrnd") ? noErr : r.status;
            EXPECT_EQ(status, want);
            EXPECT_EQ(host.frames - frames, r.draws == kAlways || (r.draws == kWhenShown && shown) ? 1 : 0);
            EXPECT_EQ(other.frames, otherFrames);
            const bool keeps = want != noErr || !r.withInstance || (r.keepsUnlessShown && !shown);
            EXPECT_TRUE(!keeps || std::memcmp(&before, host.state(), sizeof before) == 0) << "the state changed";
            EXPECT_EQ(qvtest::Unaccounted({&host, &other}), "");
            EXPECT_LT(qvtest::alloc_counter::HeapInUse(), heap + (64u << 20));
            ASSERT_EQ(other.render(200), noErr); // and the other instance draws on
            EXPECT_EQ(other.frames, otherFrames + 1);
        }
    }
    EXPECT_GT(qvtest::GLCallsSeen(), 0) << "the GL guard saw no call: is the program built with ENABLE_EXPORTS?";
}

} // namespace
