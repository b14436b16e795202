// AGL over EGL: pixel formats, contexts, drawables, buffer rectangles and
// the swap into the port (flip, clip, opaque alpha, frame procedure).
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/AGL.h"
#include "support/image_io.h"

namespace {

using rendertest::CopyPort;
using rendertest::Image;

const GLint kAttributes[] = {AGL_RGBA, AGL_ACCELERATED, AGL_DOUBLEBUFFER, AGL_DEPTH_SIZE, 16, AGL_NONE};

struct FrameLog {
    std::vector<Rect> rects;
    std::vector<SInt32> intervals;
    static void Proc(CGrafPtr, const Rect *r, SInt32 interval, void *self)
    {
        static_cast<FrameLog *>(self)->rects.push_back(*r);
        static_cast<FrameLog *>(self)->intervals.push_back(interval);
    }
};

bool SameRect(const Rect &r, SInt16 top, SInt16 left, SInt16 bottom, SInt16 right)
{
    return r.top == top && r.left == left && r.bottom == bottom && r.right == right;
}

// A context attached to a port of its own, current.
class AglTest : public testing::Test {
protected:
    void SetUp() override
    {
        port_ = QVPort_Create(8, 6);
        QVPort_SetFrameProc(port_, &FrameLog::Proc, &log_);
        AGLPixelFormat format = aglChoosePixelFormat(nullptr, 0, kAttributes);
        ASSERT_NE(format, nullptr);
        ctx_ = aglCreateContext(format, nullptr);
        aglDestroyPixelFormat(format);
        ASSERT_NE(ctx_, nullptr);
        ASSERT_TRUE(aglSetDrawable(ctx_, port_));
        ASSERT_TRUE(aglSetCurrentContext(ctx_));
    }
    void TearDown() override
    {
        aglSetCurrentContext(nullptr);
        aglDestroyContext(ctx_);
        QVPort_Dispose(port_);
        QVAGL_ResetFailures();
    }

