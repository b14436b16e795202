#include "hardening/gl_guard.h"

#include <EGL/egl.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "platform/AGL.h"

namespace glguard {
namespace {

Expect g_expect = Expect::AnyContext;
const VisualPluginState *g_state = nullptr;
bool g_abort = true;
Stats g_stats;
std::string g_first;
std::map<EGLContext, std::set<GLuint>> g_textures;

// The real function: the next definition after this program's, or, for a
// library the program itself does not load (GLU comes in with the bundle,
// in the bundle's own scope), the one in that library.
void *Next(const char *name)
{
    void *f = dlsym(RTLD_NEXT, name);
    if (f == nullptr) {
        const char *library = name[2] == 'u' ? "libGLU.so.1" : name[0] == 'e' ? "libEGL.so.1" : "libGL.so.1";
        if (void *handle = dlopen(library, RTLD_NOW | RTLD_LOCAL))
            f = dlsym(handle, name);
    }
    if (f == nullptr) {
        std::fprintf(stderr, "gl_guard: no real %s to forward to (%s)\n", name, dlerror());
        std::abort();
    }
    return f;
}

void Violation(const char *function, const char *why)
{
    ++g_stats.violations;
    const std::string what = std::string(function) + ": " + why;
    if (g_first.empty())
        g_first = what;
    if (g_abort) {
        std::fprintf(stderr, "gl_guard: %s\n", what.c_str());
        std::abort();
    }
}

void Check(const char *function)
{
    ++g_stats.calls;
    switch (g_expect) {
    case Expect::NoGL:
        Violation(function, "GL call during a message that has no instance to draw for");
        return;
    case Expect::Instance:
        if (g_state == nullptr || g_state->aglContext == nullptr) {
            Violation(function, "GL call for an instance that holds no context");
            return;
        }
        if (aglGetCurrentContext() != g_state->aglContext) {
            Violation(function, "GL call while the instance's context is not the current one");
            return;
        }
        break;
    case Expect::AnyContext:
        break;
    }
    if (eglGetCurrentContext() == EGL_NO_CONTEXT)
        Violation(function, "GL call without a current context");
}

long CountLive()
{
    long n = 0;
    for (const auto &entry : g_textures)
        n += static_cast<long>(entry.second.size());
    return n;
}

} // namespace

void SetExpectation(Expect expect, const VisualPluginState *state)
{
    g_expect = expect;
    g_state = state;
}

void SetAbortOnViolation(bool abort)
{
    g_abort = abort;
}

Stats GetStats()
{
    Stats s = g_stats;
    s.liveTextures = CountLive();
    return s;
}

std::string FirstViolation()
{
    return g_first;
}

void ResetCounts()
{
    g_stats = Stats{};
    g_first.clear();
}

Scope::Scope(Expect expect, const VisualPluginState *state) : expect_(g_expect), state_(g_state)
{
    SetExpectation(expect, state);
}

Scope::~Scope()
{
    SetExpectation(expect_, state_);
}

} // namespace glguard

using glguard::Check;
using glguard::Next;

// One definition per entry point: check, then forward with the same arguments.
#define QV_GUARDED(ret, name, params, args)                                                                            \
    extern "C" ret name params                                                                                         \
    {                                                                                                                  \
        Check(#name);                                                                                                  \
        static const auto real = reinterpret_cast<ret(*) params>(Next(#name));                                         \
        return real args;                                                                                              \
    }

QV_GUARDED(void, glBegin, (GLenum mode), (mode))
QV_GUARDED(void, glEnd, (void), ())
QV_GUARDED(void, glBindTexture, (GLenum target, GLuint texture), (target, texture))
QV_GUARDED(void, glBlendFunc, (GLenum s, GLenum d), (s, d))
QV_GUARDED(void, glClear, (GLbitfield mask), (mask))
QV_GUARDED(void, glClearColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a), (r, g, b, a))
QV_GUARDED(void, glColor3f, (GLfloat r, GLfloat g, GLfloat b), (r, g, b))
QV_GUARDED(void, glColor4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), (r, g, b, a))
QV_GUARDED(void, glDepthFunc, (GLenum func), (func))
QV_GUARDED(void, glDisable, (GLenum cap), (cap))
QV_GUARDED(void, glEnable, (GLenum cap), (cap))
QV_GUARDED(void, glFinish, (void), ())
QV_GUARDED(void, glFlush, (void), ())
QV_GUARDED(void, glFrontFace, (GLenum mode), (mode))
QV_GUARDED(void, glLoadIdentity, (void), ())
QV_GUARDED(void, glMatrixMode, (GLenum mode), (mode))
QV_GUARDED(void, glPopMatrix, (void), ())
QV_GUARDED(void, glPushMatrix, (void), ())
QV_GUARDED(void, glScalef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))
QV_GUARDED(void, glTranslatef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))
QV_GUARDED(void, glTexCoord2d, (GLdouble s, GLdouble t), (s, t))
QV_GUARDED(void, glVertex2f, (GLfloat x, GLfloat y), (x, y))
QV_GUARDED(void, glTexEnvf, (GLenum target, GLenum pname, GLfloat param), (target, pname, param))
QV_GUARDED(void, glTexParameteri, (GLenum target, GLenum pname, GLint param), (target, pname, param))
QV_GUARDED(void, glViewport, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))
QV_GUARDED(const GLubyte *, glGetString, (GLenum name), (name))
QV_GUARDED(void, glReadPixels, (GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, GLvoid *pixels),
           (x, y, w, h, format, type, pixels))
QV_GUARDED(void, gluOrtho2D, (GLdouble left, GLdouble right, GLdouble bottom, GLdouble top),
           (left, right, bottom, top))
QV_GUARDED(GLint, gluBuild2DMipmaps,
           (GLenum target, GLint internalFormat, GLsizei width, GLsizei height, GLenum format, GLenum type,
            const void *data),
           (target, internalFormat, width, height, format, type, data))

// Texture names are kept per context, so that a context destroyed while it
// still holds some shows up.
extern "C" void glGenTextures(GLsizei n, GLuint *textures)
{
    Check("glGenTextures");
    static const auto real = reinterpret_cast<void (*)(GLsizei, GLuint *)>(Next("glGenTextures"));
    real(n, textures);
    const EGLContext ctx = eglGetCurrentContext();
    if (ctx == EGL_NO_CONTEXT || textures == nullptr)
        return;
    for (GLsizei i = 0; i < n; ++i)
        if (textures[i] != 0)
            glguard::g_textures[ctx].insert(textures[i]);
}

extern "C" void glDeleteTextures(GLsizei n, const GLuint *textures)
{
    Check("glDeleteTextures");
    static const auto real = reinterpret_cast<void (*)(GLsizei, const GLuint *)>(Next("glDeleteTextures"));
    real(n, textures);
    const auto held = glguard::g_textures.find(eglGetCurrentContext());
    if (held == glguard::g_textures.end() || textures == nullptr)
        return;
    for (GLsizei i = 0; i < n; ++i)
        held->second.erase(textures[i]);
    if (held->second.empty())
        glguard::g_textures.erase(held);
}

extern "C" EGLBoolean eglDestroyContext(EGLDisplay dpy, EGLContext ctx)
{
    static const auto real = reinterpret_cast<EGLBoolean (*)(EGLDisplay, EGLContext)>(Next("eglDestroyContext"));
    const auto held = glguard::g_textures.find(ctx);
    if (held != glguard::g_textures.end()) {
        glguard::g_stats.texturesDroppedWithContext += static_cast<long>(held->second.size());
        glguard::g_textures.erase(held);
    }
    return real(dpy, ctx);
}
