// The bundle drawing real frames through its handler (headless GL): motion,
// background, viewport and camera, "show" when a step of it fails, no
// allocation per frame, and frame 300 of a fixed run against its reference.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/alloc_counter.h"
#include "support/image_io.h"
#include "support/test_host.h"

using qvtest::TestHost;

namespace {

// From the values "show" sets, over idle frames (the show frame is 1): the
// spin turns round on each rebound from the floor, velX on each side bound.
TEST(Motion, BouncesAndReversalsComeOnTheirFrames)
{
    TestHost host(48, 32);
    ASSERT_TRUE(host.open());
    ASSERT_EQ(host.show(), noErr);
    EXPECT_EQ(host.state()->posY, 3.0f); // the show frame fell by velY = 0
    EXPECT_EQ(host.state()->velY, static_cast<float>(0.0 - 0.001));
    std::vector<int> spin, velX;
    for (int frame = 2; frame <= 700; ++frame) {
        const VisualPluginState before = *host.state();
        ASSERT_EQ(host.idle(), noErr);
        if ((host.state()->spin < 0) != (before.spin < 0))
            spin.push_back(frame);
        if ((host.state()->velX < 0) != (before.velX < 0))
            velX.push_back(frame);
    }
    EXPECT_EQ(spin, (std::vector<int>{78, 233, 388, 543, 698}));
    EXPECT_EQ(velX, (std::vector<int>{201, 469}));
}

// A new peak of the bass level (the 40 lowest entries of channel 0) reverses
// the drift; the peak memory starts below zero when the bundle is loaded and
// decays a little each frame.
TEST(Motion, OnlyTheFortyLowestEntriesOfChannelZeroMakeAPeak)
{
    const struct Row {
        const char *what;
        UInt8 channels, low39, entry39, rest;
        bool reverses;
    } rows[] = {
        {"no spectrum channel: no data, even below the first peak", 0, 255, 255, 255, false},
        {"the first level after loading", 2, 100, 100, 0, true},
        {"loud beyond entry 39 and in channel 1 only", 2, 0, 0, 255, false},
        {"one louder byte among the forty", 2, 100, 255, 255, true},
        {"a weaker level after the peak", 2, 100, 100, 0, false},
    };
    TestHost host(48, 32);
    ASSERT_TRUE(host.fresh()) << "the renderer's statics must start afresh";
    ASSERT_TRUE(host.open() && host.show() == noErr);
    for (const Row &r : rows) {
        RenderData data{};
        std::memset(data.spectrumData, r.rest, sizeof data.spectrumData);
        std::memset(data.spectrumData[0], r.low39, 39);
        data.spectrumData[0][39] = r.entry39;
        data.numSpectrumChannels = r.channels;
        const float velX = host.state()->velX;
        ASSERT_EQ(host.render(data), noErr);
        EXPECT_EQ(host.state()->velX, r.reverses ? -velX : velX) << r.what;
    }
}

TEST(Background, FollowsFiveSecondSlotsOfTheClock)
{
    const struct {
        time_t t;
        int slot;
    } rows[] = {{0, 0},  {4, 0},  {5, 1}, {9, 1}, {10, 2}, {17, 3}, {20, 4}, {24, 4}, {25, 0}, {1000000007, 1},
                {-1, 0}, {-5, 4}, {-26, 0}};
    TestHost host(16, 16);
    ASSERT_TRUE(host.open() && host.show() == noErr);
    for (const auto &r : rows) {
        qvtest::FixClock(r.t);
        ASSERT_EQ(host.idle(), noErr);
        EXPECT_EQ(host.state()->colorIndex, r.slot) << "t = " << r.t;
    }
}

// The world rectangle of the camera: left, right, bottom, top.
void ExpectWorld(const float (&world)[4])
{
    GLfloat m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_FLOAT_EQ(m[0], 2.0f / (world[1] - world[0]));
    EXPECT_FLOAT_EQ(m[5], 2.0f / (world[3] - world[2]));
    EXPECT_TRUE(m[12] == 0.0f && m[13] == 0.0f);
}

// "swin" in a 1000 x 1000 port: the buffer rectangle in AGL's bottom-up
// coordinates, the viewport of its size, a camera whose shorter side spans
// 20 units, and one frame into the rectangle. A rectangle without area keeps
// the last usable ones (AGL refuses it, which is printed); so does a camera
// asked for a ratio no view has.
TEST(Viewport, FollowsTheRectangleAndKeepsTheLastUsableOne)
{
    const struct Row {
        Rect rect;
        GLint buffer[4];
        float world[4];
        Rect frame;
        const char *printed;
    } rows[] = {
        {{100, 50, 500, 850}, {50, 500, 800, 400}, {-20, 20, -10, 10}, {100, 50, 500, 850}, ""},
        {{0, 0, 800, 400}, {0, 200, 400, 800}, {-10, 10, -20, 20}, {0, 0, 800, 400}, ""},
        {{10, 20, 310, 320}, {20, 690, 300, 300}, {-10, 10, -10, 10}, {10, 20, 310, 320}, ""},
        {{0, -250, 1000, 1000}, {-250, 0, 1250, 1000}, {-12.5f, 12.5f, -10, 10}, {0, 0, 1000, 1000}, ""},
        {{50, 10, 50, 300}, {-250, 0, 1250, 1000}, {-12.5f, 12.5f, -10, 10}, {0, 0, 1000, 1000},
         "setViewport: aglSetInteger AGL_BUFFER_RECT != ok\n"},
    };
    TestHost host(1000, 1000);
    ASSERT_TRUE(host.open() && host.show() == noErr);
    for (const Row &r : rows) {
        SCOPED_TRACE(std::to_string(r.rect.top) + "," + std::to_string(r.rect.left) + "," +
                     std::to_string(r.rect.bottom) + "," + std::to_string(r.rect.right));
        const long frames = host.frames;
        testing::internal::CaptureStdout();
        ASSERT_EQ(host.swin(r.rect), noErr);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), r.printed);
        GLint buffer[4], viewport[4];
        ASSERT_TRUE(aglGetInteger(host.state()->aglContext, AGL_BUFFER_RECT, buffer));
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(std::vector<GLint>(buffer, buffer + 4), std::vector<GLint>(r.buffer, r.buffer + 4));
        EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, r.buffer[2], r.buffer[3]}));
        ExpectWorld(r.world);
        EXPECT_EQ(host.frames, frames + 1);
        EXPECT_EQ(0, std::memcmp(&host.lastFrame, &r.frame, sizeof r.frame));
    }
    const auto posCamera = reinterpret_cast<void (*)(float, float, float, float, float, float, float)>(
        host.symbol("PosCamera"));
    for (float aspect : {0.0f, -1.0f, NAN, INFINITY}) {
        posCamera(aspect, 0, 0, 0, 0, 0, 0);
        ExpectWorld(rows[4].world);
    }
}

