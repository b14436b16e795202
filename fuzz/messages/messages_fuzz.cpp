// The bundle as a hostile host drives it: up to 24 window, frame and life
// messages from the input, with extreme rectangles and any render data, to
// three instances sharing three ports, among AGL and allocation failures, clock
// jumps, port resizes and hostile host answers. After every step: the statuses,
// a context held exactly while shown (a texture name only with one), and all
// that is alive held by an instance; at the end every instance ended and
// nothing left. The test host's GL guard aborts on GL work outside the context
// of the instance messaged.
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
    if (!ok)
        std::fprintf(stderr, "messages_fuzz: step %d: %s fails %s\n", g_step, what, detail.c_str()), std::abort();
}

struct Run {
    bool aglFailures = false, allocFailure = false; // injected; with AGL failures "show" may fail, a context go
    int shows = 0;
    bool shown[kHosts] = {};
};

// The whole port, about its size, at the edges of 16 bits, or any. Both sides
// in the thousands cost seconds a frame and find nothing more: cut to 8 rows.
Rect MakeRect(FuzzedDataProvider &in, int p)
{
    static const SInt16 kEdges[] = {-32768, -32767, -16385, -1, 0, 1, 2, 16383, 16384, 32766, 32767};
    const Rect b = g_hosts[p]->whole();
    const int kind = in.ConsumeIntegralInRange(0, 3);
    auto side = [&](int span) -> SInt16 {
        return kind == 1   ? in.ConsumeIntegralInRange(-span, 2 * span)
               : kind == 2 ? kEdges[in.ConsumeIntegralInRange(0, 10)] : in.ConsumeIntegral<SInt16>();
    };
    Rect r = kind == 0 ? b : Rect{side(b.bottom), side(b.right), side(b.bottom), side(b.right)};
    const long w = long{r.right} - r.left, h = long{r.bottom} - r.top;
    if (w > 256 && h > 256 && w <= 16384 && h <= 16384) // larger ones the platform refuses
        r.bottom = static_cast<SInt16>(r.top + 8);
    return r;
}

void Show(FuzzedDataProvider &in, Run &run, int s)
{
    const int p = in.ConsumeIntegralInRange(0, kHosts - 1);
    WindowRecord rec{g_hosts[p]->port(), MakeRect(in, p)};
    if (!g_hosts[s]->refCon || run.shows++ >= kMaxShows)
        return;
    const OSStatus status = g_hosts[s]->send(kVisualPluginShowWindowMessage, &rec);
    CHECK(status == noErr || (run.aglFailures && status < kShowContextErrBase && status >= kShowContextErrBase - 4));
    run.shown[s] = status == noErr;
}

void SetWindow(FuzzedDataProvider &in, Run &, int s)
{
    qvtest::TestHost &h = *g_hosts[s];
    WindowRecord rec{in.ConsumeBool() ? nullptr : g_hosts[in.ConsumeIntegralInRange(0, kHosts - 1)]->port(),
                     MakeRect(in, s)};
    if (!h.refCon)
        return;
    const CGrafPtr port = h.state()->port; // stays the one "show" gave, whatever the record says
    CHECK(h.send(kVisualPluginSetWindowMessage, &rec) == noErr && h.state()->port == port);
}

// A render message with any bytes and channel counts, or an idle one; to the instance or without one.
void Draw(FuzzedDataProvider &in, Run &, int s)
{
    RenderData data;
    std::memset(&data, in.ConsumeIntegral<UInt8>(), sizeof data); // the channel counts too
    in.ConsumeData(data.spectrumData, in.ConsumeIntegralInRange<size_t>(0, 64)); // the bass bins
    RenderMessageRecord rec{&data}, *record = in.ConsumeBool() ? &rec : nullptr;
    const OSType code = record ? kVisualPluginRenderMessage : kVisualPluginIdleMessage;
    qvtest::TestHost &h = *g_hosts[s];
    CHECK((h.refCon ? h.send(code, record) : h.sendWithout(code, record)) == noErr);
}

// "init" while the host holds no instance, else "hide" or "clr ".
void Life(FuzzedDataProvider &in, Run &run, int s)
{
    qvtest::TestHost &h = *g_hosts[s];
    if (!h.refCon) {
        CHECK(h.initInstance() == (run.allocFailure ? memFullErr : noErr));
        run.allocFailure = false;
    } else {
        CHECK((in.ConsumeBool() ? h.cleanupInstance() : h.hide()) == noErr);
    }
    run.shown[s] = false;
}

// What the platform and the host do around the messages.
void Upset(FuzzedDataProvider &in, Run &run, int s)
{
    const int what = in.ConsumeIntegralInRange(0, 4);
    if (what == 0) { // the next 1 to 3 calls of one AGL function fail
        QVAGL_FailCall(QVAGLCall(in.ConsumeIntegralInRange<int>(kQVAGLChoosePixelFormat, kQVAGLEnable)),
                       in.ConsumeIntegralInRange(1, 3));
        run.aglFailures = true;
    } else if (what == 1) {
        QVPlatform_FailNextAllocations(1);
        run.allocFailure = true;
    } else if (what == 2) {
        qvtest::FixClock(in.ConsumeIntegral<int64_t>()); // before 1970 too
    } else if (what == 3) {
        const SInt16 w = in.ConsumeIntegralInRange<SInt16>(1, 96), h = in.ConsumeIntegralInRange<SInt16>(1, 96);
        CHECK(QVPort_Resize(g_hosts[s]->port(), w, h) == noErr);
    } else {
        g_hosts[s]->answer = in.ConsumeBool() ? noErr : in.ConsumeIntegral<OSStatus>();
        g_hosts[s]->onCall = in.ConsumeIntegralInRange(0, 3) ? nullptr : [](OSType, HostCallRecord *) {
            throw std::runtime_error("host callback");
        };
    }
}

// One per message or event, chosen by the input; drawing and life twice as often.
void (*const kSteps[])(FuzzedDataProvider &, Run &, int) = {Life, Show, SetWindow, Draw, Draw, Life, Upset};

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
    for (g_step = 0; g_step < 24 && in.remaining_bytes() > 0; ++g_step) {
        const int s = in.ConsumeIntegralInRange(0, kHosts - 1);
        kSteps[in.ConsumeIntegralInRange<size_t>(0, sizeof kSteps / sizeof kSteps[0] - 1)](in, run, s);
        for (int i = 0; i < kHosts; ++i) {
            const VisualPluginState *st = g_hosts[i]->state();
            CHECK(!st || ((!st->msgTexture || st->aglContext) &&
                          (run.aglFailures || run.shown[i] == (st->aglContext != nullptr))));
        }
        const std::string odd = qvtest::Unaccounted(hosts, !run.aglFailures);
        Check(odd.empty(), "all is accounted for:", odd);
    }
    QVAGL_ResetFailures();
    QVPlatform_FailNextAllocations(0);
    for (int p = 0; p < kHosts; ++p) { // the host ends every instance, shown or not; nothing may be left
        qvtest::TestHost &h = *g_hosts[p];
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
