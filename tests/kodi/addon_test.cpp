// The Kodi add-on driven as Kodi drives it, through the add-on interface's C
// tables only: the library its addon.xml names, loaded from the build tree;
// visualization instances whose viewport, setting and log this program
// keeps; start, audio in Kodi's chunks, render into "Kodi's" GL context (a
// 3.2 core context on this thread, drawing into a framebuffer), stop.
//
// The add-on draws now, with the system's clock; the frames it shows equal
// the program's frames when it hears exactly the audio up to each frame's
// moment before it is asked for that frame, with the process's clock pinned
// to the frames' seconds. The clock is the platform's (qv_clock.h), which
// this program shares with the bundle: pinning it is what a test of a
// player's clock does, nothing in the add-on knows of it.
#include <kodi/c-api/addon-instance/visualization.h>
#include <kodi/versions.h>

#define GL_GLEXT_PROTOTYPES 1
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "host/host_test_support.h"
#include "host/visual/frame_grid.h"
#include "platform/agl_test_hooks.h"
#include "platform/qv_clock.h"
#include "support/image_io.h"

namespace {

using namespace qvtest;

// What the add-on said through Kodi's log: level and text.
std::vector<std::pair<int, std::string>> gLog;
std::string gBundle; // the add-on's "bundle" setting
TempDir gUserPath;   // the add-on's folder for its data

// -- Kodi's side of the tables ----------------------------------------------
char *Copy(const std::string &s) { return strdup(s.c_str()); }
void FreeString(KODI_ADDON_BACKEND_HDL, char *s) { free(s); }
void Log(KODI_ADDON_BACKEND_HDL, const int level, const char *text) { gLog.emplace_back(level, text); }
char *UserPath(KODI_ADDON_BACKEND_HDL) { return Copy(gUserPath.path); }
bool Setting(KODI_ADDON_BACKEND_HDL, const char *id, char **value)
{
    *value = std::strcmp(id, "bundle") == 0 ? Copy(gBundle) : nullptr;
    return *value != nullptr;
}

// The add-on library, loaded and created once per process as Kodi does per session.
struct Library {
    AddonToKodiFuncTable_kodi_addon addon{};
    AddonToKodiFuncTable_Addon toKodi{};
    KodiToAddonFuncTable_Addon toAddon{};
    AddonGlobalInterface global{};
    std::string error;

