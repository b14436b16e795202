// The bundle as a hostile host drives it: the input becomes a sequence of
// handler and entry-point messages, in any order, with records built from the
// input ("vrnd" before "show", "show" twice, "swin" after "hide", "clr " and a
// fresh "init", missing records and ports, extreme rectangles, any spectrum
// bytes, unknown codes), on three instances that share three ports and a real
// headless GL context. AGL and allocation failures, the clock, port sizes
// and the host's answers to the bundle's calls (any status, or a callback
// that throws) are driven by the input too.
//
// After every message the harness checks what it can know from outside:
// - the status, wherever the handler's answer is fixed (kept promises, and
//   broken promises the handler can see, which answer non-zero and leave the
//   instance's state byte for byte as it was);
// - one frame in the port per drawing message while shown (when no failure
//   was injected and the drawing rectangle meets the port);
// - the instance's invariants, and that live GL contexts, framebuffers,
//   texture names and instance states match the instances that hold them.
// At the end every instance is ended ("clr ", after "hide" or not, as the
// input says) and nothing may be left. The GL guard aborts on any GL call
// made while the context of the instance getting the message is not current.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "hardening/gl_guard.h"
#include "platform/AGL.h"
#include "platform/MacMemory.h"
#include "platform/QDPort.h"
#include "platform/QVClock.h"
#include "plugin/FrameMessages.h"
#include "plugin/PluginState.h"
#include "support/test_host.h"

namespace {

constexpr int kSlots = 3;
constexpr int kPorts = 3;
constexpr int kMaxSteps = 24;
constexpr int kMaxShows = 4; // each showing makes a context and a mipmapped texture: the slow part
constexpr GLint kGLMaxSide = 16384; // refused beyond, see aglSetInteger

const SInt16 kPortSizes[kPorts][2] = {{64, 36}, {23, 41}, {1, 1}};

#define CHECK(cond, ...)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "messages_fuzz: check failed at step %d: %s\n  ", g_step, #cond);                    \
            std::fprintf(stderr, __VA_ARGS__);                                                                         \
            std::fprintf(stderr, "\n");                                                                                \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

int g_step = 0;

struct Port {
    CGrafPtr port = nullptr;
    long frames = 0;
    bool resized = false;
};

struct Slot {
    qvtest::TestHost *host = nullptr;
    bool instance = false; // "init" answered 0 and no "clr " since
    bool shown = false;    // the last "show" answered 0 and no "hide" since
    int port = 0;          // the port of the last "show"
    Rect effective{};      // what the framebuffer covers, in port pixels
    OSStatus answer = noErr; // what the host answers the bundle's calls
    bool throws = false;     // the host's callback throws instead
    VisualPluginState *state() const { return static_cast<VisualPluginState *>(host->refCon()); }
};

Port g_ports[kPorts];
Slot g_slots[kSlots];
time_t g_now = 0;

void OnFrame(CGrafPtr, const Rect *, SInt32, void *port)
{
    ++static_cast<Port *>(port)->frames;
}

time_t Now(void *)
{
    return g_now;
}

Rect PortRect(int p)
{
    Rect b;
    GetPortBounds(g_ports[p].port, &b);
    return b;
}

Rect RawRect(FuzzedDataProvider &in, int p)
{
    const Rect b = PortRect(p);
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return b;
    case 1: {
        const int w = b.right, h = b.bottom;
        auto coord = [&](int span) { return static_cast<SInt16>(in.ConsumeIntegralInRange(-span, 2 * span)); };
        const SInt16 top = coord(h), left = coord(w), bottom = coord(h), right = coord(w);
        return Rect{top, left, bottom, right};
    }
    case 2: {
        static const SInt16 kEdges[] = {-32768, -32767, -16385, -1, 0, 1, 2, 16383, 16384, 32766, 32767};
        auto edge = [&] { return kEdges[in.ConsumeIntegralInRange<size_t>(0, sizeof kEdges / sizeof kEdges[0] - 1)]; };
        return Rect{edge(), edge(), edge(), edge()};
    }
    default:
        return Rect{in.ConsumeIntegral<SInt16>(), in.ConsumeIntegral<SInt16>(), in.ConsumeIntegral<SInt16>(),
                    in.ConsumeIntegral<SInt16>()};
    }
}