// "show" when a step fails: without a current context (steps 1 to 4 of the
// set-up) or a scene it releases what it built and answers -3000 - step or
// -108, and frames draw nothing until a "show" succeeds; the last two steps
// leave the context current and the visual shows, unpaced. A failing step of
// the viewport prints its line, and the frame still comes.
TEST(Show, FailingStepsAnswerOrGoOn)
{
    const QVAGLCall kNone = QVAGLCall(0);
    const struct Row {
        const char *what;
        QVAGLCall failing;
        int times;
        long figureFails; // the number of the figure whose allocation fails, or -1
        OSStatus status;
        SInt32 interval;
        const char *printed;
    } rows[] = {
        {"nothing", kNone, 0, -1, noErr, 1, ""},
        {"no pixel format", kQVAGLChoosePixelFormat, 1, -1, -3001, 0, ""},
        {"no context", kQVAGLCreateContext, 1, -1, -3002, 0, ""},
        {"not attached to the port", kQVAGLSetDrawable, 1, -1, -3003, 0, ""},
        {"not made current", kQVAGLSetCurrentContext, 1, -1, -3004, 0, ""},
        {"the update", kQVAGLUpdateContext, 1, -1, noErr, 0, ""},
        {"the swap interval", kQVAGLSetInteger, 1, -1, noErr, 0, ""},
        {"the viewport's update too", kQVAGLUpdateContext, 2, -1, noErr, 0, "reshapeAGL: aglUpdateContext != ok\n"},
        {"the buffer rectangle too", kQVAGLSetInteger, 2, -1, noErr, 0,
         "setViewport: aglSetInteger AGL_BUFFER_RECT != ok\n"},
        {"enabling the buffer rectangle", kQVAGLEnable, 1, -1, noErr, 1, "unable to enable AGL_BUFFER_RECT\n"},
        {"the first figure", kNone, 0, 0, memFullErr, 0, ""},
        {"the last figure", kNone, 0, 56, memFullErr, 0, ""},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(std::string("failing: ") + r.what);
        TestHost host(64, 48);
        ASSERT_TRUE(host.open());
        QVAGL_FailCall(r.failing, r.times);
        alloc_counter::Start();
        alloc_counter::FailNothrowFrom(r.figureFails);
        testing::internal::CaptureStdout();
        EXPECT_EQ(host.show(), r.status);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), r.printed);
        alloc_counter::Stop();
        QVAGL_ResetFailures();
        const VisualPluginState *s = host.state();
        if (r.status == noErr) {
            EXPECT_EQ(aglGetCurrentContext(), s->aglContext);
            EXPECT_TRUE(host.frames == 1 && host.lastInterval == r.interval && host.lastFrame.right == 64);
            continue;
        }
        EXPECT_TRUE(!s->aglContext && !s->polys && !s->msgTexture && !s->ready);
        EXPECT_TRUE(!aglGetCurrentContext() && !QVAGL_LiveContextCount() && !QVAGL_LivePixelFormatCount());
        EXPECT_TRUE(host.render(255) == noErr && host.idle() == noErr && host.frames == 0);
        EXPECT_EQ(host.show(), noErr); // once the failure is gone
        EXPECT_EQ(host.frames, 1);
    }
}

