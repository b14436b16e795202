// Time per frame at 1280 x 720: from the "vrnd" message to the finished frame
// in the port's pixel map (the swap's read-back included), on whatever GL the
// machine offers (llvmpipe without a GPU). Reports the median frame time and
// the GL renderer.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/agl.h"
#include "platform/qd_port.h"
#include "plugin/host_records.h"

namespace {

OSStatus Host(void *cookie, OSType code, HostCallRecord *record)
{
    if (code == kPlayerRegisterVisualPluginMessage)
        *static_cast<VisualPluginProcPtr *>(cookie) = record->u.registerVisualPluginMessage.handler;
    return noErr;
}

// The bundle loaded, registered and shown in a port of width x height.
class Visual {
public:
    Visual(SInt16 width, SInt16 height)
    {
        const char *path = std::getenv("QV_BUNDLE");
        dl_ = dlopen(path ? path : QV_BUNDLE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!dl_)
            return;
        auto entry = reinterpret_cast<PluginMainProcPtr>(dlsym(dl_, "iTunesPluginMainMachO"));
        PluginInitRecord init{};
        init.hostCookie = &handler_;
        init.hostProc = &Host;
        if (!entry || entry(kPluginInitMessage, &init, nullptr) != noErr || !handler_)
            return;
        VisualInitRecord instance{};
        instance.hostCookie = &handler_;
        instance.hostProc = &Host;
        if (handler_(kPluginInitMessage, &instance, nullptr) != noErr)
            return;
        refCon_ = instance.refCon;
        port_ = QVPort_Create(width, height);
        WindowRecord window{port_, Rect{0, 0, height, width}};
        shown_ = handler_(kVisualPluginShowWindowMessage, &window, refCon_) == noErr;
    }
    ~Visual()
    {
        if (refCon_) {
            handler_(kVisualPluginHideWindowMessage, nullptr, refCon_);
            handler_(kPluginCleanupMessage, nullptr, refCon_);
        }
        QVPort_Dispose(port_);
        if (dl_)
            dlclose(dl_);
    }
    bool shown() const { return shown_; }
    OSStatus render(RenderMessageRecord *record) { return handler_(kVisualPluginRenderMessage, record, refCon_); }

private:
    void *dl_ = nullptr;
    VisualPluginProcPtr handler_ = nullptr;
    void *refCon_ = nullptr;
    CGrafPtr port_ = nullptr;
    bool shown_ = false;
};

void BM_FrameAt1280x720(benchmark::State &state)
{
    Visual visual(1280, 720);
    if (!visual.shown()) {
        state.SkipWithError("the visual could not be shown (QV_BUNDLE?)");
        return;
    }
    static RenderData data{};
    data.numSpectrumChannels = 2;
    RenderMessageRecord record{&data};
    std::vector<double> frameMs;
    frameMs.reserve(100000);
    unsigned tick = 0;
    // CPU time of every thread (the GL driver's workers included): what a
    // frame costs the machine, whatever else competes for its cores.
    timespec cpuStart{}, cpuEnd{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuStart);
    for (auto _ : state) {
        // A changing spectrum, so peaks come and go as with music.
        for (int i = 0; i < 40; ++i)
            data.spectrumData[0][i] = static_cast<UInt8>((tick * 37 + i * 11) % 200);
        ++tick;
        const auto start = std::chrono::steady_clock::now();
        visual.render(&record);
        const auto end = std::chrono::steady_clock::now();
        frameMs.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuEnd);
    const double cpuMs = (cpuEnd.tv_sec - cpuStart.tv_sec) * 1e3 + (cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e6;
    state.counters["all_threads_cpu_ms"] = cpuMs / static_cast<double>(frameMs.size());
    std::sort(frameMs.begin(), frameMs.end());
    state.counters["median_ms"] = frameMs[frameMs.size() / 2];
    state.counters["p90_ms"] = frameMs[frameMs.size() * 9 / 10];
    state.counters["goal_ms"] = 3.0;
}
BENCHMARK(BM_FrameAt1280x720)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char **argv)
{
    {
        // The renderer is known once a context has been current: show once.
        Visual probe(16, 16);
        benchmark::AddCustomContext("gl_renderer", probe.shown() ? QVAGL_RendererName() : "(none)");
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