// A rectangle from the input: one about the size of the port, or any 16-bit
// values. A rectangle both of whose sides run to thousands of pixels is a
// request the GL honours at the cost of drawing that many pixels (seconds a
// frame here): no fault, only a slower run, so such a rectangle keeps its
// width and is cut to 8 rows. Sides beyond the GL's limit stay as they are:
// the platform refuses them.
Rect MakeRect(FuzzedDataProvider &in, int p)
{
    Rect r = RawRect(in, p);
    const long w = long{r.right} - r.left, h = long{r.bottom} - r.top;
    if (w > 256 && w <= kGLMaxSide && h > 256 && h <= kGLMaxSide)
        r.bottom = static_cast<SInt16>(r.top + 8);
    return r;
}

bool Usable(const Rect &r)
{
    const long w = long{r.right} - r.left, h = long{r.bottom} - r.top;
    return w > 0 && h > 0 && w <= kGLMaxSide && h <= kGLMaxSide;
}

bool MeetsPort(const Rect &r, int p)
{
    const Rect b = PortRect(p);
    return r.left < b.right && r.right > 0 && r.top < b.bottom && r.bottom > 0;
}

long InstancesWith(bool (*has)(const VisualPluginState *))
{
    long n = 0;
    for (const Slot &s : g_slots)
        if (s.instance && has(s.state()))
            ++n;
    return n;
}

struct Run {
    bool aglFailures = false;   // a failure was injected: frames and statuses of "show" may differ
    bool allocFailure = false;  // the next NewPtrClear fails
    int shows = 0;
};

// What holds after every message, whatever the input.
void CheckInvariants(const Run &run)
{
    long instances = 0;
    for (const Slot &s : g_slots) {
        if (!s.instance)
            continue;
        ++instances;
        const VisualPluginState *st = s.state();
        CHECK((st->polys != nullptr) == (st->aglContext != nullptr), "scene %p, context %p", (void *)st->polys,
              (void *)st->aglContext);
        CHECK(st->msgTexture == 0 || st->aglContext != nullptr, "texture %u without a context", st->msgTexture);
        CHECK(st->colorIndex >= 0 && st->colorIndex < 5, "colour index %d", st->colorIndex);
        CHECK(s.shown == (st->aglContext != nullptr) || run.aglFailures, "shown %d, context %p", s.shown,
              (void *)st->aglContext);
    }
    CHECK(QVPlatform_LivePtrCount() == instances, "%ld state blocks for %ld instances", QVPlatform_LivePtrCount(),
          instances);
    const long contexts = InstancesWith([](const VisualPluginState *st) { return st->aglContext != nullptr; });
    CHECK(QVAGL_LiveContextCount() == contexts, "%ld contexts alive, %ld held", QVAGL_LiveContextCount(), contexts);
    CHECK(QVAGL_LivePixelFormatCount() == 0, "%ld pixel formats alive", QVAGL_LivePixelFormatCount());
    CHECK(QVAGL_LiveFramebufferCount() <= contexts, "%ld framebuffers for %ld contexts",
          QVAGL_LiveFramebufferCount(), contexts);
    const glguard::Stats gl = glguard::GetStats();
    const long textures = InstancesWith([](const VisualPluginState *st) { return st->msgTexture != 0; });
    if (!run.aglFailures) {
        CHECK(gl.liveTextures == textures, "%ld texture names alive, %ld held", gl.liveTextures, textures);
        CHECK(gl.texturesDroppedWithContext == 0, "%ld texture names destroyed with their context",
              gl.texturesDroppedWithContext);
    }
}

OSStatus Send(Slot &s, OSType code, void *record, bool withRefCon = true)
{
    void *refCon = withRefCon ? s.host->refCon() : nullptr;
    glguard::Scope scope(refCon ? glguard::Expect::Instance : glguard::Expect::NoGL,
                         static_cast<VisualPluginState *>(refCon));
    return s.host->handler()(code, record, refCon);
}

// A message the handler must refuse: non-zero, nothing drawn, state as it was.
void ExpectRefused(Slot &s, OSType code, void *record, bool withRefCon)
{
    VisualPluginState before{};
    if (s.instance)
        std::memcpy(&before, s.state(), sizeof before);
    long frames[kPorts];
    for (int p = 0; p < kPorts; ++p)
        frames[p] = g_ports[p].frames;
    const OSStatus status = Send(s, code, record, withRefCon);
    CHECK(status != noErr, "a broken promise answered 0 (code %08x)", code);
    if (s.instance)
        CHECK(std::memcmp(&before, s.state(), sizeof before) == 0, "a refused message changed the state");
    for (int p = 0; p < kPorts; ++p)
        CHECK(g_ports[p].frames == frames[p], "a refused message drew a frame");
}

