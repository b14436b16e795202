// The renderer's arithmetic, the bundle's parts linked with the GL recorder and the AGL stand-in: the motion and
// the background of frames, the viewport and the camera.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "render/gl_context.h"
#include "support/gl_recorder.h"
#include "support/test_host.h"

using qvtest::TestHost;

namespace {

// From the values "show" sets, over idle frames (the show frame is 1): the
// spin turns round on each rebound from the floor, velX on each side bound.
// Meanwhile the background follows five-second slots of the clock.
TEST(Motion, BouncesReversalsAndBackgroundSlots)
{
    const int clock[][2] = {{0, 0},  {4, 0}, {5, 1}, {9, 1}, {10, 2}, {17, 3}, {20, 4}, {24, 4}, {25, 0},
                            {1000000007, 1}, {-1, 0}, {-5, 4}, {-26, 0}}; // seconds, colour slot
    TestHost host(48, 32);
    ASSERT_TRUE(host.open() && host.show() == noErr);
    EXPECT_EQ(host.state()->posY, 3.0f); // the show frame fell by velY = 0
    std::vector<int> spin, velX;
    for (int frame = 2; frame <= 700; ++frame) {
        const VisualPluginState before = *host.state();
        qvtest::FixClock(clock[frame % 13][0]);
        ASSERT_EQ(host.idle(), noErr);
        EXPECT_EQ(host.state()->colorIndex, clock[frame % 13][1]) << "t = " << clock[frame % 13][0];
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
    const struct {
        const char *what;
        UInt8 channels, low39, entry39, rest;
        bool reverses;
    } rows[] = {{"no spectrum channel: no data, even below the first peak", 0, 255, 255, 255, false},
                {"the first level after loading", 2, 100, 100, 0, true},
                {"the forty just below the peak, loud beyond them and in channel 1", 2, 99, 99, 255, false},
                {"one louder byte among the forty", 2, 100, 255, 255, true},
                {"a weaker level after the peak", 2, 100, 100, 0, false}};
    TestHost host(48, 32);
    ASSERT_TRUE(host.fresh() && host.open() && host.show() == noErr) << "needs the renderer's statics afresh";
    for (const auto &r : rows) {
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

// "swin" in a 1000 x 1000 port: the buffer rectangle in AGL's bottom-up
// coordinates, a viewport of its size and a camera whose shorter side spans
// 20 units; a rectangle without area keeps them (AGL refuses it, printed).
TEST(Viewport, FollowsTheRectangleAndKeepsTheLastUsableOne)
{
    TestHost host(1000, 1000);
    ASSERT_TRUE(host.open() && host.show() == noErr);
    const GlState &gl = GlReset();
    for (const Rect &rect : {Rect{100, 50, 500, 850}, Rect{50, 10, 50, 300}}) {
        testing::internal::CaptureStdout();
        ASSERT_EQ(host.swin(rect), noErr);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  rect.bottom == rect.top ? "setViewport: aglSetInteger AGL_BUFFER_RECT != ok\n" : "");
        GLint buffer[4];
        ASSERT_TRUE(aglGetInteger(host.state()->aglContext, AGL_BUFFER_RECT, buffer));
        EXPECT_EQ(std::vector<GLint>(buffer, buffer + 4), (std::vector<GLint>{50, 500, 800, 400}));
        EXPECT_EQ(std::vector<GLint>(gl.viewport, gl.viewport + 4), (std::vector<GLint>{0, 0, 800, 400}));
        EXPECT_EQ(std::vector<float>(gl.ortho, gl.ortho + 4), (std::vector<float>{-20, 20, -10, 10}));
        EXPECT_TRUE(host.lastFrame.top == 100 && host.lastFrame.left == 50 && host.lastFrame.bottom == 500);
    }
}

// The camera for every ratio of width to height: the shorter side spans 20 units, a ratio of 1 or less (negative
// ones too) stretches the height by 1 / aspect. Where that is not finite or has no height, the camera stays.
TEST(Camera, EveryRatioWithAFiniteViewSetsIt)
{
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float aspect;
        std::vector<float> view; // left, right, bottom, top; empty: the camera stays
    } rows[] = {{2.0f, {-20, 20, -10, 10}}, {1.0f, {-10, 10, -10, 10}},  {0.5f, {-10, 10, -20, 20}},
                {-0.5f, {-10, 10, 20, -20}}, {-4.0f, {-10, 10, 2.5f, -2.5f}}, {0.0f, {}}, {-0.0f, {}}, {inf, {}},
                {-inf, {}}, {std::nanf(""), {}}, {1e-39f, {}}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.aspect);
        PosCamera(3.0f, 0, 0, 0, 0, 0, 0);
        const GlState &gl = GlReset();
        PosCamera(r.aspect, 0, 0, 0, 0, 0, 0);
        const std::vector<float> view = r.view.empty() ? std::vector<float>{-30, 30, -10, 10} : r.view;
        EXPECT_EQ((std::vector<float>{scr_left, scr_right, scr_bottom, scr_top}), view);
        EXPECT_EQ(std::vector<float>(gl.ortho, gl.ortho + 4), r.view.empty() ? std::vector<float>(4, 0.0f) : view);
    }
}

} // namespace
