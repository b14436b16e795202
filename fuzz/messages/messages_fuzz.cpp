// The bundle as a hostile host drives it: the input becomes up to 24 window,
// frame and life messages to three instances that share three ports (those
// of the test hosts), in any order, with records from the input (extreme
// rectangles, any spectrum bytes), among AGL and allocation failures, clock
// jumps, port resizes and host answers (any status, or a callback that
// throws). After every message: its status, one frame per drawing message
// while shown, and what is alive is what the instances hold; at the end every
// instance is ended and nothing may be left. The test host's GL guard aborts
// on GL work outside the context of the instance messaged. Messages the
// handler must refuse, and its stateless dispatch, are the unit tests' (the
// hostile-message table covers them in every state).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/mac_memory.h"
#include "plugin/frame_messages.h"
#include "support/test_host.h"

namespace {

constexpr int kHosts = 3, kMaxShows = 4; // each showing builds a context and a mipmapped texture: the slow part
const SInt16 kPortSizes[kHosts][2] = {{64, 36}, {23, 41}, {1, 1}};
qvtest::TestHost *g_hosts[kHosts]; // loaded for the life of the process
int g_step;

#define CHECK(cond) Check(cond, #cond)
void Check(bool ok, const char *what, const std::string &detail = "")
{
    if (!ok) {
        std::fprintf(stderr, "messages_fuzz: check failed at step %d: %s %s\n", g_step, what, detail.c_str());
        std::abort();
    }
}

struct Run {
    bool aglFailures = false; // injected: statuses of "show" and frames may differ
    bool allocFailure = false;
    int shows = 0;
    bool shown[kHosts] = {}, resized[kHosts] = {};
    int port[kHosts] = {};   // of each instance's last "show"
    Rect drawn[kHosts] = {}; // what its framebuffer covers, in port pixels
};

bool Usable(const Rect &r) // a buffer rectangle the platform takes
{
    const long w = long{r.right} - r.left, h = long{r.bottom} - r.top;
    return w > 0 && h > 0 && w <= 16384 && h <= 16384;
}

// About the size of the port, at the edges of 16 bits, or any. Both sides in
// the thousands cost seconds a frame and find nothing more: cut to 8 rows.
Rect MakeRect(FuzzedDataProvider &in, int p)
{
    static const SInt16 kEdges[] = {-32768, -32767, -16385, -1, 0, 1, 2, 16383, 16384, 32766, 32767};
    const Rect b = g_hosts[p]->whole();
    auto near = [&](int span) { return static_cast<SInt16>(in.ConsumeIntegralInRange(-span, 2 * span)); };
    auto edge = [&] { return kEdges[in.ConsumeIntegralInRange<size_t>(0, 10)]; };
    auto any = [&] { return in.ConsumeIntegral<SInt16>(); };
    const int kind = in.ConsumeIntegralInRange(0, 3);
    Rect r = kind == 0 ? b
             : kind == 1 ? Rect{near(b.bottom), near(b.right), near(b.bottom), near(b.right)}
             : kind == 2 ? Rect{edge(), edge(), edge(), edge()} : Rect{any(), any(), any(), any()};
    if (long{r.right} - r.left > 256 && long{r.bottom} - r.top > 256 && Usable(r))
        r.bottom = static_cast<SInt16>(r.top + 8);
    return r;
}

bool Meets(const Rect &r, int p) // the port
{
    const Rect b = g_hosts[p]->whole();
    return r.left < b.right && r.right > 0 && r.top < b.bottom && r.bottom > 0;
}

// A drawing message: one frame in the instance's port while shown and its
// framebuffer meets the port, none otherwise (unless AGL failed or the port
// was resized).
void Drawn(Run &run, int s, OSType code, void *record)
{
    const int p = run.port[s];
    const long frames = g_hosts[p]->frames;
    CHECK(g_hosts[s]->send(code, record) == noErr);
    const bool drawn = run.shown[s] && Meets(run.drawn[s], p);
    CHECK(run.aglFailures || run.resized[p] || g_hosts[p]->frames - frames == drawn);
}

void Init(FuzzedDataProvider &, Run &run, int s)
{
    qvtest::TestHost &h = *g_hosts[s];
    if (h.refCon)
        return; // the host would lose the instance it holds
    CHECK(h.initInstance() == (run.allocFailure ? memFullErr : noErr));
    const VisualPluginState *st = h.state();
    CHECK(!st || (!st->aglContext && !st->polys && !st->msgTexture && !st->ready && !st->port));
    run.allocFailure = run.shown[s] = false;
}

void Show(FuzzedDataProvider &in, Run &run, int s)
{
    qvtest::TestHost &h = *g_hosts[s];
    const int p = in.ConsumeIntegralInRange(0, kHosts - 1);
    WindowRecord rec{g_hosts[p]->port(), MakeRect(in, p)};
    if (!h.refCon || run.shows++ >= kMaxShows)
        return;
    const long frames = g_hosts[p]->frames;
    const OSStatus status = h.send(kVisualPluginShowWindowMessage, &rec);
    const VisualPluginState *st = h.state();
    CHECK(status == noErr || (run.aglFailures && status < kShowContextErrBase && status >= kShowContextErrBase - 4));
    CHECK(status == noErr ? st->ready == 1 && st->polys && st->aglContext && st->port == rec.port &&
                                !std::memcmp(&st->destRect, &rec.drawRect, sizeof(Rect))
                          : !st->ready && !st->aglContext && !st->polys);
    run.shown[s] = status == noErr;
    run.port[s] = p;
    run.drawn[s] = Usable(rec.drawRect) ? rec.drawRect : g_hosts[p]->whole();
    const bool drawn = run.shown[s] && Meets(run.drawn[s], p);
    CHECK(run.aglFailures || run.resized[p] || g_hosts[p]->frames - frames == drawn);
}

void SetWindow(FuzzedDataProvider &in, Run &run, int s)
{
    qvtest::TestHost &h = *g_hosts[s];
    WindowRecord rec{in.ConsumeBool() ? nullptr : g_hosts[in.ConsumeIntegralInRange(0, kHosts - 1)]->port(),
                     MakeRect(in, run.port[s])};
    if (!h.refCon)
        return;
    const CGrafPtr port = h.state()->port; // the port stays the one "show" gave
    if (run.shown[s] && Usable(rec.drawRect))
        run.drawn[s] = rec.drawRect;
    Drawn(run, s, kVisualPluginSetWindowMessage, &rec);
    CHECK(h.state()->port == port && std::memcmp(&h.state()->destRect, &rec.drawRect, sizeof(Rect)) == 0);
}

void Render(FuzzedDataProvider &in, Run &run, int s)
{
    RenderData data;
    data.numWaveformChannels = in.ConsumeIntegral<UInt8>();
    data.numSpectrumChannels = in.ConsumeIntegral<UInt8>();
    std::memset(data.waveformData, in.ConsumeIntegral<UInt8>(), sizeof data.waveformData);
    const std::string spectrum = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, 64));
    std::memset(data.spectrumData, in.ConsumeIntegral<UInt8>(), sizeof data.spectrumData);
    std::memcpy(data.spectrumData, spectrum.data(), spectrum.size());
    RenderMessageRecord rec{&data};
    if (g_hosts[s]->refCon)
        Drawn(run, s, kVisualPluginRenderMessage, &rec);
    else
        CHECK(g_hosts[s]->sendWithout(kVisualPluginRenderMessage, &rec) == noErr);
}

