// The platform under the bundle: window ports, and AGL over EGL (pixel
// formats, injected failures, the swap into the port).
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/AGL.h"
#include "support/image_io.h"

namespace {

TEST(Port, SizesPixelMapAndResize)
{
    EXPECT_TRUE(!QVPort_Create(0, 10) && !QVPort_Create(10, -1));
    CGrafPtr port = QVPort_Create(1, 1);
    ASSERT_NE(port, nullptr);
    Rect want{0, 0, 1, 1};
    const SInt16 sizes[][2] = {{7, 3}, {0, 9}, {9, -2}, {9, 2}};
    for (const auto &size : sizes) {
        reinterpret_cast<UInt32 *>((*QVPort_GetPixMap(port))->baseAddr)[0] = 0xFFFFFFFF;
        const bool usable = size[0] > 0 && size[1] > 0;
        EXPECT_EQ(QVPort_Resize(port, size[0], size[1]), usable ? noErr : paramErr);
        want = usable ? Rect{0, 0, size[1], size[0]} : want;
        Rect bounds;
        PixMapHandle pm = QVPort_GetPixMap(port);
        EXPECT_TRUE(GetPortBounds(port, &bounds) == &bounds && !std::memcmp(&bounds, &want, sizeof want) &&
                    !std::memcmp(&(*pm)->bounds, &want, sizeof want) && (*pm)->pixelSize == 32 &&
                    (*pm)->rowBytes == 4 * want.right) << size[0] << " x " << size[1];
        std::vector<UInt32> pixels(static_cast<size_t>(want.right) * want.bottom, 0); // a new map is cleared
        pixels[0] = usable ? 0 : 0xFFFFFFFF;
        EXPECT_EQ(rendertest::CopyPort(port).argb, pixels);
    }
    QVPort_Dispose(port);
}

const GLint kAttributes[] = {AGL_RGBA, AGL_ACCELERATED, AGL_DOUBLEBUFFER, AGL_DEPTH_SIZE, 16, AGL_NONE};

TEST(Agl, ChooserMeetsTheAttributesItKnowsAndFailuresAreInjectedByCount)
{
    const std::vector<GLint> known[] = {{kAttributes, kAttributes + 6}, {AGL_NONE}, {AGL_DEPTH_SIZE, 24, AGL_NONE}},
                             unknown[] = {{AGL_DEPTH_SIZE, 32, AGL_NONE}, {AGL_RGBA, 999, AGL_NONE}};
    for (const auto &attributes : known) {
        AGLPixelFormat f = aglChoosePixelFormat(nullptr, 0, attributes.data());
        EXPECT_TRUE(f && QVAGL_LivePixelFormatCount() == 1) << attributes.size() << " attributes";
        aglDestroyPixelFormat(f);
    }
    for (const auto &attributes : unknown)
        EXPECT_EQ(aglChoosePixelFormat(nullptr, 0, attributes.data()), nullptr) << attributes.size() << " attributes";
    QVAGL_FailCall(kQVAGLChoosePixelFormat, 2);
    EXPECT_TRUE(!aglChoosePixelFormat(nullptr, 0, kAttributes) && !aglChoosePixelFormat(nullptr, 0, kAttributes));
    AGLPixelFormat f = aglChoosePixelFormat(nullptr, 0, kAttributes);
    QVAGL_FailCall(kQVAGLCreateContext, -1); // until reset
    EXPECT_TRUE(f && !aglCreateContext(f, nullptr) && !aglCreateContext(f, nullptr));
    QVAGL_ResetFailures();
    AGLContext ctx = aglCreateContext(f, nullptr);
    aglDestroyPixelFormat(f);
    EXPECT_TRUE(QVAGL_LiveContextCount() == 1 && aglDestroyContext(ctx) && !aglDestroyContext(nullptr));
    EXPECT_EQ(QVAGL_LiveContextCount() + QVAGL_LivePixelFormatCount(), 0);
}

// Every word of the framebuffer against a plain per-pixel model of the swap:
// port row = port height - y - 1 - framebuffer row, column = x + framebuffer
// column, alpha forced to 0xFF; the frame procedure gets the covered part and
// the swap interval. Widths around the copy's blocks of eight, rectangles
// reaching out of the port and wholly outside it.
TEST(Agl, SwapMatchesAPixelByPixelModel)
{
    const GLint rows[][4] = {{0, 0, 1, 3},  {0, 0, 7, 4},   {0, 0, 8, 2},  {1, 1, 9, 3},  {0, 0, 16, 5}, {2, 0, 37, 5},
                             {-3, -1, 21, 6}, {-9, 2, 40, 7}, {33, 0, 3, 3}, {0, 6, 3, 3}, {-3, 0, 3, 3}}; // x, y, w, h
    CGrafPtr port = QVPort_Create(33, 6);
    std::vector<Rect> frames;
    QVPort_SetFrameProc(port, [](CGrafPtr, const Rect *rect, SInt32 interval, void *log) {
        static_cast<std::vector<Rect> *>(log)->push_back(interval == 1 ? *rect : Rect{});
    }, &frames);
    AGLPixelFormat format = aglChoosePixelFormat(nullptr, 0, kAttributes);
    AGLContext ctx = aglCreateContext(format, nullptr);
    aglDestroyPixelFormat(format);
    const GLint one = 1;
    ASSERT_TRUE(aglSetDrawable(ctx, port) && aglSetCurrentContext(ctx) && aglSetInteger(ctx, AGL_SWAP_INTERVAL, &one));
    for (const GLint *r : rows) {
        SCOPED_TRACE(testing::Message() << "rect " << r[0] << "," << r[1] << " " << r[2] << "x" << r[3]);
        ASSERT_EQ(QVPort_Resize(port, 33, 6), noErr); // cleared
        ASSERT_TRUE(aglSetInteger(ctx, AGL_BUFFER_RECT, r) && aglEnable(ctx, AGL_BUFFER_RECT) && aglUpdateContext(ctx));
        std::vector<UInt32> fb(static_cast<size_t>(r[2]) * r[3]);
        for (size_t i = 0; i < fb.size(); ++i)
            fb[i] = static_cast<UInt32>(i * 2654435761u); // every channel varies, alpha too
        glViewport(0, 0, r[2], r[3]);
        glRasterPos2f(-1.0f, -1.0f);
        glDrawPixels(r[2], r[3], GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, fb.data());
        frames.clear();
        aglSwapBuffers(ctx);
        const rendertest::Image image = rendertest::CopyPort(port);
        Rect covered{6, 33, 0, 0};
        for (SInt16 row = 0; row < 6; ++row)
            for (SInt16 col = 0; col < 33; ++col) {
                const int fbRow = 6 - r[1] - 1 - row, fbCol = col - r[0];
                const bool inside = fbRow >= 0 && fbRow < r[3] && fbCol >= 0 && fbCol < r[2];
                ASSERT_EQ(image.at(col, row), inside ? fb[static_cast<size_t>(fbRow) * r[2] + fbCol] | 0xFF000000u : 0u)
                    << "at port " << col << "," << row;
                if (inside)
                    covered = Rect{std::min(covered.top, row), std::min(covered.left, col),
                                   std::max<SInt16>(covered.bottom, row + 1), std::max<SInt16>(covered.right, col + 1)};
            }
        ASSERT_EQ(frames.size(), covered.bottom ? 1u : 0u);
        EXPECT_TRUE(frames.empty() || !std::memcmp(&frames[0], &covered, sizeof covered));
    }
    aglDestroyContext(ctx);
    QVPort_Dispose(port);
}

} // namespace
