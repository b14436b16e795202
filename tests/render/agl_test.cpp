// The platform layer: window ports, the clock, and AGL over EGL (pixel
// formats, contexts, buffer rectangles, the swap into the port).
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/AGL.h"
#include "platform/QVClock.h"
#include "support/image_io.h"

namespace {

using rendertest::CopyPort;

TEST(Port, SizesPixelMapAndResize)
{
    for (SInt16 bad : {0, -1})
        EXPECT_TRUE(QVPort_Create(bad, 10) == nullptr && QVPort_Create(10, bad) == nullptr) << bad;
    CGrafPtr port = QVPort_Create(1, 1);
    ASSERT_NE(port, nullptr);
    const struct {
        SInt16 width, height;
        OSStatus status;
    } rows[] = {{7, 3, noErr}, {0, 9, paramErr}, {9, -2, paramErr}, {9, 2, noErr}};
    Rect want{0, 0, 1, 1};
    for (const auto &r : rows) {
        PixMapHandle pm = QVPort_GetPixMap(port);
        reinterpret_cast<UInt32 *>((*pm)->baseAddr)[0] = 0xFFFFFFFF;
        EXPECT_EQ(QVPort_Resize(port, r.width, r.height), r.status);
        if (r.status == noErr)
            want = Rect{0, 0, r.height, r.width};
        Rect bounds;
        EXPECT_EQ(GetPortBounds(port, &bounds), &bounds);
        pm = QVPort_GetPixMap(port);
        EXPECT_EQ(0, std::memcmp(&bounds, &want, sizeof want)) << r.width << " x " << r.height;
        EXPECT_EQ(0, std::memcmp(&(*pm)->bounds, &want, sizeof want));
        EXPECT_TRUE((*pm)->pixelSize == 32 && (*pm)->rowBytes == 4 * want.right);
        std::vector<UInt32> pixels(static_cast<size_t>(want.right) * want.bottom, 0); // a new map is cleared
        pixels[0] = r.status == noErr ? 0 : 0xFFFFFFFF;
        EXPECT_EQ(CopyPort(port).argb, pixels);
    }
    QVPort_Dispose(port);
    QVPort_Dispose(nullptr);
}

TEST(Clock, DefaultsToTheCLibraryAndCanBeReplaced)
{
    QVClock_SetSource(nullptr, nullptr);
    const time_t before = time(nullptr);
    EXPECT_TRUE(QVClock_Now() >= before && QVClock_Now() <= time(nullptr));
    time_t fixed = -42;
    QVClock_SetSource([](void *t) { return *static_cast<time_t *>(t); }, &fixed);
    EXPECT_EQ(QVClock_Now(), -42);
    QVClock_SetSource(nullptr, &fixed);
    EXPECT_GE(QVClock_Now(), before);
}

const GLint kAttributes[] = {AGL_RGBA, AGL_ACCELERATED, AGL_DOUBLEBUFFER, AGL_DEPTH_SIZE, 16, AGL_NONE};

TEST(AglFormat, ChooserMeetsTheAttributesItKnowsAndFailuresAreInjectedByCount)
{
    const struct {
        std::vector<GLint> attributes;
        bool found;
    } rows[] = {{{kAttributes, kAttributes + 6}, true},
                {{AGL_NONE}, true},
                {{AGL_RGBA, AGL_DEPTH_SIZE, 24, AGL_NONE}, true},
                {{AGL_RGBA, AGL_DEPTH_SIZE, 32, AGL_NONE}, false},
                {{AGL_RGBA, 999, AGL_NONE}, false}};
    for (const auto &r : rows) {
        AGLPixelFormat f = aglChoosePixelFormat(nullptr, 0, r.attributes.data());
        EXPECT_EQ(f != nullptr, r.found) << r.attributes.size() << " attributes";
        EXPECT_EQ(QVAGL_LivePixelFormatCount(), f ? 1 : 0);
        aglDestroyPixelFormat(f);
    }
    QVAGL_FailCall(kQVAGLChoosePixelFormat, 2);
    EXPECT_TRUE(!aglChoosePixelFormat(nullptr, 0, kAttributes) && !aglChoosePixelFormat(nullptr, 0, kAttributes));
    AGLPixelFormat f = aglChoosePixelFormat(nullptr, 0, kAttributes);
    ASSERT_NE(f, nullptr);
    QVAGL_FailCall(kQVAGLCreateContext, -1); // until reset
    EXPECT_TRUE(!aglCreateContext(f, nullptr) && !aglCreateContext(f, nullptr));
    QVAGL_ResetFailures();
    AGLContext ctx = aglCreateContext(f, nullptr);
    aglDestroyPixelFormat(f);
    EXPECT_EQ(QVAGL_LiveContextCount(), 1);
    EXPECT_TRUE(aglDestroyContext(ctx));
    EXPECT_FALSE(aglDestroyContext(nullptr));
    EXPECT_EQ(QVAGL_LiveContextCount() + QVAGL_LivePixelFormatCount(), 0);
}

// A context attached to a port of its own, current; its frames logged.
class Agl : public testing::Test {
protected:
    void SetUp() override
    {
        QVPort_SetFrameProc(port_, [](CGrafPtr, const Rect *rect, SInt32 interval, void *self) {
            static_cast<Agl *>(self)->frames_.push_back({*rect, interval});
        }, this);
        AGLPixelFormat format = aglChoosePixelFormat(nullptr, 0, kAttributes);
        ctx_ = aglCreateContext(format, nullptr);
        aglDestroyPixelFormat(format);
        ASSERT_TRUE(aglSetDrawable(ctx_, port_) && aglSetCurrentContext(ctx_));
    }
    void TearDown() override
    {
        aglDestroyContext(ctx_);
        QVPort_Dispose(port_);
    }
    bool SetBufferRect(GLint x, GLint y, GLint w, GLint h, bool enable = true)
    {
        const GLint rect[4] = {x, y, w, h};
        return aglSetInteger(ctx_, AGL_BUFFER_RECT, rect) && (!enable || aglEnable(ctx_, AGL_BUFFER_RECT)) &&
               aglUpdateContext(ctx_);
    }
    // The changed rectangle the last swap told the port of.
    std::vector<SInt16> LastFrame() const
    {
        const Rect &r = frames_.back().first;
        return {r.top, r.left, r.bottom, r.right};
    }