    // Clears the framebuffer to `fill`, then marks its bottom-left pixel red
    // and its top-right pixel blue (alpha 0 everywhere, which the port must
    // not keep).
    void DrawMarkers(GLint w, GLint h)
    {
        glClearColor(0.0f, 1.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 1, 1);
        glClearColor(1.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glScissor(w - 1, h - 1, 1, 1);
        glClearColor(0.0f, 0.0f, 1.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
    }

    void SetBufferRect(GLint x, GLint y, GLint w, GLint h)
    {
        const GLint rect[4] = {x, y, w, h};
        ASSERT_TRUE(aglSetInteger(ctx_, AGL_BUFFER_RECT, rect));
        ASSERT_TRUE(aglEnable(ctx_, AGL_BUFFER_RECT));
        ASSERT_TRUE(aglUpdateContext(ctx_));
    }

    CGrafPtr port_ = nullptr;
    AGLContext ctx_ = nullptr;
    FrameLog log_;
};

constexpr UInt32 kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

TEST(AglFormat, ChooserMeetsTheAttributesItKnowsAndNoOthers)
{
    struct Case {
        std::vector<GLint> attributes;
        bool found;
    };
    const Case cases[] = {
        {{AGL_RGBA, AGL_ACCELERATED, AGL_DOUBLEBUFFER, AGL_DEPTH_SIZE, 16, AGL_NONE}, true},
        {{AGL_NONE}, true},
        {{AGL_RGBA, AGL_DEPTH_SIZE, 24, AGL_NONE}, true},
        {{AGL_RGBA, AGL_DEPTH_SIZE, 32, AGL_NONE}, false},
        {{AGL_RGBA, 999, AGL_NONE}, false},
    };
    for (const Case &c : cases) {
        AGLPixelFormat f = aglChoosePixelFormat(nullptr, 0, c.attributes.data());
        EXPECT_EQ(f != nullptr, c.found) << "attributes of " << c.attributes.size();
        EXPECT_EQ(QVAGL_LivePixelFormatCount(), f ? 1 : 0);
        aglDestroyPixelFormat(f);
    }
    EXPECT_EQ(QVAGL_LivePixelFormatCount(), 0);
}

TEST(AglFormat, InjectedFailuresLastForTheirCount)
{
    QVAGL_FailCall(kQVAGLChoosePixelFormat, 2);
    EXPECT_EQ(aglChoosePixelFormat(nullptr, 0, kAttributes), nullptr);
    EXPECT_EQ(aglChoosePixelFormat(nullptr, 0, kAttributes), nullptr);
    AGLPixelFormat f = aglChoosePixelFormat(nullptr, 0, kAttributes);
    EXPECT_NE(f, nullptr);

    QVAGL_FailCall(kQVAGLCreateContext, -1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(aglCreateContext(f, nullptr), nullptr);
    QVAGL_ResetFailures();
    AGLContext ctx = aglCreateContext(f, nullptr);
    EXPECT_NE(ctx, nullptr);
    EXPECT_EQ(QVAGL_LiveContextCount(), 1);
    EXPECT_TRUE(aglDestroyContext(ctx));
    EXPECT_FALSE(aglDestroyContext(nullptr));
    EXPECT_EQ(QVAGL_LiveContextCount(), 0);
    aglDestroyPixelFormat(f);
}

TEST_F(AglTest, ContextIsCurrentWithACompatibilityRenderer)
{
    EXPECT_EQ(aglGetCurrentContext(), ctx_);
    EXPECT_STRNE(QVAGL_RendererName(), "");
    // Immediate mode and the fixed-function matrix stack work.
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1.0f, 2.0f, 3.0f);
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_EQ(m[12], 1.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    EXPECT_EQ(depthBits, 16);
}

TEST_F(AglTest, SwapCopiesTheWholePortUpsideDownAsOpaqueWords)
{
    GLint rect[4];
    ASSERT_TRUE(aglGetInteger(ctx_, AGL_BUFFER_RECT, rect));
    EXPECT_TRUE(rect[0] == 0 && rect[1] == 0 && rect[2] == 8 && rect[3] == 6);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_TRUE(viewport[2] == 8 && viewport[3] == 6);

    DrawMarkers(8, 6);
    aglSwapBuffers(ctx_);
    const Image image = CopyPort(port_);
    EXPECT_EQ(image.at(0, 5), kRed);  // GL's bottom-left is the port's bottom-left
    EXPECT_EQ(image.at(7, 0), kBlue); // and its top-right the port's top-right
    EXPECT_EQ(image.at(3, 3), kGreen);
    ASSERT_EQ(log_.rects.size(), 1u);
    EXPECT_TRUE(SameRect(log_.rects[0], 0, 0, 6, 8));
    EXPECT_EQ(log_.intervals[0], 0);
}

TEST_F(AglTest, SwapLandsAtTheBufferRectangleAndTellsTheInterval)
{
    const GLint one = 1;
    ASSERT_TRUE(aglSetInteger(ctx_, AGL_SWAP_INTERVAL, &one));
    SetBufferRect(2, 1, 4, 3); // port rows 2..4, columns 2..5
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    DrawMarkers(4, 3);
    aglSwapBuffers(ctx_);

    const Image image = CopyPort(port_);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            UInt32 want = 0; // outside: never written
            if (x >= 2 && x < 6 && y >= 2 && y < 5)
                want = (x == 2 && y == 4) ? kRed : (x == 5 && y == 2) ? kBlue : kGreen;
            EXPECT_EQ(image.at(x, y), want) << x << "," << y;
        }
    ASSERT_EQ(log_.rects.size(), 1u);
    EXPECT_TRUE(SameRect(log_.rects[0], 2, 2, 5, 6));
    EXPECT_EQ(log_.intervals[0], 1);
}

TEST_F(AglTest, SwapClipsARectangleReachingOutOfThePort)
{
    struct Case {
        GLint rect[4];
        bool framed;
        Rect changed;
    };
    const Case cases[] = {
        {{-2, 3, 5, 4}, true, {0, 0, 3, 3}},    // over the top-left corner
        {{6, -1, 4, 3}, true, {4, 6, 6, 8}},    // over the bottom-right corner
        {{8, 0, 3, 3}, false, {}},              // wholly right of the port
        {{0, 6, 3, 3}, false, {}},              // wholly above it
    };
    for (const Case &c : cases) {
        log_ = FrameLog{};
        SetBufferRect(c.rect[0], c.rect[1], c.rect[2], c.rect[3]);
        DrawMarkers(c.rect[2], c.rect[3]);
        aglSwapBuffers(ctx_);
        ASSERT_EQ(log_.rects.size(), c.framed ? 1u : 0u) << c.rect[0] << "," << c.rect[1];
        if (c.framed) {
            EXPECT_TRUE(SameRect(log_.rects[0], c.changed.top, c.changed.left, c.changed.bottom, c.changed.right))
                << c.rect[0] << "," << c.rect[1];
        }
    }
    // Framebuffer 5 x 3 at x -2: its top-right pixel lands at port (2, 0),
    // its bottom-left one is cut off, and the row below stays unwritten.
    QVPort_Resize(port_, 8, 6);
    SetBufferRect(-2, 3, 5, 3);
    DrawMarkers(5, 3);
    aglSwapBuffers(ctx_);
    const Image image = CopyPort(port_);
    EXPECT_EQ(image.at(2, 0), kBlue);
    EXPECT_EQ(image.at(0, 2), kGreen);
    EXPECT_EQ(image.at(0, 3), 0u);
    EXPECT_EQ(image.at(3, 0), 0u);
}

// Every word of the framebuffer against a plain per-pixel model of the swap:
// port row = portHeight - y - 1 - framebuffer row, column = x + framebuffer
// column, alpha forced to 0xFF. Widths around the copy's blocks of eight.
TEST_F(AglTest, SwapMatchesAPixelByPixelModel)
{
    struct Case {
        GLint x, y, w, h;
    };
    const Case cases[] = {{0, 0, 1, 3}, {0, 0, 7, 4}, {0, 0, 8, 2}, {1, 1, 9, 3}, {0, 0, 16, 5},
                          {2, 0, 37, 5}, {-3, -1, 21, 6}, {-9, 2, 40, 7}};
    constexpr SInt16 kPortW = 33, kPortH = 6;
    ASSERT_EQ(QVPort_Resize(port_, kPortW, kPortH), noErr);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    for (const Case &c : cases) {
        ASSERT_EQ(QVPort_Resize(port_, kPortW, kPortH), noErr); // cleared
        SetBufferRect(c.x, c.y, c.w, c.h);
        std::vector<UInt32> fb(static_cast<size_t>(c.w) * c.h);
        for (size_t i = 0; i < fb.size(); ++i)
            fb[i] = static_cast<UInt32>(i * 2654435761u); // every channel varies, alpha too
        glViewport(0, 0, c.w, c.h);
        glRasterPos2f(-1.0f, -1.0f);
        glDrawPixels(c.w, c.h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, fb.data());
        aglSwapBuffers(ctx_);

        const Image image = CopyPort(port_);
        for (int row = 0; row < kPortH; ++row)
            for (int col = 0; col < kPortW; ++col) {
                const int fbRow = kPortH - c.y - 1 - row;
                const int fbCol = col - c.x;
                const bool covered = fbRow >= 0 && fbRow < c.h && fbCol >= 0 && fbCol < c.w;
                const UInt32 want = covered ? (fb[static_cast<size_t>(fbRow) * c.w + fbCol] | 0xFF000000u) : 0u;
                ASSERT_EQ(image.at(col, row), want) << "rect " << c.x << "," << c.y << " " << c.w << "x" << c.h
                                                    << " at port " << col << "," << row;
            }
    }
}

TEST_F(AglTest, BufferRectangleWithoutAreaIsRefused)
{
    SetBufferRect(1, 1, 3, 2);
    const GLint bad[][4] = {{0, 0, 0, 5}, {0, 0, 5, 0}, {0, 0, -3, 2}};
    for (const auto &r : bad)
        EXPECT_FALSE(aglSetInteger(ctx_, AGL_BUFFER_RECT, r));
    GLint kept[4];
    ASSERT_TRUE(aglGetInteger(ctx_, AGL_BUFFER_RECT, kept));
    EXPECT_TRUE(kept[0] == 1 && kept[1] == 1 && kept[2] == 3 && kept[3] == 2);

    const GLint two = 2;
    EXPECT_FALSE(aglSetInteger(ctx_, AGL_SWAP_INTERVAL, &two));
    EXPECT_FALSE(aglSetInteger(ctx_, 12345, &two));
    EXPECT_FALSE(aglEnable(ctx_, AGL_SWAP_INTERVAL));
}

TEST_F(AglTest, DrawableFollowsThePortUntilARectangleIsEnabled)
{
    ASSERT_EQ(QVPort_Resize(port_, 5, 9), noErr);
    ASSERT_TRUE(aglUpdateContext(ctx_));
    DrawMarkers(5, 9);
    aglSwapBuffers(ctx_);
    ASSERT_EQ(log_.rects.size(), 1u);
    EXPECT_TRUE(SameRect(log_.rects[0], 0, 0, 9, 5));
    EXPECT_EQ(CopyPort(port_).at(4, 0), kBlue);

    // A rectangle set but not enabled changes nothing; disabled again, the
    // whole port is back.
    const GLint rect[4] = {1, 1, 2, 2};
    ASSERT_TRUE(aglSetInteger(ctx_, AGL_BUFFER_RECT, rect));
    ASSERT_TRUE(aglUpdateContext(ctx_));
    aglSwapBuffers(ctx_);
    EXPECT_TRUE(SameRect(log_.rects.back(), 0, 0, 9, 5));
    ASSERT_TRUE(aglEnable(ctx_, AGL_BUFFER_RECT));
    ASSERT_TRUE(aglUpdateContext(ctx_));
    aglSwapBuffers(ctx_);
    EXPECT_TRUE(SameRect(log_.rects.back(), 6, 1, 8, 3));
    ASSERT_TRUE(aglDisable(ctx_, AGL_BUFFER_RECT));
    ASSERT_TRUE(aglUpdateContext(ctx_));
    aglSwapBuffers(ctx_);
    EXPECT_TRUE(SameRect(log_.rects.back(), 0, 0, 9, 5));
}

TEST_F(AglTest, DetachedContextSwapsNothing)
{
    ASSERT_TRUE(aglSetDrawable(ctx_, nullptr));
    EXPECT_FALSE(aglUpdateContext(ctx_));
    aglSwapBuffers(ctx_);
    EXPECT_TRUE(log_.rects.empty());
    aglSwapBuffers(nullptr);
}

TEST_F(AglTest, SwapOfAContextNotCurrentLeavesTheCurrentOneCurrent)
{
    DrawMarkers(8, 6);
    CGrafPtr other = QVPort_Create(4, 4);
    AGLPixelFormat f = aglChoosePixelFormat(nullptr, 0, kAttributes);
    AGLContext second = aglCreateContext(f, nullptr);
    aglDestroyPixelFormat(f);
    ASSERT_TRUE(aglSetDrawable(second, other));
    ASSERT_TRUE(aglSetCurrentContext(second));
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    aglSwapBuffers(ctx_); // not current now
    EXPECT_EQ(aglGetCurrentContext(), second);
    EXPECT_EQ(CopyPort(port_).at(0, 5), kRed);
    aglSwapBuffers(second);
    EXPECT_EQ(CopyPort(other).at(0, 0), kBlue);

    // Destroying the current context leaves none current.
    aglDestroyContext(second);
    EXPECT_EQ(aglGetCurrentContext(), nullptr);
    QVPort_Dispose(other);
    ASSERT_TRUE(aglSetCurrentContext(ctx_));
}

} // namespace
