// What "show" does when the GL context cannot be set up, and that frames
// asked for without a context draw nothing and leave GL alone.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/AGL.h"
#include "plugin/FrameMessages.h"
#include "render/render_session.h"

namespace rendertest {
namespace {

class ContextFailure : public testing::Test {
protected:
    void TearDown() override { QVAGL_ResetFailures(); }
};

TEST_F(ContextFailure, ShowWithoutACurrentContextReleasesWhatItBuilt)
{
    struct Case {
        QVAGLCall failing;
        int step;
    };
    const Case cases[] = {{kQVAGLChoosePixelFormat, 1},
                          {kQVAGLCreateContext, 2},
                          {kQVAGLSetDrawable, 3},
                          {kQVAGLSetCurrentContext, 4}};
    for (const Case &c : cases) {
        RenderSession session(64, 48);
        ASSERT_TRUE(session.ok());
        QVAGL_FailCall(c.failing, 1);
        EXPECT_EQ(session.show(), kShowContextErrBase - c.step) << "step " << c.step;
        const VisualPluginState *s = session.state();
        EXPECT_EQ(s->aglContext, nullptr) << "step " << c.step;
        EXPECT_EQ(s->polys, nullptr) << "step " << c.step;
        EXPECT_EQ(s->msgTexture, 0u) << "step " << c.step;
        EXPECT_EQ(s->ready, 0) << "step " << c.step;
        EXPECT_EQ(aglGetCurrentContext(), nullptr) << "step " << c.step;
        EXPECT_EQ(QVAGL_LiveContextCount(), 0) << "step " << c.step;
        EXPECT_EQ(QVAGL_LivePixelFormatCount(), 0) << "step " << c.step;
        EXPECT_TRUE(session.frames().empty()) << "step " << c.step;

        // Nothing to draw into: render and idle messages draw nothing.
        EXPECT_EQ(session.render(Spectrum::Level(255)), noErr);
        EXPECT_EQ(session.idle(), noErr);
        EXPECT_TRUE(session.frames().empty()) << "step " << c.step;

        // Once the failure is gone, the visual shows as usual.
        EXPECT_EQ(session.show(), noErr) << "step " << c.step;
        EXPECT_EQ(session.frames().size(), 1u) << "step " << c.step;
    }
}

TEST_F(ContextFailure, LateStepsKeepTheContextAndShowGoesOn)
{
    struct Case {
        QVAGLCall failing;
        SInt32 swapInterval; // what the frame procedure is told
    };
    // Both stop before the swap interval is set, so frames are not paced.
    const Case cases[] = {{kQVAGLUpdateContext, 0}, {kQVAGLSetInteger, 0}};
    for (const Case &c : cases) {
        RenderSession session(64, 48);
        ASSERT_TRUE(session.ok());
        QVAGL_FailCall(c.failing, 1);
        EXPECT_EQ(session.show(), noErr);
        const VisualPluginState *s = session.state();
        EXPECT_NE(s->aglContext, nullptr);
        EXPECT_EQ(aglGetCurrentContext(), s->aglContext);
        EXPECT_EQ(s->ready, 1);
        EXPECT_NE(s->msgTexture, 0u);
        ASSERT_EQ(session.frames().size(), 1u);
        EXPECT_EQ(session.frames()[0].swapInterval, c.swapInterval);
        EXPECT_EQ(session.frames()[0].bufferRect.right, 64);
    }
}

TEST_F(ContextFailure, ViewportPrintsEachAglFailureAndStillDraws)
{
    struct Case {
        QVAGLCall failing;
        const char *line;
    };
    const Case cases[] = {
        {kQVAGLEnable, "unable to enable AGL_BUFFER_RECT\n"},
        {kQVAGLSetInteger, "setViewport: aglSetInteger AGL_BUFFER_RECT != ok\n"},
        {kQVAGLUpdateContext, "reshapeAGL: aglUpdateContext != ok\n"},
    };
    RenderSession session(80, 60);
    ASSERT_TRUE(session.ok());
    ASSERT_EQ(session.show(), noErr);
    for (const Case &c : cases) {
        const size_t frames = session.frames().size();
        QVAGL_FailCall(c.failing, 1);
        testing::internal::CaptureStdout();
        EXPECT_EQ(session.swin(Rect{0, 0, 60, 80}), noErr);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
        EXPECT_EQ(session.frames().size(), frames + 1) << c.line;
    }
}

// A context of the test's own, with recognisable state, current while the
// bundle has none: frames asked of the bundle must not touch it.
class ForeignContext {
public:
    ForeignContext()
    {
        port_ = QVPort_Create(16, 16);
        const GLint attributes[] = {AGL_RGBA, AGL_DEPTH_SIZE, 16, AGL_NONE};
        AGLPixelFormat format = aglChoosePixelFormat(nullptr, 0, attributes);
        ctx_ = aglCreateContext(format, nullptr);
        aglDestroyPixelFormat(format);
        aglSetDrawable(ctx_, port_);
        aglSetCurrentContext(ctx_);
        glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    ~ForeignContext()
    {
        aglSetCurrentContext(nullptr);
        aglDestroyContext(ctx_);
        QVPort_Dispose(port_);
    }
    bool ok() const { return ctx_ != nullptr; }

    void expectUntouched(const std::string &when)
    {
        EXPECT_EQ(aglGetCurrentContext(), ctx_) << when;
        GLfloat clear[4];
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
        EXPECT_EQ(clear[0], 0.25f) << when;
        EXPECT_EQ(clear[2], 0.75f) << when;
        EXPECT_FALSE(glIsEnabled(GL_BLEND)) << when;
        EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST)) << when;
        GLfloat m[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        EXPECT_EQ(m[0], 1.0f) << when;
        EXPECT_EQ(m[14], 0.0f) << when;
        GLint depth = -1;
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
        EXPECT_EQ(depth, 1) << when;
        aglSwapBuffers(ctx_);
        const Image pixels = CopyPort(port_);
        for (uint32_t p : pixels.argb)
            ASSERT_EQ(p, PixelOf(0.25f, 0.5f, 0.75f)) << when;
    }

private:
    CGrafPtr port_ = nullptr;
    AGLContext ctx_ = nullptr;
};

TEST_F(ContextFailure, FramesWithoutAContextTouchNoGLState)
{
    RenderSession session(64, 48);
    ASSERT_TRUE(session.ok());
    ASSERT_EQ(session.show(), noErr);
    ASSERT_EQ(session.hide(), noErr);
    ASSERT_EQ(session.state()->ready, 1); // hide leaves ready set: the guard is the missing context

    ForeignContext foreign;
    ASSERT_TRUE(foreign.ok());
    const VisualPluginState before = *session.state();
    EXPECT_EQ(session.render(Spectrum::Level(255)), noErr);
    EXPECT_EQ(session.idle(), noErr);
    EXPECT_EQ(session.swin(Rect{0, 0, 24, 32}), noErr);
    foreign.expectUntouched("after hide");
    EXPECT_EQ(session.frames().size(), 1u); // only the first frame of "show"
    // Nothing moved either.
    EXPECT_EQ(session.state()->posX, before.posX);
    EXPECT_EQ(session.state()->velX, before.velX);

    // After a show that failed to make its context current, likewise.
    QVAGL_FailCall(kQVAGLSetCurrentContext, 1);
    EXPECT_EQ(session.show(), kShowContextErrBase - 4);
    EXPECT_EQ(aglGetCurrentContext(), nullptr);
    aglSetCurrentContext(nullptr);
    ForeignContext again;
    EXPECT_EQ(session.render(Spectrum::Level(255)), noErr);
    EXPECT_EQ(session.idle(), noErr);
    again.expectUntouched("after a failed show");
}

} // namespace
} // namespace rendertest
