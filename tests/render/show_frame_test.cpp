// "show", "swin", "hide", "vrnd" and "null" through the handler, with real
// frames in the port: background slots, the first frame, the message image,
// the world rectangle and buffer rectangle, hide and show again.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/AGL.h"
#include "support/image_io.h"
#include "render/render_session.h"

namespace rendertest {
namespace {

// The background colour table, as the visual's design gives it.
const float kBackground[5][3] = {
    {0.0f, 0.58f, 0.88f}, {1.0f, 0.89f, 0.0f}, {0.68f, 0.41f, 0.86f}, {0.62f, 0.8f, 0.22f}, {0.91f, 0.64f, 0.0f},
};

uint32_t BackgroundPixel(int slot)
{
    return PixelOf(kBackground[slot][0], kBackground[slot][1], kBackground[slot][2]);
}

long CountDiffering(const Image &image, uint32_t word)
{
    return std::count_if(image.argb.begin(), image.argb.end(),
                         [&](uint32_t p) { return ChannelDistance(p, word) > 2; });
}

TEST(ShowFrame, ColourTableIsExportedAsDesigned)
{
    RenderSession session(64, 64);
    ASSERT_TRUE(session.ok());
    const auto *table = session.host().symbol<const float *>("kavoAdColors");
    ASSERT_NE(table, nullptr);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(table[i], kBackground[i / 3][i % 3]) << "entry " << i;
}

TEST(ShowFrame, ShowDrawsOneFirstFrameWithTheScene)
{
    FixedClock clock(7); // second slot
    RenderSession session(320, 240);
    ASSERT_TRUE(session.ok());
    ASSERT_EQ(session.show(), noErr);

    ASSERT_EQ(session.frames().size(), 1u);
    const FrameEvent &f = session.frames()[0];
    EXPECT_EQ(f.bufferRect.top, 0);
    EXPECT_EQ(f.bufferRect.left, 0);
    EXPECT_EQ(f.bufferRect.bottom, 240);
    EXPECT_EQ(f.bufferRect.right, 320);
    EXPECT_EQ(f.swapInterval, 1);

    const VisualPluginState *s = session.state();
    EXPECT_EQ(s->ready, 1);
    EXPECT_EQ(s->colorIndex, 1);
    EXPECT_NE(s->polys, nullptr);
    EXPECT_NE(s->msgTexture, 0u);

    const Image frame = session.frame();
    EXPECT_EQ(frame.at(0, 0), BackgroundPixel(1));
    EXPECT_EQ(frame.at(319, 0), BackgroundPixel(1));
    // The scene covers much of the middle of the view.
    long scene = 0;
    for (int y = 60; y < 180; ++y)
        for (int x = 80; x < 240; ++x)
            scene += ChannelDistance(frame.at(x, y), BackgroundPixel(1)) > 8;
    EXPECT_GT(scene, 120 * 160 / 4);
}

TEST(ShowFrame, BackgroundFollowsFiveSecondSlotsOfTheClock)
{
    struct Case {
        time_t t;
        int slot;
    };
    const Case cases[] = {{0, 0},  {4, 0},   {5, 1},   {9, 1},   {10, 2}, {17, 3}, {20, 4},
                          {24, 4}, {25, 0},  {1000000007, 1},     {-1, 0}, {-5, 4}, {-26, 0}};
    FixedClock clock(0);
    RenderSession session(96, 64);
    ASSERT_TRUE(session.ok());
    ASSERT_EQ(session.show(), noErr);
    for (const Case &c : cases) {
        clock.set(c.t);
        ASSERT_EQ(session.idle(), noErr);
        EXPECT_EQ(session.state()->colorIndex, c.slot) << "t = " << c.t;
        EXPECT_EQ(session.frame().at(0, 0), BackgroundPixel(c.slot)) << "t = " << c.t;
    }
}

// Screen geometry of the message quad on a 3200 x 1600 view (80 pixels per
// world unit, view x -20..20, y -10..10): its top-left corner lies at world
// (20 - 5.12 - 0.1, -10 + 1.57 + 0.1), its size 5.12 x 1.57 units. At this
// size the quad shows the picture at about one texel a pixel.
constexpr int kViewW = 3200, kViewH = 1600;
constexpr double kPixelsPerUnit = 80.0;
struct Quad {
    double left = (20.0 - 5.12 - 0.1 + 20.0) * kPixelsPerUnit;
    double top = (10.0 - (-10.0 + 1.57 + 0.1)) * kPixelsPerUnit;
    double width = 5.12 * kPixelsPerUnit;
    double height = 1.57 * kPixelsPerUnit;
};

TEST(ShowFrame, MessageImageSitsInTheBottomRightCornerTopRowUp)
{
    FixedClock clock(0);
    RenderSession session(kViewW, kViewH);
    ASSERT_TRUE(session.ok());
    ASSERT_EQ(session.show(), noErr);
    const Image frame = session.frame();
    const uint32_t bg = BackgroundPixel(0);

    const auto *bitmap = session.host().symbol<const UInt8 *>("msg_texture_bitmap");
    const auto *w = session.host().symbol<const SInt32 *>("msg_texture_width");
    const auto *h = session.host().symbol<const SInt32 *>("msg_texture_height");
    ASSERT_TRUE(bitmap && w && h);
    ASSERT_EQ(*w, 512);
    ASSERT_EQ(*h, 157);
    auto alpha = [&](int u, int v) { return bitmap[(static_cast<long>(v) * 512 + u) * 4 + 3]; };
    auto grey = [&](int u, int v) { return bitmap[(static_cast<long>(v) * 512 + u) * 4]; };

    // Texels around (u, v) within `r` all fully transparent (0) or opaque (255)?
    auto uniform = [&](int u, int v, int r, int want) {
        for (int j = v - r; j <= v + r; ++j)
            for (int i = u - r; i <= u + r; ++i)
                if (i < 0 || j < 0 || i >= 512 || j >= 157 || alpha(i, j) != want)
                    return false;
        return true;
    };

    // The texture is the picture resampled to 512 x 128 and filtered
    // linearly: only pixels whose texels are uniform a few texels around are
    // exact.
    constexpr int kReach = 4;
    const Quad q;
    int transparentChecked = 0, opaqueChecked = 0;
    for (int y = static_cast<int>(q.top) + 1; y < q.top + q.height - 1; ++y) {
        for (int x = static_cast<int>(q.left) + 1; x < q.left + q.width - 1; ++x) {
            const int u = static_cast<int>((x + 0.5 - q.left) / q.width * 512.0);
            const int v = static_cast<int>((y + 0.5 - q.top) / q.height * 157.0); // row 0 at the top
            if (uniform(u, v, kReach, 0)) {
                ++transparentChecked;
                ASSERT_LE(ChannelDistance(frame.at(x, y), bg), 1) << "transparent texel at " << x << "," << y;
            } else if (uniform(u, v, kReach, 255)) {
                ++opaqueChecked;
                const int g = grey(u, v);
                ASSERT_LE(ChannelDistance(frame.at(x, y), PixelOf(g / 255.0f, g / 255.0f, g / 255.0f)), 2)
                    << "opaque texel at " << x << "," << y;
            }
        }
    }
    EXPECT_GT(transparentChecked, 10000);
    EXPECT_GT(opaqueChecked, 1000);

    // The ink of the picture lands where the quad puts the picture's ink.
    int inkLeft = 512, inkRight = -1, inkTop = 157, inkBottom = -1;
    for (int v = 0; v < 157; ++v)
        for (int u = 0; u < 512; ++u)
            if (alpha(u, v) > 128) {
                inkLeft = std::min(inkLeft, u);
                inkRight = std::max(inkRight, u);
                inkTop = std::min(inkTop, v);
                inkBottom = std::max(inkBottom, v);
            }
    int screenLeft = kViewW, screenRight = -1, screenTop = kViewH, screenBottom = -1;
    for (int y = kViewH * 3 / 4; y < kViewH; ++y)
        for (int x = kViewW * 3 / 4; x < kViewW; ++x)
            if (ChannelDistance(frame.at(x, y), bg) > 60) {
                screenLeft = std::min(screenLeft, x);
                screenRight = std::max(screenRight, x);
                screenTop = std::min(screenTop, y);
                screenBottom = std::max(screenBottom, y);
            }
    EXPECT_NEAR(screenLeft, q.left + inkLeft * q.width / 512.0, 3.0);
    EXPECT_NEAR(screenRight, q.left + (inkRight + 1) * q.width / 512.0, 3.0);
    EXPECT_NEAR(screenTop, q.top + inkTop * q.height / 157.0, 3.0);
    EXPECT_NEAR(screenBottom, q.top + (inkBottom + 1) * q.height / 157.0, 3.0);
}

struct Ortho {
    float left, right, bottom, top;
};

void ExpectProjection(const Ortho &o, const char *what)
{
    GLfloat m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_FLOAT_EQ(m[0], 2.0f / (o.right - o.left)) << what;
    EXPECT_FLOAT_EQ(m[5], 2.0f / (o.top - o.bottom)) << what;
    EXPECT_FLOAT_EQ(m[10], -1.0f) << what;
    EXPECT_NEAR(m[12], -(o.right + o.left) / (o.right - o.left), 1e-6) << what;
    EXPECT_NEAR(m[13], -(o.top + o.bottom) / (o.top - o.bottom), 1e-6) << what;
}

TEST(ShowFrame, SetWindowFollowsTheRectangle)
{
    struct Case {
        Rect rect;      // in a port 1000 x 1000
        GLint buffer[4];
        Ortho world;
    };
    const Case cases[] = {
        {{100, 50, 500, 850}, {50, 500, 800, 400}, {-20, 20, -10, 10}},
        {{0, 0, 800, 400}, {0, 200, 400, 800}, {-10, 10, -20, 20}},
        {{10, 20, 310, 320}, {20, 690, 300, 300}, {-10, 10, -10, 10}},
    };
    FixedClock clock(0);
    RenderSession session(1000, 1000);
    ASSERT_TRUE(session.ok());
    ASSERT_EQ(session.show(), noErr);
    for (const Case &c : cases) {
        const std::string what = "rect " + std::to_string(c.rect.top) + "," + std::to_string(c.rect.left) + "," +
                                 std::to_string(c.rect.bottom) + "," + std::to_string(c.rect.right);
        const uint32_t sentinel = 0x12345678;
        session.fillPort(sentinel);
        const size_t before = session.frames().size();
        ASSERT_EQ(session.swin(c.rect), noErr);

        GLint buffer[4];
        ASSERT_TRUE(aglGetInteger(session.state()->aglContext, AGL_BUFFER_RECT, buffer));
        EXPECT_EQ(std::vector<GLint>(buffer, buffer + 4), std::vector<GLint>(c.buffer, c.buffer + 4)) << what;
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, c.buffer[2], c.buffer[3]}))
            << what;
        ExpectProjection(c.world, what.c_str());

