// Figures drawn into a real GL context: strips in their colour, later
// figures in front, the depth step of every figure, the editor's overlay.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "figures/polygon.h"
#include "platform/AGL.h"
#include "support/image_io.h"

namespace {

using rendertest::CopyPort;
using rendertest::Image;
using rendertest::PixelOf;

constexpr int kSize = 400;         // view -10..10 on both axes
constexpr float kPixelsPerUnit = 20.0f;
constexpr float kBaseDepth = -0.999f; // where the renderer starts the figures

struct Vtx {
    float x, y;
    bool dynamic;
};

polygon *Figure(const std::vector<Vtx> &vertices, float r, float g, float b, polygon *next = nullptr)
{
    auto *p = new polygon;
    p->next = next;
    p->r = r;
    p->g = g;
    p->b = b;
    for (const Vtx &v : vertices)
        p->add(v.x, v.y, v.dynamic);
    return p;
}

class FigurePixels : public testing::Test {
protected:
    void SetUp() override
    {
        port_ = QVPort_Create(kSize, kSize);
        const GLint attributes[] = {AGL_RGBA, AGL_DEPTH_SIZE, 16, AGL_NONE};
        AGLPixelFormat format = aglChoosePixelFormat(nullptr, 0, attributes);
        ctx_ = aglCreateContext(format, nullptr);
        aglDestroyPixelFormat(format);
        ASSERT_TRUE(aglSetDrawable(ctx_, port_));
        ASSERT_TRUE(aglSetCurrentContext(ctx_));
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-10, 10, -10, 10, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDepthFunc(GL_LESS);
        glEnable(GL_DEPTH_TEST);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    void TearDown() override
    {
        aglSetCurrentContext(nullptr);
        aglDestroyContext(ctx_);
        QVPort_Dispose(port_);
    }

    // Draws the list as the frame renderer does: from the base depth, inside
    // a saved matrix, scaled by `scale`.
    void DrawList(polygon *head, float scale = 1.0f)
    {
        glPushMatrix();
        glTranslatef(0.0f, 0.0f, kBaseDepth);
        glScalef(scale, scale, 1.0f);
        head->draw();
        glPopMatrix();
    }

    Image Frame()
    {
        aglSwapBuffers(ctx_);
        return CopyPort(port_);
    }

    static std::pair<int, int> PixelAt(float x, float y)
    {
        return {static_cast<int>(std::floor((x + 10.0f) * kPixelsPerUnit)),
                static_cast<int>(std::floor((10.0f - y) * kPixelsPerUnit))};
    }
    static uint32_t At(const Image &image, float x, float y)
    {
        const auto p = PixelAt(x, y);
        return image.at(p.first, p.second);
    }
    // Is `want` within one pixel of world (x, y)? Lines are one pixel wide.
    static bool Near(const Image &image, float x, float y, uint32_t want)
    {
        const auto p = PixelAt(x, y);
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (image.at(p.first + dx, p.second + dy) == want)
                    return true;
        return false;
    }

    CGrafPtr port_ = nullptr;
    AGLContext ctx_ = nullptr;
};

const uint32_t kBlack = 0xFF000000;

TEST_F(FigurePixels, StripFillsItsTrianglesInItsColour)
{
    struct Case {
        const char *what;
        std::vector<Vtx> vertices;
        std::vector<std::pair<float, float>> inside, outside;
    };
    const Case cases[] = {
        {"three vertices: one triangle",
         {{-5, -5, false}, {5, -5, false}, {-5, 5, false}},
         {{-3, -3}, {4, -4.5f}, {-4.5f, 4}},
         {{3, 3}, {6, 0}, {0, 6}}},
        {"four vertices: two triangles sharing edge 1-2",
         {{-5, -5, false}, {5, -5, true}, {-5, 5, true}, {5, 5, false}},
         {{-3, -3}, {3, 3}, {4.5f, 4.5f}},
         {{6, 6}, {-6, 0}}},
        {"a band authored by alternating sides",
         {{-6, 0, false}, {-6, 2, false}, {-2, 0, true}, {-2, 2, true}, {2, 0, false}, {2, 2, false}},
         {{-5, 1}, {0, 1}, {1.5f, 0.5f}},
         {{4, 1}, {0, 3}, {0, -1}}},
    };
    const uint32_t colour = PixelOf(0.2f, 0.4f, 0.6f);
    for (const Case &c : cases) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        polygon *p = Figure(c.vertices, 0.2f, 0.4f, 0.6f);
        DrawList(p);
        delete p;
        const Image image = Frame();
        for (const auto &pt : c.inside)
            EXPECT_EQ(At(image, pt.first, pt.second), colour) << c.what << " at " << pt.first << "," << pt.second;
        for (const auto &pt : c.outside)
            EXPECT_EQ(At(image, pt.first, pt.second), kBlack) << c.what << " at " << pt.first << "," << pt.second;
    }
}

TEST_F(FigurePixels, LaterFigureCoversEarlierOneByDepth)
{
    // Built first (the tail): red square -4..2; built later (the head): blue
    // square -2..4.
    polygon *red = Figure({{-4, -4, false}, {2, -4, false}, {-4, 2, false}, {2, 2, false}}, 1, 0, 0);
    polygon *blue = Figure({{-2, -2, false}, {4, -2, false}, {-2, 4, false}, {4, 4, false}}, 0, 0, 1, red);
    DrawList(blue);
    // The red square again at its own depth, drawn last: where the blue one
    // lies 0.01 nearer, depth keeps blue in front whatever the order.
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, kBaseDepth + 0.01f);
    glColor4f(1, 0, 0, 1);
    glBegin(GL_TRIANGLE_STRIP);
    for (int i = 0; i < red->nvtx; ++i)
        glVertex2f(red->vtx[i].x, red->vtx[i].y);
    glEnd();
    glPopMatrix();
    const Image image = Frame();
    EXPECT_EQ(At(image, 0, 0), PixelOf(0, 0, 1)) << "overlap";
    EXPECT_EQ(At(image, -3, -3), PixelOf(1, 0, 0)) << "earlier figure alone";
    EXPECT_EQ(At(image, 3, 3), PixelOf(0, 0, 1)) << "later figure alone";
    delete blue; // owns red
}

