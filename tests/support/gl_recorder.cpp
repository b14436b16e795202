#include "support/gl_recorder.h"

#include <utility>

static GlState gl;

const GlState &GlReset() { return gl = GlState{{}, {}, {}, 0.0f, 0, false}; }

extern "C" {

void glTranslatef(GLfloat, GLfloat, GLfloat z) { gl.z += z; }
void glColor3f(GLfloat r, GLfloat g, GLfloat b) { gl.rgba = {r, g, b, 1.0f}; }
void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { gl.rgba = {r, g, b, a}; }

void glBegin(GLenum mode)
{
    gl.misuse += gl.open;
    gl.open = true;
    gl.drawn.push_back(GlPrimitive{mode, gl.z, {}, {}});
}

void glVertex2f(GLfloat x, GLfloat y)
{
    gl.misuse += !gl.open;
    if (gl.open) {
        gl.drawn.back().rgba = gl.rgba;
        gl.drawn.back().xy.insert(gl.drawn.back().xy.end(), {x, y});
    }
}

void glEnd(void) { gl.misuse += !std::exchange(gl.open, false); }
void glPushMatrix(void) { gl.stack.push_back(gl.z); }

void glPopMatrix(void)
{
    gl.misuse += gl.stack.empty();
    if (!gl.stack.empty()) {
        gl.z = gl.stack.back();
        gl.stack.pop_back();
    }
}

} // extern "C"
