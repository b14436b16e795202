// Offline rendering throughput in frames per second of wall time (the
// items_per_second counter), and the analysis cost of one frame's audio.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "host/AudioClip.h"
#include "host/DemoSong.h"
#include "host/FramePipeline.h"
#include "host/Mp4Writer.h"
#include "host/OfflineRenderer.h"
#include "host/SpectrumAnalyzer.h"

using namespace qvhost;

namespace {

constexpr double kSeconds = 5.0; // 300 frames at 60 fps per iteration

const AudioClip &Demo()
{
    static const AudioClip clip = SynthesizeDemoSong(kSeconds);
    return clip;
}

RenderJob Job720p()
{
    RenderJob job;
    job.bundlePath = QV_BENCH_BUNDLE;
    job.width = 1280;
    job.height = 720;
    job.fps = 60;
    job.progress = 0;
    job.configRoot = "/tmp";
    return job;
}

void BM_RenderToMp4_720p60(benchmark::State &state)
{
    RenderJob job = Job720p();
    job.output = "/tmp/qv-bench-" + std::to_string(getpid()) + ".mp4";
    int64_t frames = 0;
    for (auto _ : state)
        frames += RenderClip(Demo(), job).framesWritten;
    std::remove(job.output.c_str());
    state.SetItemsProcessed(frames);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderToMp4_720p60)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_RenderToNullSink_720p60(benchmark::State &state)
{
    RenderJob job = Job720p();
    job.nullSink = true;
    int64_t frames = 0;
    for (auto _ : state)
        frames += RenderClip(Demo(), job).framesWritten;
    state.SetItemsProcessed(frames);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderToNullSink_720p60)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// Encoding alone (colour conversion, H.264, AAC, muxing) of a fixed frame:
// the worker thread's share of a render.
void BM_EncodeOnly_720p60(benchmark::State &state)
{
    const std::string path = "/tmp/qv-bench-enc-" + std::to_string(getpid()) + ".mp4";
    Frame frame;
    frame.width = 1280;
    frame.height = 720;
    frame.pixels.assign(1280 * 720, 0xFF336699u);
    for (int y = 200; y < 500; ++y)
        for (int x = 300; x < 900; ++x)
            frame.pixels[static_cast<size_t>(y) * 1280 + x] = 0xFFEEDD22u;
    int64_t frames = 0;
    for (auto _ : state) {
        VideoSettings video;
        Mp4Writer writer(path, video, &Demo());
        for (int n = 0; n < 300; ++n) {
            frame.index = n;
            writer.write(frame);
        }
        writer.finish();
        frames += 300;
    }
    std::remove(path.c_str());
    state.SetItemsProcessed(frames);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EncodeOnly_720p60)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_SpectrumPerFrame(benchmark::State &state)
{
    SpectrumAnalyzer analyzer;
    RenderData data;
    const AudioClip &clip = Demo();
    int64_t n = 0;
    for (auto _ : state) {
        analyzer.fill(clip, FrameSample(n, clip.sampleRate, 60), ChannelRequest{}, data);
        benchmark::DoNotOptimize(data);
        n = (n + 1) % 300;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SpectrumPerFrame);

} // namespace

BENCHMARK_MAIN();
