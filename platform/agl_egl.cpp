// AGL over headless EGL: contexts draw into an offscreen framebuffer object
// that stands for the window's buffer; a swap reads it back into the port.
#include "platform/agl.h"
#include "platform/agl_test_hooks.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/qd_port_frame.h"

struct __AGLPixelFormatRec {
    EGLConfig config;
    GLint depthBits;
};

struct __AGLContextRec {
    EGLContext egl;
    GLint depthBits;
    AGLDrawable port; // not owned; null when detached
    GLint swapInterval;
    // Buffer rectangle as set and enabled; taken up by aglUpdateContext.
    GLint rectSet[4];
    bool rectGiven;
    bool rectEnabled;
    // What the framebuffer covers now: x, y, width, height (bottom-up).
    GLint active[4];
    bool resizePending; // `active` changed and the framebuffer has not followed
    GLuint fbo, colorRb, depthRb;
    GLint fboWidth, fboHeight;
    GLint fboSamples; // per pixel; 0: one, drawn in place
    bool fboUnseen;   // one pixel for frames nobody sees (QVPort_SetUnseenFrames)
    // Where a multisampled frame is resolved to one colour per pixel before
    // the read-back; made with the first multisampled framebuffer.
    GLuint resolveFbo, resolveRb;
    bool viewportSet; // the first drawable sets the viewport to its size
    UInt32 *readback; // fboWidth x fboHeight words; null when swaps read straight into the port
};