    Library()
    {
        // The library addon.xml names, where the build put it.
        const std::string xml = ReadText(QV_TEST_ADDON_XML);
        std::smatch name;
        if (!std::regex_search(xml, name, std::regex("library_linux=\"([^\"]+)\""))) {
            error = QV_TEST_ADDON_XML " names no library";
            return;
        }
        const std::string path = std::string(QV_TEST_ADDON_DIR "/") + name[1].str();
        void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        auto typeVersion = library ? reinterpret_cast<const char *(*)(int)>(dlsym(library, "ADDON_GetTypeVersion")) : nullptr;
        auto create = library ? reinterpret_cast<ADDON_STATUS (*)(KODI_HANDLE)>(dlsym(library, "ADDON_Create")) : nullptr;
        if (!typeVersion || !create) {
            error = path + ": no add-on library";
            return;
        }
        // Kodi refuses an instance of a type the library was not built for.
        if (std::string(typeVersion(ADDON_INSTANCE_VISUALIZATION)) != ADDON_INSTANCE_VERSION_VISUALIZATION) {
            error = path + ": visualization API " + typeVersion(ADDON_INSTANCE_VISUALIZATION);
            return;
        }
        addon.get_user_path = UserPath;
        addon.get_setting_string = Setting;
        toKodi.kodiBase = this;
        toKodi.free_string = FreeString;
        toKodi.addon_log_msg = Log;
        toKodi.kodi_addon = &addon;
        global.toKodi = &toKodi;
        global.toAddon = &toAddon;
        if (create(&global) != ADDON_STATUS_OK)
            error = path + ": ADDON_Create failed";
    }
    ~Library()
    {
        if (toAddon.destroy)
            toAddon.destroy(global.addonBase);
    }
    static Library &Get()
    {
        static Library library;
        return library;
    }
};

// One visualization instance, as Kodi makes one for each control it shows.
class Visualization {
public:
    Visualization(int width, int height) : width_(width), height_(height)
    {
        info_.type = ADDON_INSTANCE_VISUALIZATION;
        info_.id = "visualization.quorvanta";
        info_.version = ADDON_INSTANCE_VERSION_VISUALIZATION;
        info_.kodi = this;
        info_.first_instance = true;
        info_.functions = &callbacks_;
        toKodi_.get_properties = Properties;
        visualization_ = {&toKodi_, &toAddon_};
        instance_.info = &info_;
        instance_.functions = &functions_;
        instance_.visualization = &visualization_;
        Library &library = Library::Get();
        EXPECT_EQ(library.error, "");
        created_ = library.error.empty() &&
                   library.toAddon.create_instance(library.global.addonBase, &instance_) == ADDON_STATUS_OK;
        EXPECT_TRUE(created_);
    }
    ~Visualization()
    {
        if (created_)
            Library::Get().toAddon.destroy_instance(Library::Get().global.addonBase, &instance_);
    }
    bool start(int channels, int rate) { return created_ && toAddon_.start(instance_.hdl, channels, rate, 32, "Sweep"); }
    void audio(const float *samples, size_t count) { toAddon_.audio_data(instance_.hdl, samples, count); }
    void render() { toAddon_.render(instance_.hdl); }
    bool track(const char *title)
    {
        KODI_ADDON_VISUALIZATION_TRACK track{};
        track.title = title;
        return toAddon_.update_track(instance_.hdl, &track);
    }
    void stop() { toAddon_.stop(instance_.hdl); }

private:
    static void Properties(KODI_HANDLE self, KODI_ADDON_VISUALIZATION_PROPS *p)
    {
        const auto *v = static_cast<const Visualization *>(self);
        *p = {nullptr, 0, 0, v->width_, v->height_, 1.0f};
    }
    int width_, height_;
    bool created_ = false;
    KODI_ADDON_INSTANCE_FUNC_CB callbacks_{};
    KODI_ADDON_INSTANCE_INFO info_{};
    KODI_ADDON_INSTANCE_FUNC functions_{};
    AddonToKodiFuncTable_Visualization toKodi_{};
    KodiToAddonFuncTable_Visualization toAddon_{};
    AddonInstance_Visualization visualization_{};
    KODI_ADDON_INSTANCE_STRUCT instance_{};
};

// "Kodi's" GL context: a 3.2 core context (the strictest the add-on's draw
// meets) current on this thread, drawing into a width x height framebuffer,
// with state of its own that the add-on must leave as it found it.
class KodiContext {
public:
    KodiContext(int width, int height) : width_(width), height_(height)
    {
        display_ = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        const EGLint want[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, 0, EGL_NONE};
        const EGLint core[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 2,
                               EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
        EGLConfig config;
        EGLint configs = 0;
        // Never eglTerminate: the display is the process's, the bundle's too.
        if (!eglInitialize(display_, nullptr, nullptr) || !eglBindAPI(EGL_OPENGL_API) ||
            !eglChooseConfig(display_, want, &config, 1, &configs) || configs < 1 ||
            (context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, core)) == EGL_NO_CONTEXT ||
            !eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_))
            return;
        glGenRenderbuffers(1, &colour_);
        glBindRenderbuffer(GL_RENDERBUFFER, colour_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
        ready_ = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glGenVertexArrays(1, &vertexArray_);
        glGenBuffers(1, &buffer_);
        glGenTextures(1, &texture_);
    }
    ~KodiContext()
    {
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (context_ != EGL_NO_CONTEXT)
            eglDestroyContext(display_, context_);
    }
    bool ready() const { return ready_; }

