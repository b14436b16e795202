// The add-on driven through Kodi's add-on C tables: create, an instance of the viewport's size,
// start, audio in Kodi's chunks, render into "Kodi's" GL context (3.2 core, into a framebuffer).
// It draws now with the system's clock: its frames are the program's when it has heard the audio up
// to each frame's moment, with the platform's clock (shared with the bundle, qv_clock.h) pinned.
#include <kodi/c-api/addon-instance/visualization.h>
#include <kodi/versions.h>

#define GL_GLEXT_PROTOTYPES 1
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "host/host_test_support.h"
#include "host/visual/frame_grid.h"
#include "platform/qv_clock.h"
#include "support/image_io.h"

namespace {

using namespace qvtest;

std::vector<std::string> gLog; // what the add-on said: "<level> <text>"
std::string gBundle;           // its setting
int gWidth, gHeight;           // the viewport Kodi gives it

void Free(KODI_ADDON_BACKEND_HDL, char *s) { free(s); }
void Log(KODI_ADDON_BACKEND_HDL, int level, const char *text) { gLog.push_back(std::to_string(level) + " " + text); }
char *UserPath(KODI_ADDON_BACKEND_HDL) { return strdup("/tmp"); }
bool Setting(KODI_ADDON_BACKEND_HDL, const char *, char **value) { return (*value = strdup(gBundle.c_str())); }
void Properties(KODI_HANDLE, KODI_ADDON_VISUALIZATION_PROPS *p) { *p = {nullptr, 0, 0, gWidth, gHeight, 1.0f}; }

// Kodi's side of one session with one visualization instance.
struct Session {
    AddonToKodiFuncTable_kodi_addon addon{};       // paths and settings
    AddonToKodiFuncTable_Addon toKodi{};           // log, strings
    KodiToAddonFuncTable_Addon toAddon{};          // filled by the add-on
    AddonGlobalInterface global{};
    KODI_ADDON_INSTANCE_FUNC_CB callbacks{};       // none used
    KODI_ADDON_INSTANCE_FUNC functions{};          // filled by the add-on
    KODI_ADDON_INSTANCE_INFO info{};
    AddonToKodiFuncTable_Visualization toKodiVis{}; // the viewport
    KodiToAddonFuncTable_Visualization vis{};       // start, audio, render, ...
    AddonInstance_Visualization both{&toKodiVis, &vis};
    KODI_ADDON_INSTANCE_STRUCT instance{};