void Idle(FuzzedDataProvider &in, Run &run, int s)
{
    for (int n = in.ConsumeIntegralInRange(1, 4); n > 0 && g_hosts[s]->refCon; --n)
        Drawn(run, s, kVisualPluginIdleMessage, nullptr);
    CHECK(g_hosts[s]->refCon || g_hosts[s]->sendWithout(kVisualPluginIdleMessage, nullptr) == noErr);
}

void Hide(FuzzedDataProvider &, Run &run, int s)
{
    qvtest::TestHost &h = *g_hosts[s];
    if (!h.refCon)
        return;
    const SInt32 ready = h.state()->ready; // kept, like the port, the rectangle and the motion
    CHECK(h.hide() == noErr && !h.state()->aglContext && !h.state()->polys && !h.state()->msgTexture);
    CHECK(h.state()->ready == ready);
    run.shown[s] = false;
}

void Clear(FuzzedDataProvider &, Run &run, int s)
{
    qvtest::TestHost &h = *g_hosts[s];
    CHECK((h.refCon ? h.cleanupInstance() : h.sendWithout(kPluginCleanupMessage, nullptr)) == noErr);
    run.shown[s] = false;
}

void FailAgl(FuzzedDataProvider &in, Run &run, int)
{
    QVAGL_FailCall(static_cast<QVAGLCall>(in.ConsumeIntegralInRange<int>(kQVAGLChoosePixelFormat, kQVAGLEnable)),
                   in.ConsumeIntegralInRange(1, 3));
    run.aglFailures = true;
}