// A drawing message to slot `s`: one frame in its port while shown.
void ExpectDrawn(const Run &run, const Slot &s, long framesBefore, bool shownBefore)
{
    if (run.aglFailures || g_ports[s.port].resized || !shownBefore)
        return;
    const long expected = MeetsPort(s.effective, s.port) ? 1 : 0;
    CHECK(g_ports[s.port].frames - framesBefore == expected, "%ld frames drawn, %ld expected",
          g_ports[s.port].frames - framesBefore, expected);
}

void Step(FuzzedDataProvider &in, Run &run)
{
    Slot &s = g_slots[in.ConsumeIntegralInRange(0, kSlots - 1)];
    switch (in.ConsumeIntegralInRange(0, 16)) {
    case 0: { // handler "init"
        if (s.instance)
            return; // the host would lose its instance
        const int variant = in.ConsumeIntegralInRange(0, 3);
        VisualInitRecord rec{};
        rec.hostCookie = s.host;
        rec.hostProc = variant == 1 ? nullptr : &qvtest::TestHost::Proc;
        if (variant == 2) {
            glguard::Scope noGL(glguard::Expect::NoGL);
            CHECK(s.host->handler()(kPluginInitMessage, nullptr, nullptr) != noErr, "init without a record");
            return;
        }
        if (variant == 1) {
            glguard::Scope noGL(glguard::Expect::NoGL);
            CHECK(s.host->handler()(kPluginInitMessage, &rec, nullptr) != noErr, "init without a host procedure");
            CHECK(rec.refCon == nullptr, "refused init wrote a refcon");
            return;
        }
        OSStatus status;
        {
            glguard::Scope noGL(glguard::Expect::NoGL);
            status = s.host->initInstance();
        }
        if (run.allocFailure) {
            run.allocFailure = false;
            CHECK(status == memFullErr, "init without memory answered %d", status);
            return;
        }
        CHECK(status == noErr, "init answered %d", status);
        const VisualPluginState *st = s.state();
        CHECK(st->aglContext == nullptr && st->polys == nullptr && st->msgTexture == 0 && st->ready == 0 &&
                  st->port == nullptr,
              "fresh state not clear");
        s.instance = true;
        s.shown = false;
        return;
    }
    case 1: { // "show"
        const int p = in.ConsumeIntegralInRange(0, kPorts - 1);
        const int variant = in.ConsumeIntegralInRange(0, 7);
        WindowRecord rec{g_ports[p].port, MakeRect(in, p)};
        if (!s.instance) {
            ExpectRefused(s, kVisualPluginShowWindowMessage, &rec, false);
            return;
        }
        if (variant == 0) {
            ExpectRefused(s, kVisualPluginShowWindowMessage, nullptr, true);
            return;
        }
        if (variant == 1) {
            rec.port = nullptr;
            ExpectRefused(s, kVisualPluginShowWindowMessage, &rec, true);
            return;
        }
        if (run.shows >= kMaxShows)
            return;
        ++run.shows;
        const long frames = g_ports[p].frames;
        const OSStatus status = Send(s, kVisualPluginShowWindowMessage, &rec);
        const VisualPluginState *st = s.state();
        if (run.aglFailures) {
            CHECK(status == noErr || (status <= kShowContextErrBase - 1 && status >= kShowContextErrBase - 4),
                  "show answered %d", status);
        } else {
            // Shown anew even when the last showing had no "hide".
            CHECK(status == noErr, "show answered %d", status);
        }
        s.shown = status == noErr;
        s.port = p;
        if (s.shown) {
            CHECK(st->ready == 1 && st->polys != nullptr && st->aglContext != nullptr, "shown state incomplete");
            CHECK(st->port == rec.port && std::memcmp(&st->destRect, &rec.drawRect, sizeof(Rect)) == 0,
                  "port or rectangle not taken");
            s.effective = Usable(rec.drawRect) ? rec.drawRect : PortRect(p);
            ExpectDrawn(run, s, frames, true);
        } else {
            CHECK(st->ready == 0 && st->aglContext == nullptr && st->polys == nullptr, "failed show left %p %p",
                  (void *)st->aglContext, (void *)st->polys);
        }
        return;
    }
    case 2: { // "swin"
        WindowRecord rec{in.ConsumeBool() ? nullptr : g_ports[in.ConsumeIntegralInRange(0, kPorts - 1)].port,
                         MakeRect(in, s.port)};
        if (!s.instance || in.ConsumeIntegralInRange(0, 7) == 0) {
            ExpectRefused(s, kVisualPluginSetWindowMessage, s.instance ? nullptr : &rec, s.instance);
            return;
        }
        const CGrafPtr port = s.state()->port;
        const long frames = g_ports[s.port].frames;
        CHECK(Send(s, kVisualPluginSetWindowMessage, &rec) == noErr, "swin answered non-zero");
        CHECK(s.state()->port == port, "swin took a port");
        CHECK(std::memcmp(&s.state()->destRect, &rec.drawRect, sizeof(Rect)) == 0, "swin did not take the rectangle");
        if (s.shown && Usable(rec.drawRect))
            s.effective = rec.drawRect;
        ExpectDrawn(run, s, frames, s.shown);
        if (!s.shown)
            CHECK(g_ports[s.port].frames == frames, "swin drew while not shown");
        return;
    }
    case 3: { // "vrnd"
        RenderData data;
        data.numWaveformChannels = in.ConsumeIntegral<UInt8>();
        data.numSpectrumChannels = in.ConsumeIntegral<UInt8>();
        std::memset(data.waveformData, in.ConsumeIntegral<UInt8>(), sizeof data.waveformData);
        const std::string spectrum = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, 64));
        std::memset(data.spectrumData, in.ConsumeIntegral<UInt8>(), sizeof data.spectrumData);
        std::memcpy(data.spectrumData, spectrum.data(), spectrum.size());
        RenderMessageRecord rec{in.ConsumeIntegralInRange(0, 7) == 0 ? nullptr : &data};
        const bool noRecord = in.ConsumeIntegralInRange(0, 7) == 0;
        if (!s.instance) {
            CHECK(Send(s, kVisualPluginRenderMessage, noRecord ? nullptr : &rec, false) == noErr,
                  "vrnd without an instance answered non-zero");
            return;
        }
        if (noRecord || rec.renderData == nullptr) {
            ExpectRefused(s, kVisualPluginRenderMessage, noRecord ? nullptr : &rec, true);
            return;
        }
        const long frames = g_ports[s.port].frames;
        CHECK(Send(s, kVisualPluginRenderMessage, &rec) == noErr, "vrnd answered non-zero");
        ExpectDrawn(run, s, frames, s.shown);
        return;
    }
    case 4: { // "null"
        const long frames = g_ports[s.port].frames;
        CHECK(Send(s, kVisualPluginIdleMessage, nullptr, s.instance) == noErr, "null answered non-zero");
        if (s.instance)
            ExpectDrawn(run, s, frames, s.shown);
        return;
    }
    case 5: { // "hide"
        if (!s.instance) {
            ExpectRefused(s, kVisualPluginHideWindowMessage, nullptr, false);
            return;
        }
        const SInt32 ready = s.state()->ready;
        CHECK(Send(s, kVisualPluginHideWindowMessage, nullptr) == noErr, "hide answered non-zero");
        const VisualPluginState *st = s.state();
        CHECK(st->aglContext == nullptr && st->polys == nullptr && st->msgTexture == 0, "hide left something");
        CHECK(st->ready == ready, "hide changed ready");
        s.shown = false;
        return;
    }
    case 6: { // "vevt"
        EventRecord event{};
        event.what = in.ConsumeIntegralInRange<UInt16>(0, 6);
        event.message = in.ConsumeIntegral<UInt32>();
        if (in.ConsumeBool())
            event.message = (event.message & ~0xFFu) | static_cast<UInt8>("mSnx"[in.ConsumeIntegralInRange(0, 3)]);
        EventMessageRecord rec{in.ConsumeIntegralInRange(0, 7) == 0 ? nullptr : &event};
        const bool noRecord = in.ConsumeIntegralInRange(0, 7) == 0;
        if (!s.instance || noRecord || rec.event == nullptr) {
            ExpectRefused(s, kVisualPluginEventMessage, noRecord ? nullptr : &rec, s.instance);
            return;
        }
        const char key = static_cast<char>(event.message & 0xFF);
        const bool consumed =
            (event.what == keyDown || event.what == autoKey) && (key == 'm' || key == 'S' || key == 'n');
        const size_t calls = s.host->calls.size();
        if (consumed && s.throws) { // the wish's exception stops at the handler
            ExpectRefused(s, kVisualPluginEventMessage, &rec, true);
            return;
        }
        const OSStatus status = Send(s, kVisualPluginEventMessage, &rec);
        CHECK(status == (consumed ? noErr : unimpErr), "vevt answered %d", status);
        CHECK(s.host->calls.size() == calls + (consumed ? 1 : 0), "full-screen wishes sent: %zu",
              s.host->calls.size() - calls);
        return;
    }
    case 7: { // "clr "
        if (!s.instance) {
            CHECK(Send(s, kPluginCleanupMessage, nullptr, false) == noErr, "clr without an instance answered non-zero");
            return;
        }
        OSStatus status;
        {
            glguard::Scope scope(glguard::Expect::Instance, s.state());
            status = s.host->cleanupInstance();
        }
        CHECK(status == noErr, "clr answered %d", status);
        s.instance = s.shown = false;
        return;
    }
    case 8: { // codes that change nothing, and codes the handler does not know
        static const OSType kNothing[] = {kPluginConfigureMessage,     kVisualPluginChangeTrackMessage,
                                          kVisualPluginSetPositionMessage, kVisualPluginPlayMessage,
                                          kVisualPluginStopMessage,    kVisualPluginPauseMessage,
                                          kVisualPluginUnpauseMessage, kVisualPluginEnableMessage,
                                          kVisualPluginDisableMessage, kVisualPluginUpdateMessage};
        const bool known = in.ConsumeBool();
        OSType code = known ? kNothing[in.ConsumeIntegralInRange<size_t>(0, 9)] : in.ConsumeIntegral<OSType>();
        if (!known) {
            static const OSType kHandled[] = {kPluginInitMessage,
                                              kPluginCleanupMessage,
                                              kVisualPluginShowWindowMessage,
                                              kVisualPluginSetWindowMessage,
                                              kVisualPluginRenderMessage,
                                              kVisualPluginIdleMessage,
                                              kVisualPluginHideWindowMessage,
                                              kVisualPluginEventMessage};
            for (OSType h : kHandled)
                if (code == h)
                    code = QV_FOUR_CC('?', '?', '?', '?');
            for (OSType n : kNothing)
                if (code == n)
                    code = QV_FOUR_CC('?', '?', '?', '?');
        }
        unsigned char junk[64];
        std::memset(junk, 0xA5, sizeof junk);
        VisualPluginState before{};
        if (s.instance)
            std::memcpy(&before, s.state(), sizeof before);
        void *record = in.ConsumeBool() ? junk : nullptr;
        const bool withRefCon = s.instance && in.ConsumeBool();
        const OSStatus status = Send(s, code, record, withRefCon);
        CHECK(status == (known ? noErr : unimpErr), "code %08x answered %d", code, status);
        if (s.instance)
            CHECK(std::memcmp(&before, s.state(), sizeof before) == 0, "code %08x changed the state", code);
        return;
    }
    case 9: { // the module's entry point
        glguard::Scope noGL(glguard::Expect::NoGL);
        switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: {
            const OSStatus status = s.host->initModule();
            CHECK(status == (s.throws ? paramErr : s.answer), "module init answered %d, the host %d", status,
                  s.answer);
            break;
        }
        case 1: {
            PluginInitRecord rec{};
            rec.hostCookie = s.host;
            CHECK(s.host->entry()(kPluginInitMessage, in.ConsumeBool() ? nullptr : &rec, nullptr) != noErr,
                  "module init without its host answered 0");
            break;
        }
        case 2:
            CHECK(s.host->entry()(kPluginCleanupMessage, nullptr, nullptr) == noErr, "module clr answered non-zero");
            break;
        default: {
            const OSType code = in.ConsumeIntegral<OSType>();
            if (code != kPluginInitMessage && code != kPluginCleanupMessage)
                CHECK(s.host->entry()(code, nullptr, nullptr) == unimpErr, "module code %08x", code);
        }
        }
        return;
    }
    case 10: // the next AGL call of one kind fails
        QVAGL_FailCall(static_cast<QVAGLCall>(in.ConsumeIntegralInRange<int>(kQVAGLChoosePixelFormat, kQVAGLEnable)),
                       in.ConsumeIntegralInRange(1, 3));
        run.aglFailures = true;
        return;
    case 11: // the next state allocation fails
        QVPlatform_FailNextAllocations(1);
        run.allocFailure = true;
        return;
    case 12: // the clock jumps anywhere, before 1970 too
        g_now = static_cast<time_t>(in.ConsumeIntegral<int64_t>());
        return;
    case 13: { // the host resizes a port under a shown visual
        Port &port = g_ports[in.ConsumeIntegralInRange(0, kPorts - 1)];
        const SInt16 w = in.ConsumeIntegralInRange<SInt16>(1, 96), h = in.ConsumeIntegralInRange<SInt16>(1, 96);
        CHECK(QVPort_Resize(port.port, w, h) == noErr, "port resize");
        port.resized = true;
        return;
    }
    case 15: { // the host answers the bundle's calls with any status, or throws
        s.answer = in.ConsumeBool() ? noErr : in.ConsumeIntegral<OSStatus>();
        s.throws = in.ConsumeIntegralInRange(0, 3) == 0;
        s.host->setAnswer(s.answer);
        s.host->onCall = s.throws ? [](OSType, HostCallRecord *) { throw std::runtime_error("host callback"); }
                                  : nullptr;
        return;
    }
    default: { // several frames in a row
        const int n = in.ConsumeIntegralInRange(1, 4);
        for (int i = 0; i < n && s.instance; ++i) {
            const long frames = g_ports[s.port].frames;
            CHECK(Send(s, kVisualPluginIdleMessage, nullptr) == noErr, "null answered non-zero");
            ExpectDrawn(run, s, frames, s.shown);
        }
        return;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("QV_BUNDLE", QV_BUNDLE_PATH, 0);
    glguard::SetAbortOnViolation(true);
    QVClock_SetSource(&Now, nullptr);
    for (int p = 0; p < kPorts; ++p) {
        g_ports[p].port = QVPort_Create(kPortSizes[p][0], kPortSizes[p][1]);
        QVPort_SetFrameProc(g_ports[p].port, &OnFrame, &g_ports[p]);
    }
    for (Slot &s : g_slots) {
        s.host = new qvtest::TestHost; // loaded for the life of the process
        glguard::Scope noGL(glguard::Expect::NoGL);
        if (s.host->entry() == nullptr || s.host->initModule() != noErr || s.host->handler() == nullptr) {
            std::fprintf(stderr, "messages_fuzz: cannot load the bundle %s\n", std::getenv("QV_BUNDLE"));
            std::abort();
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    Run run;
    g_now = 0;
    glguard::ResetCounts();
    const bool hideAtEnd = in.ConsumeBool();
    for (g_step = 0; g_step < kMaxSteps && in.remaining_bytes() > 0; ++g_step) {
        Step(in, run);
        CheckInvariants(run);
    }

    // The host ends every instance; nothing may be left.
    for (Slot &s : g_slots) {
        if (!s.instance)
            continue;
        if (hideAtEnd)
            CHECK(Send(s, kVisualPluginHideWindowMessage, nullptr) == noErr, "final hide");
        glguard::Scope scope(glguard::Expect::Instance, s.state());
        CHECK(s.host->cleanupInstance() == noErr, "final clr");
        s.instance = s.shown = false;
    }
    QVAGL_ResetFailures();
    QVPlatform_FailNextAllocations(0);
    CHECK(QVPlatform_LivePtrCount() == 0, "%ld state blocks left", QVPlatform_LivePtrCount());
    CHECK(QVAGL_LiveContextCount() == 0, "%ld contexts left", QVAGL_LiveContextCount());
    CHECK(QVAGL_LiveFramebufferCount() == 0, "%ld framebuffers left", QVAGL_LiveFramebufferCount());
    CHECK(QVAGL_LivePixelFormatCount() == 0, "%ld pixel formats left", QVAGL_LivePixelFormatCount());
    CHECK(glguard::GetStats().liveTextures == 0, "%ld texture names left", glguard::GetStats().liveTextures);
    CHECK(aglGetCurrentContext() == nullptr, "a context is still current");

    for (int p = 0; p < kPorts; ++p) {
        if (g_ports[p].resized)
            QVPort_Resize(g_ports[p].port, kPortSizes[p][0], kPortSizes[p][1]);
        g_ports[p].resized = false;
    }
    for (Slot &s : g_slots) {
        s.host->calls.clear();
        s.host->setAnswer(noErr);
        s.host->onCall = nullptr;
        s.answer = noErr;
        s.throws = false;
    }
    return 0;
}
