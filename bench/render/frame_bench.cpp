// The render area's benchmarks, on the tests' host (tests/support/test_host):
// - time per frame at 1280 x 720, from "vrnd" to the finished frame in the
//   port's pixel map (the swap's read-back included), on whatever GL the
//   machine offers (llvmpipe without a GPU): median and 90th percentile;
// - the show/hide soak: 10,000 cycles on one host ("show", two "vrnd",
//   "null", "swin", "hide"; "clr " and "init" every tenth), with the heap and
//   the resident set at cycle 100 and at the end; it stops at the first cycle
//   that leaves a GL object or state block alive. QV_SOAK_CYCLES overrides
//   the count; --benchmark_filter=Soak runs it alone.
// The program exports the host's GL guard, which checks the context of a few
// GL entry points per frame (well under a percent of a frame's time).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "platform/agl.h"
#include "support/test_host.h"

namespace {

void BM_FrameAt1280x720(benchmark::State &state)
{
    qvtest::TestHost host(1280, 720);
    if (!host.open() || host.show() != noErr) {
        state.SkipWithError("the visual could not be shown (QV_BUNDLE?)");
        return;
    }
    RenderData data{};
    data.numSpectrumChannels = 2;
    std::vector<double> frameMs;
    frameMs.reserve(100000);
    unsigned tick = 0;
    // CPU time of every thread (the GL driver's workers included): what a
    // frame costs the machine, whatever else competes for its cores.
    timespec cpuStart{}, cpuEnd{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuStart);
    for (auto _ : state) {
        for (int i = 0; i < 40; ++i) // a changing spectrum: peaks come and go as with music
            data.spectrumData[0][i] = static_cast<UInt8>((tick * 37 + i * 11) % 200);
        ++tick;
        const auto start = std::chrono::steady_clock::now();
        host.render(data);
        frameMs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
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

double HeapBytes()
{
    const struct mallinfo2 m = mallinfo2();
    return static_cast<double>(m.uordblks + m.hblkhd);
}

double ResidentBytes() // heap, the GL stack's mappings and its JIT code
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

void BM_ShowHideSoak(benchmark::State &state)
{
    const char *text = std::getenv("QV_SOAK_CYCLES");
    const int cycles = text && std::atoi(text) > 0 ? std::atoi(text) : 10000, early = std::min(cycles, 100);
    for (auto _ : state) {
        qvtest::FixClock(7);
        qvtest::TestHost host(64, 36);
        if (!host.open()) {
            state.SkipWithError("the bundle could not be loaded and initialised");
            return;
        }
        double heapEarly = 0, residentEarly = 0;
        for (int i = 0; i < cycles; ++i) {
            const bool ok = host.show() == noErr && host.render(0) == noErr && host.render(0) == noErr &&
                            host.idle() == noErr && host.swin(Rect{2, 3, 35, 60}) == noErr && host.hide() == noErr &&
                            (i % 10 != 9 || (host.cleanupInstance() == noErr && host.initInstance() == noErr));
            host.calls.clear();
            const std::string left = qvtest::Unaccounted({&host});
            if (!ok || !left.empty()) {
                state.SkipWithError(("cycle " + std::to_string(i) + ": " + (ok ? left : "a message failed")).c_str());
                return;
            }
            if (i + 1 == early)
                heapEarly = HeapBytes(), residentEarly = ResidentBytes();
        }
        state.counters["cycles"] = cycles;
        state.counters["heap_at_100"] = heapEarly;
        state.counters["heap_growth"] = HeapBytes() - heapEarly;
        state.counters["rss_at_100"] = residentEarly;
        state.counters["rss_growth"] = ResidentBytes() - residentEarly;
        state.counters["gl_calls_checked"] = static_cast<double>(qvtest::GLCallsSeen());
        state.counters["seconds_per_cycle"] =
            benchmark::Counter(cycles, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    }
}
BENCHMARK(BM_ShowHideSoak)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv)
{
    setenv("QV_BUNDLE", QV_BUNDLE_PATH, 0); // the built bundle unless told otherwise
    {
        qvtest::TestHost probe(16, 16); // the renderer is known once a context has been current
        const bool shown = probe.open() && probe.show() == noErr; // its context is current here
        const GLubyte *renderer = shown ? glGetString(GL_RENDERER) : nullptr;
        benchmark::AddCustomContext("gl_renderer", renderer ? reinterpret_cast<const char *>(renderer) : "(none)");
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
