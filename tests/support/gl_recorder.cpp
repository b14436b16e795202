#include "support/gl_recorder.h"

#include <stdio.h>

namespace {

std::vector<GlCall> &Calls()
{
    static std::vector<GlCall> calls;
    return calls;
}

void Record(GlCall::Op op, GLenum mode, float a = 0, float b = 0, float c = 0, float d = 0)
{
    Calls().push_back(GlCall{op, mode, {a, b, c, d}});
}

} // namespace

const std::vector<GlCall> &GlRecorded()
{
    return Calls();
}

void GlRecorderReset()
{
    Calls().clear();
}

std::string GlTrace(const std::vector<GlCall> &calls)
{
    std::string out;
    char line[160];
    for (const GlCall &c : calls) {
        switch (c.op) {
        case GlCall::Translate:
            snprintf(line, sizeof line, "glTranslatef(%.9g, %.9g, %.9g)\n", c.v[0], c.v[1], c.v[2]);
            break;
        case GlCall::Color3:
            snprintf(line, sizeof line, "glColor3f(%.9g, %.9g, %.9g)\n", c.v[0], c.v[1], c.v[2]);
            break;
        case GlCall::Color4:
            snprintf(line, sizeof line, "glColor4f(%.9g, %.9g, %.9g, %.9g)\n", c.v[0], c.v[1], c.v[2], c.v[3]);
            break;
        case GlCall::Begin:
            snprintf(line, sizeof line, "glBegin(%s)\n",
                     c.mode == GL_TRIANGLE_STRIP ? "GL_TRIANGLE_STRIP"
                     : c.mode == GL_LINE_LOOP    ? "GL_LINE_LOOP"
                                                 : "other");
            break;
        case GlCall::Vertex2:
            snprintf(line, sizeof line, "glVertex2f(%.9g, %.9g)\n", c.v[0], c.v[1]);
            break;
        case GlCall::End:
            snprintf(line, sizeof line, "glEnd()\n");
            break;
        case GlCall::PushMatrix:
            snprintf(line, sizeof line, "glPushMatrix()\n");
            break;
        case GlCall::PopMatrix:
            snprintf(line, sizeof line, "glPopMatrix()\n");
            break;
        }
        out += line;
    }
    return out;
}

extern "C" {

void glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    Record(GlCall::Translate, 0, x, y, z);
}

void glColor3f(GLfloat r, GLfloat g, GLfloat b)
{
    Record(GlCall::Color3, 0, r, g, b);
}

void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a)
{
    Record(GlCall::Color4, 0, r, g, b, a);
}

void glBegin(GLenum mode)
{
    Record(GlCall::Begin, mode);
}

void glVertex2f(GLfloat x, GLfloat y)
{
    Record(GlCall::Vertex2, 0, x, y);
}

void glEnd(void)
{
    Record(GlCall::End, 0);
}

void glPushMatrix(void)
{
    Record(GlCall::PushMatrix, 0);
}

void glPopMatrix(void)
{
    Record(GlCall::PopMatrix, 0);
}

} // extern "C"