        // One frame, exactly inside the rectangle.
        ASSERT_EQ(session.frames().size(), before + 1) << what;
        const Rect &changed = session.frames().back().bufferRect;
        EXPECT_TRUE(changed.top == c.rect.top && changed.left == c.rect.left && changed.bottom == c.rect.bottom &&
                    changed.right == c.rect.right)
            << what;
        const Image frame = session.frame();
        long outsideTouched = 0, insideUntouched = 0;
        for (int y = 0; y < 1000; ++y)
            for (int x = 0; x < 1000; ++x) {
                const bool inside = y >= c.rect.top && y < c.rect.bottom && x >= c.rect.left && x < c.rect.right;
                const bool touched = frame.at(x, y) != sentinel;
                outsideTouched += !inside && touched;
                insideUntouched += inside && !touched;
            }
        EXPECT_EQ(outsideTouched, 0) << what;
        EXPECT_EQ(insideUntouched, 0) << what;
        // The rectangle's top-left pixel is background: the view's corner.
        EXPECT_EQ(frame.at(c.rect.left, c.rect.top), BackgroundPixel(0)) << what;
    }
}

TEST(ShowFrame, CameraTakesTheShorterSideAsTwentyUnits)
{
    struct Case {
        float aspect;
        Ortho world;
    };
    const Case cases[] = {{2.0f, {-20, 20, -10, 10}},
                          {0.5f, {-10, 10, -20, 20}},
                          {1.0f, {-10, 10, -10, 10}},
                          {1.25f, {-12.5f, 12.5f, -10, 10}},
                          // Not a ratio of any view: the camera stays as it was.
                          {0.0f, {-12.5f, 12.5f, -10, 10}},
                          {-1.0f, {-12.5f, 12.5f, -10, 10}},
                          {NAN, {-12.5f, 12.5f, -10, 10}},
                          {INFINITY, {-12.5f, 12.5f, -10, 10}}};
    RenderSession session(64, 64);
    ASSERT_TRUE(session.ok());
    ASSERT_EQ(session.show(), noErr);
    using PosCameraFn = void (*)(float, float, float, float, float, float, float);
    auto posCamera = session.host().symbol<PosCameraFn>("PosCamera");
    ASSERT_NE(posCamera, nullptr);
    for (const Case &c : cases) {
        posCamera(c.aspect, 1, 2, 3, 4, 5, 6);
        GLint mode = 0;
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW) << "aspect " << c.aspect;
        ExpectProjection(c.world, ("aspect " + std::to_string(c.aspect)).c_str());
    }
}

