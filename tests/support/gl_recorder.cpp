#include "support/gl_recorder.h"

#include <GL/glu.h>

#include <algorithm>
#include <set>
#include <utility>

static GlState gl;
static std::set<GLuint> g_textures;

const GlState &GlReset() { return gl = GlState{{}, {}, {}, 0.0f, 0, false, {}, {}}; }
long RecordedLiveTextures() { return static_cast<long>(g_textures.size()); }

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

void glViewport(GLint x, GLint y, GLsizei w, GLsizei h)
{
    const GLint box[] = {x, y, w, h};
    std::copy(box, box + 4, gl.viewport);
}

void gluOrtho2D(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top)
{
    const float bounds[] = {float(left), float(right), float(bottom), float(top)};
    std::copy(bounds, bounds + 4, gl.ortho);
}

void glGenTextures(GLsizei n, GLuint *textures)
{
    static GLuint last = 0;
    for (GLsizei i = 0; i < n; ++i)
        g_textures.insert(textures[i] = ++last);
}

void glDeleteTextures(GLsizei n, const GLuint *textures)
{
    for (GLsizei i = 0; i < n; ++i)
        g_textures.erase(textures[i]);
}

void glScalef(GLfloat, GLfloat, GLfloat) {}
void glLoadIdentity(void) {}
void glMatrixMode(GLenum) {}
void glEnable(GLenum) {}
void glDisable(GLenum) {}
void glBlendFunc(GLenum, GLenum) {}
void glDepthFunc(GLenum) {}
void glFrontFace(GLenum) {}
void glClear(GLbitfield) {}
void glClearColor(GLclampf, GLclampf, GLclampf, GLclampf) {}
void glFinish(void) {}
void glFlush(void) {}
void glBindTexture(GLenum, GLuint) {}
void glTexEnvf(GLenum, GLenum, GLfloat) {}
void glTexParameteri(GLenum, GLenum, GLint) {}
void glTexCoord2d(GLdouble, GLdouble) {}
GLint gluBuild2DMipmaps(GLenum, GLint, GLsizei, GLsizei, GLenum, GLenum, const void *) { return 0; }

} // extern "C"