    CGrafPtr port_ = QVPort_Create(33, 6);
    AGLContext ctx_ = nullptr;
    std::vector<std::pair<Rect, SInt32>> frames_;
};

// Every word of the framebuffer against a plain per-pixel model of the swap:
// port row = port height - y - 1 - framebuffer row, column = x + framebuffer
// column, alpha forced to 0xFF; the changed rectangle is the covered part.
// Widths around the copy's blocks of eight, rectangles reaching out of the
// port and wholly outside it.
TEST_F(Agl, SwapMatchesAPixelByPixelModel)
{
    const struct {
        GLint x, y, w, h;
    } rows[] = {{0, 0, 1, 3},  {0, 0, 7, 4},   {0, 0, 8, 2},   {1, 1, 9, 3},  {0, 0, 16, 5}, {2, 0, 37, 5},
                {-3, -1, 21, 6}, {-9, 2, 40, 7}, {33, 0, 3, 3}, {0, 6, 3, 3}, {-3, 0, 3, 3}};
    const GLint one = 1;
    ASSERT_TRUE(aglSetInteger(ctx_, AGL_SWAP_INTERVAL, &one));
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << "rect " << r.x << "," << r.y << " " << r.w << "x" << r.h);
        ASSERT_EQ(QVPort_Resize(port_, 33, 6), noErr); // cleared
        ASSERT_TRUE(SetBufferRect(r.x, r.y, r.w, r.h));
        std::vector<UInt32> fb(static_cast<size_t>(r.w) * r.h);
        for (size_t i = 0; i < fb.size(); ++i)
            fb[i] = static_cast<UInt32>(i * 2654435761u); // every channel varies, alpha too
        glViewport(0, 0, r.w, r.h);
        glRasterPos2f(-1.0f, -1.0f);
        glDrawPixels(r.w, r.h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, fb.data());
        frames_.clear();
        aglSwapBuffers(ctx_);

        const rendertest::Image image = CopyPort(port_);
        std::vector<SInt16> covered{6, 33, 0, 0}; // top, left, bottom, right of what the model writes
        for (int row = 0; row < 6; ++row)
            for (int col = 0; col < 33; ++col) {
                const int fbRow = 6 - r.y - 1 - row, fbCol = col - r.x;
                const bool inside = fbRow >= 0 && fbRow < r.h && fbCol >= 0 && fbCol < r.w;
                ASSERT_EQ(image.at(col, row), inside ? fb[static_cast<size_t>(fbRow) * r.w + fbCol] | 0xFF000000u : 0u)
                    << "at port " << col << "," << row;
                if (inside)
                    covered = {std::min<SInt16>(covered[0], row), std::min<SInt16>(covered[1], col),
                               std::max<SInt16>(covered[2], row + 1), std::max<SInt16>(covered[3], col + 1)};
            }
        ASSERT_EQ(frames_.size(), covered[2] ? 1u : 0u);
        EXPECT_TRUE(frames_.empty() || (LastFrame() == covered && frames_[0].second == 1));
    }
}