namespace {

struct FboFunctions {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage;
    PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC renderbufferStorageMultisample;
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer;
};

EGLDisplay g_display = EGL_NO_DISPLAY;
bool g_displayTried = false;
FboFunctions g_fbo;
bool g_fboLoaded = false;
// Largest framebuffer side the GL can make and view (0 until a context has
// been current).
GLint g_maxSide = 0;
GLint g_maxSamples = 0; // per pixel, in a multisampled renderbuffer
// The GL can read rows top first (GL_MESA_pack_invert): swaps then read the
// frame straight into the port. Known once a context has been current.
bool g_packInvert = false;
bool g_straightAllowed = true; // test hook: QVAGL_AllowStraightReadBack
thread_local AGLContext g_current = nullptr;

long g_liveContexts = 0;
long g_liveFormats = 0;
long g_liveFramebuffers = 0;
int g_failures[kQVAGLEnable + 1];

bool Injected(QVAGLCall call)
{
    int &n = g_failures[call];
    if (n == 0)
        return false;
    if (n > 0)
        --n;
    return true;
}

bool HasWord(const char *list, const char *word)
{
    if (list == nullptr)
        return false;
    const size_t len = std::strlen(word);
    for (const char *p = list; (p = std::strstr(p, word)) != nullptr; p += len) {
        const bool startOk = p == list || p[-1] == ' ';
        const bool endOk = p[len] == '\0' || p[len] == ' ';
        if (startOk && endOk)
            return true;
    }
    return false;
}

// A display that can make desktop GL contexts current without a surface.
bool UsableDisplay(EGLDisplay dpy)
{
    if (dpy == EGL_NO_DISPLAY || !eglInitialize(dpy, nullptr, nullptr))
        return false;
    if (HasWord(eglQueryString(dpy, EGL_CLIENT_APIS), "OpenGL") &&
        HasWord(eglQueryString(dpy, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context"))
        return true;
    eglTerminate(dpy);
    return false;
}

// A GPU's EGL device if a driver offers one (software devices are skipped),
// else Mesa's surfaceless platform. Neither needs a window system.
EGLDisplay OpenDisplay()
{
    const char *client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (HasWord(client, "EGL_EXT_platform_device")) {
        auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
        auto queryDeviceString =
            reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(eglGetProcAddress("eglQueryDeviceStringEXT"));
        EGLDeviceEXT devices[16];
        EGLint count = 0;
        if (queryDevices && queryDeviceString && queryDevices(16, devices, &count)) {
            for (EGLint i = 0; i < count; ++i) {
                if (HasWord(queryDeviceString(devices[i], EGL_EXTENSIONS), "EGL_MESA_device_software"))
                    continue;
                EGLDisplay dpy = eglGetPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
                if (UsableDisplay(dpy))
                    return dpy;
            }
        }
    }
    if (HasWord(client, "EGL_MESA_platform_surfaceless")) {
        EGLDisplay dpy = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (UsableDisplay(dpy))
            return dpy;
    }
    return EGL_NO_DISPLAY;
}

EGLDisplay Display()
{
    if (!g_displayTried) {
        g_displayTried = true;
        g_display = OpenDisplay();
    }
    return g_display;
}

template <typename F> void Load(F &f, const char *name)
{
    f = reinterpret_cast<F>(eglGetProcAddress(name));
}

bool LoadFboFunctions()
{
    if (!g_fboLoaded) {
        Load(g_fbo.genFramebuffers, "glGenFramebuffers");
        Load(g_fbo.deleteFramebuffers, "glDeleteFramebuffers");
        Load(g_fbo.bindFramebuffer, "glBindFramebuffer");
        Load(g_fbo.framebufferRenderbuffer, "glFramebufferRenderbuffer");
        Load(g_fbo.checkFramebufferStatus, "glCheckFramebufferStatus");
        Load(g_fbo.genRenderbuffers, "glGenRenderbuffers");
        Load(g_fbo.deleteRenderbuffers, "glDeleteRenderbuffers");
        Load(g_fbo.bindRenderbuffer, "glBindRenderbuffer");
        Load(g_fbo.renderbufferStorage, "glRenderbufferStorage");
        Load(g_fbo.renderbufferStorageMultisample, "glRenderbufferStorageMultisample");
        Load(g_fbo.blitFramebuffer, "glBlitFramebuffer");
        g_fboLoaded = g_fbo.genFramebuffers && g_fbo.deleteFramebuffers && g_fbo.bindFramebuffer &&
                      g_fbo.framebufferRenderbuffer && g_fbo.checkFramebufferStatus && g_fbo.genRenderbuffers &&
                      g_fbo.deleteRenderbuffers && g_fbo.bindRenderbuffer && g_fbo.renderbufferStorage;
        if (!g_fbo.renderbufferStorageMultisample || !g_fbo.blitFramebuffer)
            g_maxSamples = 0; // no multisampling: frames are drawn plain
    }
    return g_fboLoaded;
}

bool MakeCurrent(AGLContext ctx)
{
    const EGLContext egl = ctx ? ctx->egl : EGL_NO_CONTEXT;
    if (!eglMakeCurrent(g_display, EGL_NO_SURFACE, EGL_NO_SURFACE, egl))
        return false;
    g_current = ctx;
    if (ctx && g_maxSide == 0) {
        GLint renderbuffer = 0, viewport[2] = {0, 0};
        glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
        glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
        g_maxSide = std::min({renderbuffer, viewport[0], viewport[1]});
        glGetIntegerv(GL_MAX_SAMPLES, &g_maxSamples);
        g_packInvert = HasWord(reinterpret_cast<const char *>(glGetString(GL_EXTENSIONS)), "GL_MESA_pack_invert");
    }
    return true;
}

bool ReadsStraight()
{
    return g_packInvert && g_straightAllowed;
}

// A framebuffer of w x h that the GL cannot make (or cannot view whole)
// would only waste the read-back memory reserved for it.
bool BeyondGL(GLint w, GLint h)
{
    return g_maxSide > 0 && (w > g_maxSide || h > g_maxSide);
}

// Makes `ctx` current for the lifetime of the guard if it is not already,
// and restores the previous context afterwards.
class CurrentFor {
public:
    explicit CurrentFor(AGLContext ctx) : previous_(g_current), switched_(ctx != g_current)
    {
        ok_ = !switched_ || MakeCurrent(ctx);
    }
    ~CurrentFor()
    {
        if (switched_ && ok_)
            MakeCurrent(previous_);
    }
    CurrentFor(const CurrentFor &) = delete;
    CurrentFor &operator=(const CurrentFor &) = delete;
    bool ok() const { return ok_; }

private:
    AGLContext previous_;
    bool switched_;
    bool ok_;
};

void PortSize(AGLDrawable port, GLint *width, GLint *height)
{
    Rect b;
    GetPortBounds(port, &b);
    *width = GLint{b.right} - b.left;
    *height = GLint{b.bottom} - b.top;
}

// What the framebuffer should cover: the enabled buffer rectangle, else the
// whole port.
void TakeUpDrawable(AGLContext ctx)
{
    if (ctx->rectEnabled && ctx->rectGiven) {
        std::memcpy(ctx->active, ctx->rectSet, sizeof ctx->active);
    } else {
        ctx->active[0] = ctx->active[1] = 0;
        PortSize(ctx->port, &ctx->active[2], &ctx->active[3]);
    }
    ctx->resizePending = true;
}

// The samples per pixel a framebuffer for `ctx`'s port gets: what the port
// asks for, as far as the GL goes; 0 for one.
GLint WantedSamples(AGLContext ctx)
{
    const UInt32 asked = QVPort_Samples(ctx->port);
    const GLint samples = asked > static_cast<UInt32>(g_maxSamples) ? g_maxSamples : static_cast<GLint>(asked);
    return samples >= 2 ? samples : 0;
}

// Storage for `rb`: `samples` per pixel (0: one).
void Store(GLuint rb, GLint samples, GLenum format, GLint w, GLint h)
{
    g_fbo.bindRenderbuffer(GL_RENDERBUFFER, rb);
    if (samples > 0)
        g_fbo.renderbufferStorageMultisample(GL_RENDERBUFFER, samples, format, w, h);
    else
        g_fbo.renderbufferStorage(GL_RENDERBUFFER, format, w, h);
}

// The single-sampled framebuffer a multisampled one of w x h resolves into.
bool FitResolve(AGLContext ctx, GLint w, GLint h)
{
    if (ctx->resolveFbo == 0) {
        g_fbo.genFramebuffers(1, &ctx->resolveFbo);
        g_fbo.genRenderbuffers(1, &ctx->resolveRb);
    }
    Store(ctx->resolveRb, 0, GL_RGBA8, w, h);
    g_fbo.bindRenderbuffer(GL_RENDERBUFFER, 0);
    g_fbo.bindFramebuffer(GL_FRAMEBUFFER, ctx->resolveFbo);
    g_fbo.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, ctx->resolveRb);
    return g_fbo.checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

// Gives the current context `ctx` a framebuffer of the active size (one
// pixel while its port's frames are unseen) with the port's samples per
// pixel, and binds it. Allocation happens here, never per frame.
bool FitFramebuffer(AGLContext ctx)
{
    if (!ctx->resizePending)
        return ctx->fbo != 0;
    if (!LoadFboFunctions())
        return false;
    const bool unseen = QVPort_UnseenFrames(ctx->port) > 0;
    const GLint w = unseen ? 1 : ctx->active[2];
    const GLint h = unseen ? 1 : ctx->active[3];
    const GLint samples = unseen ? 0 : WantedSamples(ctx);
    if (w <= 0 || h <= 0 || BeyondGL(w, h))
        return false;
    UInt32 *readback = nullptr;
    if (!ReadsStraight()) {
        readback = static_cast<UInt32 *>(std::malloc(static_cast<size_t>(w) * static_cast<size_t>(h) * 4u));
        if (!readback)
            return false;
    }
    std::free(ctx->readback);
    ctx->readback = readback;

    if (ctx->fbo == 0) {
        g_fbo.genFramebuffers(1, &ctx->fbo);
        if (ctx->fbo != 0)
            ++g_liveFramebuffers;
        g_fbo.genRenderbuffers(1, &ctx->colorRb);
        g_fbo.genRenderbuffers(1, &ctx->depthRb);
    }
    if (samples > 0 && !FitResolve(ctx, w, h))
        return false;
    Store(ctx->colorRb, samples, GL_RGBA8, w, h);
    Store(ctx->depthRb, samples, ctx->depthBits > 16 ? GL_DEPTH_COMPONENT24 : GL_DEPTH_COMPONENT16, w, h);
    g_fbo.bindRenderbuffer(GL_RENDERBUFFER, 0);
    g_fbo.bindFramebuffer(GL_FRAMEBUFFER, ctx->fbo);
    g_fbo.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, ctx->colorRb);
    g_fbo.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, ctx->depthRb);
    if (g_fbo.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        return false;
    ctx->fboWidth = w;
    ctx->fboHeight = h;
    ctx->fboSamples = samples;
    ctx->fboUnseen = unseen;
    ctx->resizePending = false;
    if (!ctx->viewportSet) {
        glViewport(0, 0, ctx->active[2], ctx->active[3]);
        ctx->viewportSet = true;
    }
    return true;
}

// A swap of a frame nobody sees, or of the last one drawn into the
// framebuffer of one pixel: nothing is read back, and the framebuffer
// follows the port (one pixel for the next unseen frame, else the whole
// size again). The frame procedure is not called.
void SwapUnseen(AGLContext ctx)
{
    QVPort_CountUnseenFrame(ctx->port);
    if (ctx->fboUnseen == (QVPort_UnseenFrames(ctx->port) > 0))
        return;
    CurrentFor current(ctx);
    ctx->resizePending = true;
    if (current.ok())
        FitFramebuffer(ctx);
}

// One row of the frame into the port (or the port's row in place), made opaque: the pixel format has no
// alpha, so the window's pixels are whole whatever GL left in alpha. Blocks
// of eight words give the compiler a fixed-size body it turns into vector
// ORs; the tail goes one word at a time.
void CopyRowOpaque(UInt32 *dst, const UInt32 *src, GLint count)
{
    constexpr GLint kBlock = 8;
    GLint i = 0;
    for (; i + kBlock <= count; i += kBlock) {
        UInt32 block[kBlock];
        std::memcpy(block, src + i, sizeof block);
        for (UInt32 &word : block)
            word |= 0xFF000000u;
        std::memcpy(dst + i, block, sizeof block);
    }
    for (; i < count; ++i)
        dst[i] = src[i] | 0xFF000000u;
}

} // namespace

extern "C" AGLPixelFormat aglChoosePixelFormat(const AGLDevice *, GLint, const GLint *attribs)
{
    if (Injected(kQVAGLChoosePixelFormat))
        return nullptr;
    GLint depthBits = 0;
    for (const GLint *a = attribs; a && *a != AGL_NONE; ++a) {
        switch (*a) {
        case AGL_RGBA:
        case AGL_DOUBLEBUFFER:
        case AGL_ACCELERATED: // software rendering counts: a visual that needs no GPU runs everywhere
            break;
        case AGL_DEPTH_SIZE:
            depthBits = *++a;
            if (depthBits < 0 || depthBits > 24)
                return nullptr;
            break;
        default:
            return nullptr;
        }
    }
    EGLDisplay dpy = Display();
    if (dpy == EGL_NO_DISPLAY)
        return nullptr;
    // No window surfaces here: any surface type will do (the default asks for windows).
    const EGLint want[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, 0, EGL_NONE};
    EGLConfig config;
    EGLint found = 0;
    if (!eglChooseConfig(dpy, want, &config, 1, &found) || found < 1)
        return nullptr;
    auto *pix = new (std::nothrow) __AGLPixelFormatRec{config, depthBits};
    if (pix)
        ++g_liveFormats;
    return pix;
}

extern "C" void aglDestroyPixelFormat(AGLPixelFormat pix)
{
    if (!pix)
        return;
    --g_liveFormats;
    delete pix;
}

extern "C" AGLContext aglCreateContext(AGLPixelFormat pix, AGLContext share)
{
    if (Injected(kQVAGLCreateContext) || !pix || share)
        return nullptr;
    if (!eglBindAPI(EGL_OPENGL_API))
        return nullptr;
    const EGLint compat[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext egl = eglCreateContext(g_display, pix->config, EGL_NO_CONTEXT, compat);
    if (egl == EGL_NO_CONTEXT) // drivers without profile selection give compatibility anyway
        egl = eglCreateContext(g_display, pix->config, EGL_NO_CONTEXT, nullptr);
    if (egl == EGL_NO_CONTEXT)
        return nullptr;
    auto *ctx = new (std::nothrow) __AGLContextRec{};
    if (!ctx) {
        eglDestroyContext(g_display, egl);
        return nullptr;
    }
    ctx->egl = egl;
    ctx->depthBits = pix->depthBits > 0 ? pix->depthBits : 16;
    ++g_liveContexts;
    return ctx;
}

extern "C" GLboolean aglDestroyContext(AGLContext ctx)
{
    if (!ctx)
        return GL_FALSE;
    if (g_current == ctx)
        MakeCurrent(nullptr);
    // The framebuffer and renderbuffers go with the EGL context.
    eglDestroyContext(g_display, ctx->egl);
    if (ctx->fbo != 0)
        --g_liveFramebuffers;
    std::free(ctx->readback);
    delete ctx;
    --g_liveContexts;
    return GL_TRUE;
}

extern "C" GLboolean aglSetDrawable(AGLContext ctx, AGLDrawable draw)
{
    if (!ctx || Injected(kQVAGLSetDrawable))
        return GL_FALSE;
    ctx->port = draw;
    if (!draw) {
        if (g_current == ctx && ctx->fbo != 0)
            g_fbo.bindFramebuffer(GL_FRAMEBUFFER, 0); // drawing now goes nowhere
        return GL_TRUE;
    }
    TakeUpDrawable(ctx);
    if (g_current == ctx)
        FitFramebuffer(ctx);
    return GL_TRUE;
}

extern "C" GLboolean aglSetCurrentContext(AGLContext ctx)
{
    if (!ctx)
        return g_display == EGL_NO_DISPLAY || MakeCurrent(nullptr) ? GL_TRUE : GL_FALSE;
    if (Injected(kQVAGLSetCurrentContext) || !MakeCurrent(ctx))
        return GL_FALSE;
    if (ctx->port)
        FitFramebuffer(ctx);
    return GL_TRUE;
}

extern "C" AGLContext aglGetCurrentContext(void)
{
    return g_current;
}

extern "C" GLboolean aglUpdateContext(AGLContext ctx)
{
    if (!ctx || Injected(kQVAGLUpdateContext) || !ctx->port)
        return GL_FALSE;
    TakeUpDrawable(ctx);
    CurrentFor current(ctx);
    return current.ok() && FitFramebuffer(ctx) ? GL_TRUE : GL_FALSE;
}

extern "C" GLboolean aglSetInteger(AGLContext ctx, GLenum pname, const GLint *params)
{
    if (!ctx || !params || Injected(kQVAGLSetInteger))
        return GL_FALSE;
    switch (pname) {
    case AGL_SWAP_INTERVAL:
        if (params[0] != 0 && params[0] != 1)
            return GL_FALSE;
        ctx->swapInterval = params[0];
        return GL_TRUE;
    case AGL_BUFFER_RECT:
        // An empty rectangle has no framebuffer, and one larger than the GL
        // can make has no usable one: refuse them and keep the old one.
        if (params[2] <= 0 || params[3] <= 0 || BeyondGL(params[2], params[3]))
            return GL_FALSE;
        std::memcpy(ctx->rectSet, params, sizeof ctx->rectSet);
        ctx->rectGiven = true;
        return GL_TRUE;
    default:
        return GL_FALSE;
    }
}

extern "C" GLboolean aglGetInteger(AGLContext ctx, GLenum pname, GLint *params)
{
    if (!ctx || !params)
        return GL_FALSE;
    switch (pname) {
    case AGL_SWAP_INTERVAL:
        params[0] = ctx->swapInterval;
        return GL_TRUE;
    case AGL_BUFFER_RECT:
        if (ctx->rectGiven) {
            std::memcpy(params, ctx->rectSet, sizeof ctx->rectSet);
        } else {
            params[0] = params[1] = params[2] = params[3] = 0;
            if (ctx->port)
                PortSize(ctx->port, &params[2], &params[3]);
        }
        return GL_TRUE;
    default:
        return GL_FALSE;
    }
}

extern "C" GLboolean aglEnable(AGLContext ctx, GLenum pname)
{
    if (!ctx || pname != AGL_BUFFER_RECT || Injected(kQVAGLEnable))
        return GL_FALSE;
    ctx->rectEnabled = true;
    return GL_TRUE;
}

extern "C" GLboolean aglDisable(AGLContext ctx, GLenum pname)
{
    if (!ctx || pname != AGL_BUFFER_RECT)
        return GL_FALSE;
    ctx->rectEnabled = false;
    return GL_TRUE;
}

extern "C" void aglSwapBuffers(AGLContext ctx)
{
    if (!ctx || !ctx->port || ctx->fbo == 0 || ctx->resizePending)
        return;
    if (ctx->fboUnseen || QVPort_UnseenFrames(ctx->port) > 0) {
        SwapUnseen(ctx);
        return;
    }
    const GLint w = ctx->fboWidth;
    const GLint h = ctx->fboHeight;
    const GLint x = ctx->active[0];
    const GLint y = ctx->active[1];
    GLint portW, portH;
    PortSize(ctx->port, &portW, &portH);

    // Port rows run top-down: the framebuffer's top row (h - 1) lands on
    // port row portH - y - h. Clip against the port once, here.
    const GLint top = portH - y - h;
    const GLint left = x;
    const GLint clipTop = top < 0 ? 0 : top;
    const GLint clipBottom = top + h > portH ? portH : top + h;
    const GLint clipLeft = left < 0 ? 0 : left;
    const GLint clipRight = left + w > portW ? portW : left + w;
    if (clipTop >= clipBottom || clipLeft >= clipRight)
        return;

    PixMapHandle pm = QVPort_GetPixMap(ctx->port);
    char *base = (*pm)->baseAddr;
    const SInt32 rowBytes = (*pm)->rowBytes;
    const GLint columns = clipRight - clipLeft;
    {
        CurrentFor current(ctx);
        if (!current.ok())
            return;
        if (ctx->fboSamples > 0) {
            // One colour per pixel from its samples, then read from there.
            g_fbo.bindFramebuffer(GL_READ_FRAMEBUFFER, ctx->fbo);
            g_fbo.bindFramebuffer(GL_DRAW_FRAMEBUFFER, ctx->resolveFbo);
            g_fbo.blitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
            g_fbo.bindFramebuffer(GL_DRAW_FRAMEBUFFER, ctx->fbo);
            g_fbo.bindFramebuffer(GL_READ_FRAMEBUFFER, ctx->resolveFbo);
        } else {
            g_fbo.bindFramebuffer(GL_READ_FRAMEBUFFER, ctx->fbo);
        }
        if (ctx->readback == nullptr) {
            // Rows top first, straight into the port's rows: the frame
            // crosses memory once.
            const GLint rows = clipBottom - clipTop;
            glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
            glPixelStorei(GL_PACK_ROW_LENGTH, rowBytes / 4);
            glReadPixels(clipLeft - left, h - (clipBottom - top), columns, rows, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                         base + static_cast<std::ptrdiff_t>(clipTop) * rowBytes + clipLeft * 4);
            glPixelStorei(GL_PACK_ROW_LENGTH, 0);
            glPixelStorei(GL_PACK_INVERT_MESA, GL_FALSE);
        } else {
            glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, ctx->readback);
        }
        g_fbo.bindFramebuffer(GL_READ_FRAMEBUFFER, ctx->fbo);
    }
    // Made opaque in place, or without the GL's help turned over here.
    for (GLint portRow = clipTop; portRow < clipBottom; ++portRow) {
        const GLint fbRow = h - 1 - (portRow - top);
        UInt32 *dst = reinterpret_cast<UInt32 *>(base + static_cast<std::ptrdiff_t>(portRow) * rowBytes) + clipLeft;
        const UInt32 *src =
            ctx->readback ? ctx->readback + static_cast<size_t>(fbRow) * static_cast<size_t>(w) + (clipLeft - left)
                          : dst;
        CopyRowOpaque(dst, src, columns);
    }
    const Rect changed = {static_cast<SInt16>(clipTop), static_cast<SInt16>(clipLeft), static_cast<SInt16>(clipBottom),
                          static_cast<SInt16>(clipRight)};
    QVPort_FrameReady(ctx->port, &changed, ctx->swapInterval);
}

extern "C" void QVAGL_FailCall(QVAGLCall call, int count)
{
    if (call >= kQVAGLChoosePixelFormat && call <= kQVAGLEnable)
        g_failures[call] = count;
}

extern "C" void QVAGL_ResetFailures(void)
{
    std::memset(g_failures, 0, sizeof g_failures);
}

extern "C" void QVAGL_AllowStraightReadBack(int allow)
{
    g_straightAllowed = allow != 0;
}

extern "C" long QVAGL_LiveContextCount(void)
{
    return g_liveContexts;
}

extern "C" long QVAGL_LivePixelFormatCount(void)
{
    return g_liveFormats;
}

extern "C" long QVAGL_LiveFramebufferCount(void)
{
    return g_liveFramebuffers;
}