void FailAllocation(FuzzedDataProvider &, Run &run, int)
{
    QVPlatform_FailNextAllocations(1);
    run.allocFailure = true;
}

void Clock(FuzzedDataProvider &in, Run &, int)
{
    qvtest::FixClock(in.ConsumeIntegral<int64_t>()); // before 1970 too
}

void Resize(FuzzedDataProvider &in, Run &run, int)
{
    const int p = in.ConsumeIntegralInRange(0, kHosts - 1);
    const SInt16 w = in.ConsumeIntegralInRange<SInt16>(1, 96), h = in.ConsumeIntegralInRange<SInt16>(1, 96);
    CHECK(QVPort_Resize(g_hosts[p]->port(), w, h) == noErr);
    run.resized[p] = true;
}

void HostAnswers(FuzzedDataProvider &in, Run &, int s)
{
    g_hosts[s]->answer = in.ConsumeBool() ? noErr : in.ConsumeIntegral<OSStatus>();
    g_hosts[s]->onCall = in.ConsumeIntegralInRange(0, 3) ? nullptr : [](OSType, HostCallRecord *) {
        throw std::runtime_error("host callback");
    };
}

// One handler per message or event, chosen by the input.
void (*const kSteps[])(FuzzedDataProvider &, Run &, int) = {
    Init, Show, SetWindow, Render, Idle, Hide, Clear, FailAgl, FailAllocation, Clock, Resize, HostAnswers};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("QV_BUNDLE", QV_BUNDLE_PATH, 0);
    for (int p = 0; p < kHosts; ++p) {
        g_hosts[p] = new qvtest::TestHost(kPortSizes[p][0], kPortSizes[p][1]);
        CHECK(g_hosts[p]->initModule() == noErr && g_hosts[p]->handler);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    Run run;
    const std::vector<const qvtest::TestHost *> hosts(g_hosts, g_hosts + kHosts);
    qvtest::FixClock(0);
    const bool hideAtEnd = in.ConsumeBool();
    for (g_step = 0; g_step < 24 && in.remaining_bytes() > 0; ++g_step) {
        const int s = in.ConsumeIntegralInRange(0, kHosts - 1);
        kSteps[in.ConsumeIntegralInRange<size_t>(0, sizeof kSteps / sizeof kSteps[0] - 1)](in, run, s);
        for (int i = 0; i < kHosts; ++i) {
            const VisualPluginState *st = g_hosts[i]->state();
            CHECK(!st || ((!st->msgTexture || st->aglContext) && st->colorIndex >= 0 && st->colorIndex < 5 &&
                          (run.aglFailures || run.shown[i] == (st->aglContext != nullptr))));
        }
        const std::string odd = qvtest::Unaccounted(hosts, !run.aglFailures);
        Check(odd.empty(), "all is accounted for:", odd);
    }
    QVAGL_ResetFailures();
    QVPlatform_FailNextAllocations(0);
    for (int p = 0; p < kHosts; ++p) { // the host ends every instance; nothing may be left
        qvtest::TestHost &h = *g_hosts[p];
        CHECK(!h.refCon || !hideAtEnd || h.hide() == noErr);
        CHECK(!h.refCon || h.cleanupInstance() == noErr);
        QVPort_Resize(h.port(), kPortSizes[p][0], kPortSizes[p][1]);
        h.calls.clear();
        h.answer = noErr;
        h.onCall = nullptr;
    }
    if (run.aglFailures) // a context that could not be made current went with its texture name
        qvtest::ForgetTextures();
    const std::string odd = qvtest::Unaccounted(hosts);
    Check(odd.empty() && !aglGetCurrentContext(), "nothing is left:", odd);
    return 0;
}
