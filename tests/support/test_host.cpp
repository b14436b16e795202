#include "support/test_host.h"

#include <GL/gl.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

#include "platform/mac_memory.h"
#include "platform/qv_clock.h"

#ifdef QV_TEST_BUNDLE_LINKED_IN
// The bundle's parts are linked into the program (qv_add_bundle_test LINKED,
// and every bundle test of a cross build, whose target has no GL to load a
// bundle with): its entry point is called directly, and its GL calls reach
// the GL recorder instead of a guard.
extern "C" OSStatus iTunesPluginMainMachO(OSType code, PluginInitRecord *record, void *refCon);
long RecordedLiveTextures(); // support/gl_recorder.cpp
#endif

namespace qvtest {
namespace {

// What the GL calls of the message being sent must find: none may be made,
// or this instance's context is current; between messages, any context.
enum class Expect { AnyContext, NoGL, Instance };
Expect g_expect = Expect::AnyContext;
const VisualPluginState *g_instance = nullptr;
long g_glCalls = 0;
std::set<std::pair<AGLContext, GLuint>> g_textures; // names made and not deleted, with their context

struct Expecting { // for the length of one message
    Expecting(Expect expect, const VisualPluginState *instance) { g_expect = expect, g_instance = instance; }
    ~Expecting() { g_expect = Expect::AnyContext; }
};

} // namespace

// Each guarded entry point checks the context, then calls libGL's.
void CheckGL(const char *function)
{
    ++g_glCalls;
    const AGLContext current = aglGetCurrentContext();
    const char *why = g_expect == Expect::NoGL                 ? "in a message without an instance"
                      : g_expect == Expect::AnyContext         ? (current ? nullptr : "without a current context")
                      : !g_instance || !g_instance->aglContext ? "for an instance without a context"
                      : current != g_instance->aglContext      ? "while another context is current"
                                                               : nullptr;
    if (why) {
        std::fprintf(stderr, "GL guard: %s called %s\n", function, why);
        std::abort();
    }
}

void FixClock(time_t now)
{
    static time_t fixed;
    fixed = now;
    QVClock_SetSource([](void *) { return fixed; }, nullptr);
}

long GLCallsSeen() { return g_glCalls; }
void ForgetTextures() { g_textures.clear(); }

#ifdef QV_TEST_BUNDLE_LINKED_IN
long LiveTextures() { return RecordedLiveTextures(); }

// The linked-in bundle's statics are new until the first host takes it up.
static PluginMainProcPtr TakeUpBundle(void **dl, bool *fresh)
{
    static bool taken = false;
    *dl = dlopen(nullptr, RTLD_NOW); // the program, which exports the bundle's names
    *fresh = !std::exchange(taken, true);
    return &iTunesPluginMainMachO;
}
#else
long LiveTextures() { return static_cast<long>(g_textures.size()); }

// Loads $QV_BUNDLE: fresh when no copy of it was loaded before.
static PluginMainProcPtr TakeUpBundle(void **dl, bool *fresh)
{
    const char *path = std::getenv("QV_BUNDLE");
    void *loaded = path ? dlopen(path, RTLD_NOW | RTLD_NOLOAD) : nullptr;
    *fresh = !loaded;
    if (loaded)
        dlclose(loaded);
    *dl = path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
    return *dl ? reinterpret_cast<PluginMainProcPtr>(dlsym(*dl, "iTunesPluginMainMachO")) : nullptr;
}
#endif

TestHost::TestHost(SInt16 width, SInt16 height)
{
    entry_ = TakeUpBundle(&dl_, &fresh_);
    port_ = QVPort_Create(width, height);
    if (!entry_ || !port_) {
        const char *path = std::getenv("QV_BUNDLE");
        std::fprintf(stderr, "cannot load $QV_BUNDLE (%s) or make a port\n", path ? path : "not set");
        return;
    }
    QVPort_SetFrameProc(port_, [](CGrafPtr, const Rect *rect, SInt32 interval, void *self) {
        TestHost *host = static_cast<TestHost *>(self);
        host->frames += 1, host->lastFrame = *rect, host->lastInterval = interval;
    }, this);
}

TestHost::~TestHost()
{
    if (refCon && hide() == noErr)
        cleanupInstance();
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
            states++, contexts += s->aglContext != nullptr, names += s->msgTexture != 0, scenes += s->polys != nullptr;
    const long alive[] = {QVPlatform_LivePtrCount(), QVAGL_LiveContextCount(), QVAGL_LiveFramebufferCount(),
                          QVAGL_LivePixelFormatCount(), textures ? LiveTextures() : names, scenes};
    const long held[] = {states, contexts, contexts, 0, names, contexts};
    char text[400] = "";
    if (!std::equal(alive, alive + 6, held))
        std::snprintf(text, sizeof text, "alive/held: states %ld/%ld, contexts %ld/%ld, framebuffers %ld/%ld, pixel "
                      "formats %ld/0, texture names %ld/%ld, scenes %ld/%ld", alive[0], held[0], alive[1], held[1],
                      alive[2], held[2], alive[3], alive[4], held[4], alive[5], held[5]);
    return text;
}

} // namespace qvtest

#ifndef QV_TEST_BUNDLE_LINKED_IN
// The guard's entry points, one on each of the bundle's GL paths (set-up,
// viewport, camera, frame, figures, texture) and the platform's swap.
#define QV_GUARDED(name, params, args)                                                                                 \
    extern "C" void name params                                                                                        \
    {                                                                                                                  \
        qvtest::CheckGL(#name);                                                                                        \
        static const auto real = reinterpret_cast<void(*) params>(dlsym(RTLD_NEXT, #name));                           \
        real args;                                                                                                     \
    }
QV_GUARDED(glBegin, (GLenum mode), (mode))
QV_GUARDED(glBindTexture, (GLenum target, GLuint texture), (target, texture))
QV_GUARDED(glClearColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a), (r, g, b, a))
QV_GUARDED(glLoadIdentity, (void), ())
QV_GUARDED(glMatrixMode, (GLenum mode), (mode))
QV_GUARDED(glViewport, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))
QV_GUARDED(glReadPixels, (GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, GLvoid *pixels),
           (x, y, w, h, format, type, pixels))

// Texture names are counted with their context; a context destroyed with
// names still held leaves them counted.
extern "C" void glGenTextures(GLsizei n, GLuint *textures)
{
    qvtest::CheckGL("glGenTextures");
    static const auto real = reinterpret_cast<void (*)(GLsizei, GLuint *)>(dlsym(RTLD_NEXT, "glGenTextures"));
    real(n, textures);
    for (GLsizei i = 0; i < n; ++i)
        qvtest::g_textures.insert({aglGetCurrentContext(), textures[i]});
}

extern "C" void glDeleteTextures(GLsizei n, const GLuint *textures)
{
    qvtest::CheckGL("glDeleteTextures");
    static const auto real = reinterpret_cast<void (*)(GLsizei, const GLuint *)>(dlsym(RTLD_NEXT, "glDeleteTextures"));
    real(n, textures);
    for (GLsizei i = 0; i < n; ++i)
        qvtest::g_textures.erase({aglGetCurrentContext(), textures[i]});
}
#endif