// The bundle and the platform library allocate nothing per frame (the GL
// driver may); the count does see them where they do: "swin" to a new size
// gives the framebuffer new storage.
TEST(Allocation, FramesAllocateNothingInTheBundleOrPlatform)
{
    if (!alloc_counter::kSeesCAllocator)
        GTEST_SKIP() << "the C allocator belongs to AddressSanitizer in this build";
    TestHost host(640, 360);
    ASSERT_TRUE(host.open() && host.show() == noErr && host.idle() == noErr);
    alloc_counter::Watch("quorvanta"); // quorvanta.so, libquorvanta-platform.so
    alloc_counter::Start();
    for (int i = 0; i < 120; ++i)
        ASSERT_EQ(i % 3 ? host.render(static_cast<UInt8>(i * 2)) : host.idle(), noErr);
    const size_t perFrames = alloc_counter::WatchedAllocations();
    ASSERT_EQ(host.swin(Rect{0, 0, 200, 300}), noErr);
    alloc_counter::Stop();
    EXPECT_EQ(perFrames, 0u);
    EXPECT_GT(alloc_counter::WatchedAllocations(), 0u);
}

// Frame 300 of a fixed run against the reference picture: a 480 x 270 port,
// the clock in the third colour slot, a spectrum that swells and falls with a
// burst every 64 messages (peaks reverse the drift, the scale rises and
// settles), every fifth message an idle tick. A failing run leaves its frame
// and the difference (times 8) in the output folder.
TEST(GoldenFrame, Frame300MatchesReference)
{
    constexpr int kTolerance = 3;         // per channel: rounding of another GL build
    constexpr double kEdgeShare = 0.005;  // pixels beyond it: the edges of shapes
    qvtest::FixClock(12);
    TestHost host(480, 270);
    ASSERT_TRUE(host.fresh()) << "the renderer's statics must start afresh";
    ASSERT_TRUE(host.open() && host.show() == noErr);
    for (int message = 1; message < 300; ++message) {
        RenderData data{};
        data.numSpectrumChannels = 2;
        for (int i = 0; i < 40; ++i)
            data.spectrumData[0][i] = static_cast<UInt8>(message % 64 < 3 ? 230 - i : (message * 7 + i * 13) % 90);
        ASSERT_EQ(message % 5 == 0 ? host.idle() : host.render(data), noErr);
    }
    ASSERT_EQ(host.frames, 300);
    const rendertest::Image actual = rendertest::CopyPort(host.port());
    const std::string golden = std::string(QV_RENDER_GOLDEN_DIR) + "/frame300.png";
    if (std::getenv("QV_UPDATE_GOLDEN") != nullptr) {
        ASSERT_TRUE(rendertest::WritePng(golden, actual));
        GTEST_SKIP() << "reference picture rewritten: " << golden;
    }
    rendertest::Image expected;
    ASSERT_TRUE(rendertest::ReadPng(golden, expected)) << golden;
    ASSERT_TRUE(actual.width == expected.width && actual.height == expected.height);
    const rendertest::Comparison c = rendertest::Compare(actual, expected, kTolerance);
    if (c.beyondTolerance > static_cast<long>(kEdgeShare * static_cast<double>(c.pixels))) {
        const std::string dir = rendertest::OutputDir();
        rendertest::WritePng(dir + "/frame300.actual.png", actual);
        rendertest::WritePng(dir + "/frame300.diff.png", rendertest::Difference(actual, expected, 8));
        ADD_FAILURE() << c.beyondTolerance << " pixels differ by more than " << kTolerance << " (largest difference "
                      << c.largest << "); actual and difference images written to " << dir;
    }
}

} // namespace