    // Kodi's state when it asks for a frame: its viewport, a cleared screen,
    // its own objects bound and switches set.
    void prepare()
    {
        glViewport(0, 0, width_, height_);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glActiveTexture(GL_TEXTURE3);
        glBindVertexArray(vertexArray_);
        glBindBuffer(GL_ARRAY_BUFFER, buffer_);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 7);
        glScissor(0, 0, width_, height_);
        for (GLenum s : {GL_BLEND, GL_SCISSOR_TEST, GL_DEPTH_TEST, GL_CULL_FACE})
            glEnable(s);
    }
    // The state prepare() sets, as GL reports it.
    std::vector<GLint> state() const
    {
        std::vector<GLint> values;
        for (GLenum name : {GL_CURRENT_PROGRAM, GL_ACTIVE_TEXTURE, GL_VERTEX_ARRAY_BINDING, GL_ARRAY_BUFFER_BINDING,
                            GL_PIXEL_UNPACK_BUFFER_BINDING, GL_UNPACK_ALIGNMENT, GL_UNPACK_ROW_LENGTH}) {
            values.push_back(0);
            glGetIntegerv(name, &values.back());
        }
        GLint active = 0, texture = 0;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
        glActiveTexture(GL_TEXTURE0);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
        glActiveTexture(static_cast<GLenum>(active));
        values.push_back(texture);
        for (GLenum s : {GL_BLEND, GL_SCISSOR_TEST, GL_DEPTH_TEST, GL_CULL_FACE, GL_STENCIL_TEST})
            values.push_back(glIsEnabled(s));
        values.push_back(static_cast<GLint>(glGetError()));
        return values;
    }
    // The framebuffer as native ARGB words, rows top first.
    Image read() const
    {
        Image image{width_, height_, std::vector<uint32_t>(static_cast<size_t>(width_) * height_)};
        std::vector<uint32_t> rows(image.argb.size());
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, rows.data());
        for (int y = 0; y < height_; ++y)
            std::memcpy(&image.argb[static_cast<size_t>(y) * width_], &rows[static_cast<size_t>(height_ - 1 - y) * width_],
                        static_cast<size_t>(width_) * 4);
        return image;
    }

private:
    int width_, height_;
    bool ready_ = false;
    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLContext context_ = EGL_NO_CONTEXT;
    GLuint colour_ = 0, framebuffer_ = 0, vertexArray_ = 0, buffer_ = 0, texture_ = 0;
};

time_t PinnedClock(void *seconds) { return *static_cast<const time_t *>(seconds); }

// A signal whose pitch and level move, so that frames differ.
float Sweep(int channel, double t)
{
    return float((0.3 + 0.6 * t) * std::sin(2 * M_PI * (150 + 500 * t + 200 * channel) * t));
}