TEST(ShowFrame, ZeroHeightRectangleKeepsTheLastCamera)
{
    FixedClock clock(0);
    RenderSession session(400, 200);
    ASSERT_TRUE(session.ok());
    ASSERT_EQ(session.show(), noErr);
    const size_t before = session.frames().size();

    testing::internal::CaptureStdout();
    ASSERT_EQ(session.swin(Rect{50, 10, 50, 300}), noErr); // height 0
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "setViewport: aglSetInteger AGL_BUFFER_RECT != ok\n");

    ExpectProjection({-20, 20, -10, 10}, "after a zero-height rectangle");
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, 400, 200}));
    EXPECT_EQ(session.state()->ready, 1);
    // The frame still comes, into the rectangle AGL kept.
    ASSERT_EQ(session.frames().size(), before + 1);
    EXPECT_EQ(session.frames().back().bufferRect.bottom, 200);

    // A first show with an empty rectangle works too, and so does the next
    // usable one.
    ASSERT_EQ(session.hide(), noErr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(session.show(Rect{0, 0, 200, 0}), noErr);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(session.swin(Rect{0, 0, 200, 400}), noErr);
    ExpectProjection({-20, 20, -10, 10}, "after a usable rectangle");
}

TEST(ShowFrame, HideReleasesEverythingAndShowAgainStartsAfresh)
{
    ASSERT_TRUE(RenderSession::BundleUnloaded()) << "fresh renderer statics are needed";
    FixedClock clock(3);
    RenderSession session(320, 180);
    ASSERT_TRUE(session.ok());
    ASSERT_EQ(session.show(), noErr);
    const Image first = session.frame();
    const GLuint texture = session.state()->msgTexture;
    ASSERT_NE(texture, 0u);
    EXPECT_TRUE(glIsTexture(texture));
    EXPECT_EQ(QVAGL_LiveContextCount(), 1);
    for (int i = 0; i < 40; ++i)
        session.idle();
    EXPECT_NE(CountDiffering(session.frame(), 0), 0);

    ASSERT_EQ(session.hide(), noErr);
    const VisualPluginState *s = session.state();
    EXPECT_EQ(s->polys, nullptr);
    EXPECT_EQ(s->msgTexture, 0u);
    EXPECT_EQ(s->aglContext, nullptr);
    EXPECT_EQ(s->ready, 1); // hide keeps the rest of the state
    EXPECT_EQ(aglGetCurrentContext(), nullptr);
    EXPECT_EQ(QVAGL_LiveContextCount(), 0);

    ASSERT_EQ(session.show(), noErr);
    EXPECT_EQ(QVAGL_LiveContextCount(), 1);
    EXPECT_NE(session.state()->msgTexture, 0u);
    EXPECT_EQ(session.state()->posY, 3.0f); // fresh motion: the first step falls by velY = 0
    const Comparison c = Compare(session.frame(), first, 0);
    EXPECT_EQ(c.beyondTolerance, 0) << "largest difference " << c.largest;
}