TEST_F(Agl, RectanglesAndSettingsItRefuses)
{
    GLint rect[4];
    ASSERT_TRUE(aglGetInteger(ctx_, AGL_BUFFER_RECT, rect)); // none set: the whole port
    EXPECT_EQ(std::vector<GLint>(rect, rect + 4), (std::vector<GLint>{0, 0, 33, 6}));
    ASSERT_TRUE(SetBufferRect(1, 1, 3, 2));
    const GLint bad[][4] = {{0, 0, 0, 5}, {0, 0, 5, 0}, {0, 0, -3, 2}};
    for (const GLint *r : {bad[0], bad[1], bad[2]})
        EXPECT_FALSE(aglSetInteger(ctx_, AGL_BUFFER_RECT, r));
    ASSERT_TRUE(aglGetInteger(ctx_, AGL_BUFFER_RECT, rect));
    EXPECT_EQ(std::vector<GLint>(rect, rect + 4), (std::vector<GLint>{1, 1, 3, 2}));
    const GLint zero = 0, two = 2;
    EXPECT_TRUE(aglSetInteger(ctx_, AGL_SWAP_INTERVAL, &zero));
    EXPECT_FALSE(aglSetInteger(ctx_, AGL_SWAP_INTERVAL, &two));
    EXPECT_FALSE(aglSetInteger(ctx_, 12345, &two));
    EXPECT_FALSE(aglEnable(ctx_, AGL_SWAP_INTERVAL));
    EXPECT_FALSE(aglDisable(ctx_, AGL_SWAP_INTERVAL));
}

// The framebuffer covers the whole port, following its size, until a buffer
// rectangle is enabled, and again once it is disabled; detached, the context
// swaps nothing.
TEST_F(Agl, DrawableFollowsThePortUntilARectangleIsEnabled)
{
    ASSERT_EQ(QVPort_Resize(port_, 5, 9), noErr);
    ASSERT_TRUE(aglUpdateContext(ctx_));
    aglSwapBuffers(ctx_);
    EXPECT_EQ(LastFrame(), (std::vector<SInt16>{0, 0, 9, 5}));
    ASSERT_TRUE(SetBufferRect(1, 1, 2, 2, false));
    aglSwapBuffers(ctx_);
    EXPECT_EQ(LastFrame(), (std::vector<SInt16>{0, 0, 9, 5}));
    ASSERT_TRUE(aglEnable(ctx_, AGL_BUFFER_RECT) && aglUpdateContext(ctx_));
    aglSwapBuffers(ctx_);
    EXPECT_EQ(LastFrame(), (std::vector<SInt16>{6, 1, 8, 3}));
    ASSERT_TRUE(aglDisable(ctx_, AGL_BUFFER_RECT) && aglUpdateContext(ctx_));
    aglSwapBuffers(ctx_);
    EXPECT_EQ(LastFrame(), (std::vector<SInt16>{0, 0, 9, 5}));
    ASSERT_TRUE(aglSetDrawable(ctx_, nullptr));
    EXPECT_FALSE(aglUpdateContext(ctx_));
    aglSwapBuffers(ctx_);
    aglSwapBuffers(nullptr);
    EXPECT_EQ(frames_.size(), 4u);
}

// A swap of a context that is not current reads its own framebuffer and
// leaves the current one current; destroying the current one leaves none.
TEST_F(Agl, SwapOfAContextNotCurrentLeavesTheCurrentOneCurrent)
{
    glClearColor(1.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    CGrafPtr other = QVPort_Create(4, 4);
    AGLPixelFormat f = aglChoosePixelFormat(nullptr, 0, kAttributes);
    AGLContext second = aglCreateContext(f, nullptr);
    aglDestroyPixelFormat(f);
    ASSERT_TRUE(aglSetDrawable(second, other) && aglSetCurrentContext(second));
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    aglSwapBuffers(ctx_);
    EXPECT_EQ(aglGetCurrentContext(), second);
    EXPECT_EQ(CopyPort(port_).at(32, 5), 0xFFFF0000u); // opaque, whatever GL left in alpha
    aglSwapBuffers(second);
    EXPECT_EQ(CopyPort(other).at(0, 0), 0xFF0000FFu);
    aglDestroyContext(second);
    EXPECT_EQ(aglGetCurrentContext(), nullptr);
    QVPort_Dispose(other);
}

} // namespace