// The visual keeps its bass level for as long as the bundle is loaded, the
// life of the process: only a process's first visual starts where `quorvanta
// render` starts, and ctest runs each test in a process of its own.
TEST(KodiAddon, FramesEqualTheProgramsFramesOfTheSameAudio)
{
    constexpr int kWidth = 96, kHeight = 64, kRate = 44100, kFps = 30, kChunk = kRate / 10; // Kodi's chunks
    TempDir dir;
    WriteAudio(dir / "in.wav", kRate, 0.5, Sweep, 2, {"-c:a", "pcm_f32le"});
    const RunResult r = Execute(kProgram, {"render", dir / "in.wav", "-o", dir / "%04d.png", "--size",
                                           std::to_string(kWidth) + "x" + std::to_string(kHeight), "--fps",
                                           std::to_string(kFps), "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    const int frames = static_cast<int>(dir.entries().size()) - 1; // all but in.wav
    ASSERT_GE(frames, 10);
    std::vector<float> audio;
    for (long i = 0; i < std::lround(0.5 * kRate); ++i)
        for (int c = 0; c < 2; ++c)
            audio.push_back(Sweep(c, double(i) / kRate));

    KodiContext kodi(kWidth, kHeight);
    ASSERT_TRUE(kodi.ready());
    time_t seconds = qvhost::FrameSeconds(frames - 1, {kFps, 1}); // every frame's: 0
    QVClock_SetSource(PinnedClock, &seconds);
    gBundle = kBundle;
    Visualization visual(kWidth, kHeight);
    ASSERT_TRUE(visual.start(2, kRate));
    EXPECT_TRUE(visual.track("Sweep")); // the track it started with
    int64_t heard = 0;
    // Each render shows the frame asked for at the render before.
    for (int n = 0; n <= frames; ++n) {
        for (const int64_t until = n < frames ? qvhost::FrameSample(n, kRate, {kFps, 1}) : heard; heard < until;) {
            const int64_t chunk = std::min<int64_t>(kChunk, until - heard);
            visual.audio(&audio[static_cast<size_t>(2 * heard)], static_cast<size_t>(2 * chunk));
            heard += chunk;
        }
        if (n == frames / 2) {
            EXPECT_TRUE(visual.track("Next")); // a change of track: the frames go on
        }
        kodi.prepare();
        const std::vector<GLint> before = kodi.state();
        visual.render();
        EXPECT_EQ(kodi.state(), before) << "Kodi's GL state after render " << n;
        if (n == 0)
            continue;
        Image expected;
        char name[32];
        std::snprintf(name, sizeof name, "%04d.png", n - 1);
        ASSERT_TRUE(ReadPng(dir / name, expected));
        const Image shown = kodi.read();
        const Comparison c = Compare(shown, expected, 0);
        if (c.beyondTolerance != 0)
            WritePng(OutputDir() + "/kodi-frame-difference.png", Difference(shown, expected, 8));
        ASSERT_EQ(c.beyondTolerance, 0) << "frame " << n - 1 << ", largest difference " << c.largest;
    }
    visual.stop();
    QVClock_SetSource(nullptr, nullptr);
    EXPECT_EQ(gLog, (decltype(gLog){}));
}

// Bad input makes start fail with one line in Kodi's log, so that Kodi plays
// the music without the visual; the next instance starts as ever.
TEST(KodiAddon, BadInputFailsTheStartWithOneLineInKodisLog)
{
    const QVAGLCall kNone = QVAGLCall(0);
    const struct {
        std::string bundle;
        const char *refuse; // QV_SPY_REFUSE
        int width, channels;
        QVAGLCall failing;
        std::string says;
    } rows[] = {
        {"/nonexistent/quorvanta.so", nullptr, 96, 2, kNone, "cannot start: /nonexistent/quorvanta.so: no plug-in bundle there"},
        {kSpyBundle, "init", 96, 2, kNone, "cannot start: " + kSpyBundle + ": the visual plug-in failed to initialise (status -50)"},
        {kSpyBundle, "show", 96, 2, kNone, "cannot start: " + kSpyBundle + ": the visual plug-in failed to show (status -50)"},
        {kSpyBundle, nullptr, 5000, 2, kNone, "cannot start: " + kSpyBundle + ": 5000x64 is outside the frame sizes the plug-in accepts (0x0 to 4000x4000)"},
        {kBundle, nullptr, 96, 2, kQVAGLCreateContext, "cannot start: " + kBundle + ": the visual plug-in failed to show"},
        {kBundle, nullptr, 96, 0, kNone, "cannot start: no audio to show (0 channels at 44100 Hz)"},
    };
    for (const auto &row : rows) {
        gBundle = row.bundle;
        gLog.clear();
        row.refuse ? setenv("QV_SPY_REFUSE", row.refuse, 1) : unsetenv("QV_SPY_REFUSE");
        if (row.failing)
            QVAGL_FailCall(row.failing, -1);
        Visualization visual(row.width, 64);
        EXPECT_FALSE(visual.start(row.channels, 44100)) << row.says;
        ASSERT_EQ(gLog.size(), 1u) << row.says;
        EXPECT_EQ(gLog[0].first, ADDON_LOG_ERROR);
        EXPECT_EQ(gLog[0].second.rfind(row.says, 0), 0u) << gLog[0].second;
        QVAGL_ResetFailures();
    }
    unsetenv("QV_SPY_REFUSE");
    KodiContext kodi(96, 64);
    ASSERT_TRUE(kodi.ready());
    gBundle = kBundle;
    Visualization visual(96, 64);
    ASSERT_TRUE(visual.start(2, 44100));
    for (int n = 0; n < 2; ++n) {
        kodi.prepare();
        visual.render();
    }
    const Image shown = kodi.read();
    EXPECT_LT(std::count(shown.argb.begin(), shown.argb.end(), 0xFF000000u), 96 * 64 / 10); // Kodi's clear colour
    visual.stop();
}

} // namespace