    void open(int width, int height)
    {
        gWidth = width, gHeight = height;
        addon.get_user_path = UserPath, addon.get_setting_string = Setting;
        toKodi = {this, Free, nullptr, Log, nullptr, &addon, nullptr, nullptr, nullptr, nullptr};
        global.toKodi = &toKodi, global.toAddon = &toAddon, toKodiVis.get_properties = Properties;
        info.type = ADDON_INSTANCE_VISUALIZATION, info.version = ADDON_INSTANCE_VERSION_VISUALIZATION;
        info.first_instance = true, info.functions = &callbacks;
        instance.info = &info, instance.functions = &functions, instance.visualization = &both;
        void *library = dlopen(QV_TEST_ADDON, RTLD_NOW | RTLD_LOCAL);
        ASSERT_TRUE(library) << dlerror();
        // Kodi refuses an instance of a type the library was not built for.
        ASSERT_STREQ(reinterpret_cast<const char *(*)(int)>(dlsym(library, "ADDON_GetTypeVersion"))(
                         ADDON_INSTANCE_VISUALIZATION), ADDON_INSTANCE_VERSION_VISUALIZATION);
        ASSERT_EQ(reinterpret_cast<ADDON_STATUS (*)(KODI_HANDLE)>(dlsym(library, "ADDON_Create"))(&global), ADDON_STATUS_OK);
        ASSERT_EQ(toAddon.create_instance(global.addonBase, &instance), ADDON_STATUS_OK);
    }
    ~Session()
    {
        if (instance.hdl)
            toAddon.destroy_instance(global.addonBase, &instance);
        if (toAddon.destroy)
            toAddon.destroy(global.addonBase);
    }
};

// Kodi's GL state as a render leaves it: bindings, active unit, switches, errors.
std::vector<GLint> KodiState()
{
    std::vector<GLint> v;
    for (GLenum e : {GL_CURRENT_PROGRAM, GL_ACTIVE_TEXTURE, GL_VERTEX_ARRAY_BINDING, GL_ARRAY_BUFFER_BINDING,
                     GL_TEXTURE_BINDING_2D, GL_UNPACK_ALIGNMENT})
        glGetIntegerv(e, &v.emplace_back());
    for (GLenum e : {GL_BLEND, GL_SCISSOR_TEST, GL_CULL_FACE})
        v.push_back(glIsEnabled(e));
    v.push_back(GLint(glGetError()));
    return v;
}

time_t Pinned(void *seconds) { return *static_cast<time_t *>(seconds); }
float Sweep(int c, double t) { return float((0.3 + 0.6 * t) * std::sin(2 * M_PI * (150 + 500 * t + 200 * c) * t)); }

// The process's first visual (a visual keeps its bass level while the bundle is loaded).
TEST(KodiAddon, ShowsTheProgramsFramesAndLeavesKodisGlStateAsItWas)
{
    constexpr int kRate = 44100, kFps = 30, kChunk = kRate / 10; // Kodi's chunks
    TempDir dir;
    WriteAudio(dir / "in.wav", kRate, 0.5, Sweep, 2, {"-c:a", "pcm_f32le"});
    ASSERT_EQ(Execute(kProgram, {"render", dir / "in.wav", "-o", dir / "%04d.png", "--size", "96x64", "--fps", "30", "-q"}).status, 0);
    std::vector<float> audio;
    for (int i = 0; i < kRate; ++i) // half a second, interleaved
        audio.push_back(Sweep(i % 2, double(i / 2) / kRate));

    Session session;
    ASSERT_NO_FATAL_FAILURE(session.open(96, 64));
    // "Kodi's" context, never eglTerminated: the display is the process's, the bundle's too.
    EGLDisplay display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    const EGLint want[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, 0, EGL_NONE}, core[] = {
        EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 2, EGL_CONTEXT_OPENGL_PROFILE_MASK,
        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    EGLConfig config;
    EGLint configs = 0;
    ASSERT_TRUE(eglInitialize(display, nullptr, nullptr) && eglBindAPI(EGL_OPENGL_API) &&
                eglChooseConfig(display, want, &config, 1, &configs) && configs == 1 &&
                eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, eglCreateContext(display, config, nullptr, core)));
    GLuint screen, colour, kodis[3]; // Kodi's vertex array, buffer and texture
    glGenRenderbuffers(1, &colour), glGenFramebuffers(1, &screen);
    glBindRenderbuffer(GL_RENDERBUFFER, colour), glBindFramebuffer(GL_FRAMEBUFFER, screen);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 96, 64);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glGenVertexArrays(1, &kodis[0]), glGenBuffers(1, &kodis[1]), glGenTextures(1, &kodis[2]);
    glViewport(0, 0, 96, 64), glActiveTexture(GL_TEXTURE3), glBindVertexArray(kodis[0]);
    glBindBuffer(GL_ARRAY_BUFFER, kodis[1]), glBindTexture(GL_TEXTURE_2D, kodis[2]), glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glEnable(GL_BLEND), glEnable(GL_SCISSOR_TEST), glEnable(GL_CULL_FACE), glScissor(0, 0, 96, 64);
    const std::vector<GLint> kodiState = KodiState();

    time_t seconds = 0; // every frame's
    QVClock_SetSource(Pinned, &seconds);
    gBundle = kBundle;
    ASSERT_TRUE(session.vis.start(session.instance.hdl, 2, kRate, 32, "Sweep"));
    const int frames = int(dir.entries().size()) - 1; // but in.wav
    ASSERT_EQ(frames, 15);
    int heard = 0;
    for (int n = 0; n <= frames; ++n) { // each render shows the frame asked for at the render before
        const int until = n < frames ? int(qvhost::FrameSample(n, kRate, {kFps, 1})) : heard;
        for (int chunk; heard < until; heard += chunk)
            session.vis.audio_data(session.instance.hdl, &audio[2 * heard], 2 * (chunk = std::min(kChunk, until - heard)));
        glClear(GL_COLOR_BUFFER_BIT);
        session.vis.render(session.instance.hdl);
        ASSERT_EQ(KodiState(), kodiState) << "Kodi's GL state changed at render " << n;
        char name[16];
        std::snprintf(name, sizeof name, "%04d.png", n - 1);
        Image shown{96, 64, std::vector<uint32_t>(96 * 64)}, expected;
        for (int y = 0; y < 64; ++y) // rows top first
            glReadPixels(0, 63 - y, 96, 1, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, &shown.argb[96 * y]);
        ASSERT_TRUE(n == 0 || (ReadPng(dir / name, expected) && Compare(shown, expected, 0).beyondTolerance == 0)) << name;
    }
    session.vis.stop(session.instance.hdl);
    QVClock_SetSource(nullptr, nullptr);
    EXPECT_EQ(gLog, std::vector<std::string>{});
}

} // namespace
