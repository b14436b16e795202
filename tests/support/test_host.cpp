#include "support/test_host.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "platform/MacMemory.h"
#include "platform/QVClock.h"

namespace qvtest {
namespace {

// What the GL calls of the message being sent must find: nothing (no GL at
// all), or this instance's context current; between messages, any context.
enum class Expect { AnyContext, NoGL, Instance };
Expect g_expect = Expect::AnyContext;
const VisualPluginState *g_instance = nullptr;
long g_glCalls = 0;
std::map<AGLContext, std::set<GLuint>> g_textures; // names each context made and has not deleted

struct Expecting { // for the length of one message
    Expecting(Expect expect, const VisualPluginState *instance) { g_expect = expect, g_instance = instance; }
    ~Expecting() { g_expect = Expect::AnyContext; }
};

} // namespace

// A GL entry point of the guard checks the context, then calls libGL's (or,
// for GLU, which only the bundle loads, the library's own).
void CheckGL(const char *function)
{
    ++g_glCalls;
    const AGLContext current = aglGetCurrentContext();
    const char *why = g_expect == Expect::NoGL                   ? "in a message without an instance"
                      : g_expect == Expect::AnyContext           ? (current ? nullptr : "without a current context")
                      : !g_instance || !g_instance->aglContext   ? "for an instance without a context"
                      : current != g_instance->aglContext        ? "while another context is current"
                                                                 : nullptr;
    if (why) {
        std::fprintf(stderr, "GL guard: %s called %s\n", function, why);
        std::abort();
    }
}

void *RealGL(const char *name)
{
    void *f = dlsym(RTLD_NEXT, name);
    if (void *lib = f ? nullptr : dlopen(name[2] == 'u' ? "libGLU.so.1" : "libGL.so.1", RTLD_NOW | RTLD_LOCAL))
        f = dlsym(lib, name);
    if (!f)
        std::abort();
    return f;
}

void FixClock(time_t now)
{
    static time_t fixed;
    fixed = now;
    QVClock_SetSource([](void *) { return fixed; }, nullptr);
}

long GLCallsSeen() { return g_glCalls; }

long LiveTextures()
{
    long n = 0;
    for (const auto &held : g_textures)
        n += static_cast<long>(held.second.size());
    return n;
}

void ForgetTextures()
{
    g_textures.clear();
}

TestHost::TestHost(SInt16 width, SInt16 height)
{
    const char *path = std::getenv("QV_BUNDLE");
    void *loaded = path ? dlopen(path, RTLD_NOW | RTLD_NOLOAD) : nullptr;
    fresh_ = !loaded;
    if (loaded)
        dlclose(loaded);
    dl_ = path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
    entry_ = dl_ ? reinterpret_cast<PluginMainProcPtr>(dlsym(dl_, "iTunesPluginMainMachO")) : nullptr;
    port_ = QVPort_Create(width, height);
    if (!entry_ || !port_) {
        std::fprintf(stderr, "cannot load $QV_BUNDLE (%s) or make a port\n", path ? path : "not set");
        return;
    }
    QVPort_SetFrameProc(port_, [](CGrafPtr, const Rect *rect, SInt32 interval, void *self) {
        TestHost *host = static_cast<TestHost *>(self);
        host->frames += 1;
        host->lastFrame = *rect;
        host->lastInterval = interval;
    }, this);
}

TestHost::~TestHost()
{
    if (refCon) {
        hide();
        cleanupInstance();
    }
    if (dl_)
        dlclose(dl_);
    QVPort_Dispose(port_);
}

void *TestHost::symbol(const char *name) const { return dlsym(dl_, name); }

OSStatus TestHost::Proc(void *cookie, OSType code, HostCallRecord *record)
{
    TestHost *self = static_cast<TestHost *>(cookie);
    if (self->onCall)
        self->onCall(code, record);
    self->calls.push_back(HostCall{code, *record});
    if (code == kPlayerRegisterVisualPluginMessage)
        self->handler = record->u.registerVisualPluginMessage.handler;
    return self->answer;
}

OSStatus TestHost::initModule()
{
    Expecting noGL(Expect::NoGL, nullptr);
    PluginInitRecord record{0, 0, this, &Proc, 0};
    return entry_(kPluginInitMessage, &record, nullptr);
}

OSStatus TestHost::initInstance()
{
    Expecting noGL(Expect::NoGL, nullptr);
    VisualInitRecord record{};
    record.hostCookie = this;
    record.hostProc = &Proc;
    const OSStatus status = handler(kPluginInitMessage, &record, nullptr);
    refCon = status == noErr ? record.refCon : refCon;
    return status;
}

OSStatus TestHost::cleanupInstance()
{
    const OSStatus status = send(kPluginCleanupMessage, nullptr);
    refCon = nullptr;
    return status;
}

OSStatus TestHost::send(OSType code, void *record)
{
    Expecting instance(Expect::Instance, state());
    return handler(code, record, refCon);
}

OSStatus TestHost::sendWithout(OSType code, void *record)
{
    Expecting noGL(Expect::NoGL, nullptr);
    return handler(code, record, nullptr);
}

OSStatus TestHost::show(const Rect &rect, CGrafPtr port)
{
    WindowRecord record{port ? port : port_, rect};
    return send(kVisualPluginShowWindowMessage, &record);
}

OSStatus TestHost::swin(const Rect &rect)
{
    WindowRecord record{port_, rect};
    return send(kVisualPluginSetWindowMessage, &record);
}

OSStatus TestHost::render(const RenderData &data)
{
    RenderMessageRecord record{const_cast<RenderData *>(&data)};
    return send(kVisualPluginRenderMessage, &record);
}

OSStatus TestHost::render(UInt8 level)
{
    RenderData data{};
    data.numSpectrumChannels = 2;
    std::memset(data.spectrumData[0], level, 40);
    return render(data);
}

Rect TestHost::whole() const
{
    Rect bounds;
    return *GetPortBounds(port_, &bounds);
}

std::string Unaccounted(const std::vector<const TestHost *> &hosts, bool textures)
{
    long states = 0, contexts = 0, names = 0, scenes = 0; // held by the instances
    for (const TestHost *host : hosts)
        if (const VisualPluginState *s = host->state())
            states += 1, contexts += s->aglContext != nullptr, names += s->msgTexture != 0, scenes += s->polys != nullptr;
    const long alive[] = {QVPlatform_LivePtrCount(), QVAGL_LiveContextCount(), QVAGL_LiveFramebufferCount(),
                          QVAGL_LivePixelFormatCount(), textures ? LiveTextures() : names};
    const long held[] = {states, contexts, contexts, 0, names};
    if (std::equal(alive, alive + 5, held) && scenes == contexts)
        return "";
    char text[200];
    std::snprintf(text, sizeof text, "alive/held: state blocks %ld/%ld, contexts %ld/%ld, framebuffers %ld/%ld, "
                  "pixel formats %ld/0, texture names %ld/%ld; scenes %ld", alive[0], held[0], alive[1], held[1],
                  alive[2], held[2], alive[3], alive[4], held[4], scenes);
    return text;
}

} // namespace qvtest

