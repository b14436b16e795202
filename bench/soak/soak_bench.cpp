// 10,000 show/hide cycles on one host ("show", two "vrnd", "null", "swin",
// "hide"; "clr " and "init" every tenth cycle), timed, with the heap in use and
// the resident set at cycle 100 and at the last cycle, and the GL objects
// left at the end. Every
// cycle also checks that nothing outlives its "hide" (see soak_cycle.h); the
// run stops with an error at the first cycle that leaves something.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

#include "hardening/gl_guard.h"
#include "hardening/soak_cycle.h"
#include "platform/agl.h"

namespace {

// Resident set of the process in bytes (heap, the GL stack's mappings and
// its JIT code), from /proc/self/statm.
double ResidentBytes()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

int Cycles()
{
    const char *text = std::getenv("QV_SOAK_CYCLES");
    const int n = text ? std::atoi(text) : 0;
    return n > 0 ? n : 10000;
}

void BM_ShowHideSoak(benchmark::State &state)
{
    const int cycles = Cycles();
    const int early = cycles < 100 ? cycles : 100;
    for (auto _ : state) {
        soak::SoakRun run(64, 36);
        if (!run.ok()) {
            state.SkipWithError("the bundle could not be loaded and initialised");
            return;
        }
        size_t heapEarly = 0;
        double residentEarly = 0;
        for (int i = 0; i < cycles; ++i) {
            if (!run.cycle()) {
                state.SkipWithError(run.failure().c_str());
                return;
            }
            if (i + 1 == early) {
                heapEarly = soak::HeapInUse();
                residentEarly = ResidentBytes();
            }
        }
        const size_t heapEnd = soak::HeapInUse();
        const double residentEnd = ResidentBytes();
        const soak::Resources r = soak::CountResources();
        state.counters["cycles"] = cycles;
        state.counters["heap_at_100"] = static_cast<double>(heapEarly);
        state.counters["heap_at_end"] = static_cast<double>(heapEnd);
        state.counters["heap_growth"] = static_cast<double>(heapEnd) - static_cast<double>(heapEarly);
        state.counters["rss_at_100"] = residentEarly;
        state.counters["rss_at_end"] = residentEnd;
        state.counters["contexts"] = r.contexts;
        state.counters["pixel_formats"] = r.pixelFormats;
        state.counters["framebuffers"] = r.framebuffers;
        state.counters["textures"] = r.textures;
        state.counters["gl_violations"] = r.glViolations;
        state.counters["gl_calls"] = static_cast<double>(glguard::GetStats().calls);
        state.counters["seconds_per_cycle"] =
            benchmark::Counter(cycles, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
        std::printf("heap in use at cycle %d: %zu bytes; at cycle %d: %zu bytes (%+lld)\n", early, heapEarly, cycles,
                    heapEnd, static_cast<long long>(heapEnd) - static_cast<long long>(heapEarly));
        std::printf("resident set at cycle %d: %.0f bytes; at cycle %d: %.0f bytes\n", early, residentEarly, cycles,
                    residentEnd);
        std::printf("left after the last cycle: %s\n", soak::Describe(r).c_str());
        std::printf("GL renderer: %s\n", QVAGL_RendererName());
    }
}
BENCHMARK(BM_ShowHideSoak)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv)
{
    setenv("QV_BUNDLE", QV_BUNDLE_PATH, 0); // the built bundle unless told otherwise
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