TEST(ShowFrame, ShowWhileShownKeepsOneContext)
{
    RenderSession session(64, 64);
    ASSERT_TRUE(session.ok());
    ASSERT_EQ(session.show(), noErr);
    ASSERT_EQ(session.show(), noErr);
    EXPECT_EQ(QVAGL_LiveContextCount(), 1);
    EXPECT_EQ(aglGetCurrentContext(), session.state()->aglContext);
    EXPECT_EQ(session.frames().size(), 2u);
}

TEST(ShowFrame, EndingAShownInstanceReleasesItsContext)
{
    RenderSession session(64, 64);
    ASSERT_TRUE(session.ok());
    ASSERT_EQ(session.show(), noErr);
    ASSERT_EQ(QVAGL_LiveContextCount(), 1);
    EXPECT_EQ(session.cleanup(), noErr); // "clr " without "hide"
    EXPECT_EQ(QVAGL_LiveContextCount(), 0);
    EXPECT_EQ(aglGetCurrentContext(), nullptr);
}

TEST(ShowFrame, FramesBeforeShowDrawNothing)
{
    RenderSession session(64, 64);
    ASSERT_TRUE(session.ok());
    EXPECT_EQ(session.render(Spectrum::Level(200)), noErr);
    EXPECT_EQ(session.idle(), noErr);
    EXPECT_TRUE(session.frames().empty());
}

} // namespace
} // namespace rendertest