// The guard's entry points: one definition each, checking, then forwarding
// with the same arguments.
#define QV_GUARDED(ret, name, params, args)                                                                            \
    extern "C" ret name params                                                                                         \
    {                                                                                                                  \
        qvtest::CheckGL(#name);                                                                                        \
        static const auto real = reinterpret_cast<ret(*) params>(qvtest::RealGL(#name));                               \
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

// Texture names are counted per context; a context destroyed with names
// still held leaves them counted.
extern "C" void glGenTextures(GLsizei n, GLuint *textures)
{
    qvtest::CheckGL("glGenTextures");
    static const auto real = reinterpret_cast<void (*)(GLsizei, GLuint *)>(qvtest::RealGL("glGenTextures"));
    real(n, textures);
    qvtest::g_textures[aglGetCurrentContext()].insert(textures, textures + n);
}

extern "C" void glDeleteTextures(GLsizei n, const GLuint *textures)
{
    qvtest::CheckGL("glDeleteTextures");
    static const auto real = reinterpret_cast<void (*)(GLsizei, const GLuint *)>(qvtest::RealGL("glDeleteTextures"));
    real(n, textures);
    for (GLsizei i = 0; i < n; ++i)
        qvtest::g_textures[aglGetCurrentContext()].erase(textures[i]);
}