TEST_F(FigurePixels, EveryFigureStepsDepthEvenWhenItDrawsNothing)
{
    // Tail to head: a triangle, a two-vertex figure, an empty one, a triangle.
    polygon *list = Figure({{-8, -8, false}, {-6, -8, false}, {-8, -6, false}}, 1, 1, 0);
    list = Figure({{0, 0, false}, {5, 5, false}}, 1, 0, 1, list);
    list = Figure({}, 0, 1, 1, list);
    list = Figure({{6, 6, false}, {8, 6, false}, {6, 8, false}}, 0, 1, 0, list);
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, kBaseDepth);
    list->draw();
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    glPopMatrix();
    EXPECT_NEAR(m[14], kBaseDepth + 4 * 0.01f, 1e-6);

    const Image image = Frame();
    EXPECT_EQ(At(image, 2.5f, 2.5f), kBlack) << "a two-vertex figure draws nothing";
    EXPECT_EQ(At(image, -7.5f, -7.5f), PixelOf(1, 1, 0));
    EXPECT_EQ(At(image, 6.5f, 6.5f), PixelOf(0, 1, 0));
    delete list;
}

TEST_F(FigurePixels, HighlightOutlinesVerticesAndTrianglesInFrontOfTheFill)
{
    // Scaled by 5 so that a vertex square (0.2 units) spans 20 pixels.
    constexpr float s = 5.0f;
    polygon *p = Figure({{-1.2f, -1.2f, false}, {1.2f, -1.2f, true}, {0.0f, 1.2f, true}}, 0, 0.5f, 0);
    DrawList(p, s);
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, kBaseDepth);
    glScalef(s, s, 1.0f);
    GLfloat before[16], after[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, before);
    p->highlight();
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    glPopMatrix();
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(before[i], after[i]) << "the overlay restores the matrix";

    const Image image = Frame();
    const uint32_t red = PixelOf(1, 0, 0), blue = PixelOf(0, 0, 1), fill = PixelOf(0, 0.5f, 0);
    struct Square {
        float x, y;
        uint32_t colour;
    };
    const Square squares[] = {{-1.2f, -1.2f, red}, {1.2f, -1.2f, blue}, {0.0f, 1.2f, blue}};
    for (const Square &q : squares) {
        // Mid-points of the square's left and right edges, outside the fill
        // or over it: the outline is seen either way.
        EXPECT_TRUE(Near(image, (q.x - 0.1f) * s, q.y * s, q.colour)) << q.x << "," << q.y;
        EXPECT_TRUE(Near(image, (q.x + 0.1f) * s, q.y * s, q.colour)) << q.x << "," << q.y;
        EXPECT_TRUE(Near(image, q.x * s, (q.y + 0.1f) * s, q.colour)) << q.x << "," << q.y;
    }
    // Lifted in front: the bottom edge of the top vertex's square crosses the
    // fill, and is seen there.
    EXPECT_TRUE(Near(image, 0.0f, 1.1f * s, blue));
    // The strip triangle's outline, in red, over the fill's edge.
    EXPECT_TRUE(Near(image, 0.6f * s, 0.0f, red));
    EXPECT_TRUE(Near(image, -0.6f * s, 0.0f, red));
    EXPECT_TRUE(Near(image, 0.5f * s, -1.2f * s, red));
    // Inside, the fill is untouched.
    EXPECT_EQ(At(image, 0.0f, -0.3f * s), fill);
    delete p;
}

TEST_F(FigurePixels, HighlightOfTwoVerticesDrawsSquaresOnlyAndOfNoneNothing)
{
    constexpr float s = 5.0f;
    polygon *two = Figure({{-1.0f, 0.0f, true}, {1.0f, 0.0f, false}}, 0, 0.5f, 0);
    polygon *none = Figure({}, 0, 0.5f, 0);
    glPushMatrix();
    glScalef(s, s, 1.0f);
    two->highlight();
    glColor3f(0.5f, 0.25f, 0.125f);
    GLint depthBefore = 0, depthAfter = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);
    none->highlight();
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    glPopMatrix();
    EXPECT_EQ(depthBefore, depthAfter);
    EXPECT_EQ(colour[0], 0.5f) << "an empty figure's overlay sets no colour";

    const Image image = Frame();
    EXPECT_TRUE(Near(image, -1.1f * s, 0.0f, PixelOf(0, 0, 1)));
    EXPECT_TRUE(Near(image, 1.1f * s, 0.0f, PixelOf(1, 0, 0)));
    EXPECT_EQ(At(image, 0.0f, 0.0f), kBlack) << "no triangle between two vertices";
    delete two;
    delete none;
}

} // namespace
