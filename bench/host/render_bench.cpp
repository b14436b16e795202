// Offline rendering throughput in frames per second of wall time (the
// items_per_second counter), the analysis cost of one frame's audio, and the
// colour conversion of a frame against libswscale's.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/audio/audio_source.h"
#include "host/audio/demo_song.h"
#include "host/video/frame_pipeline.h"
#include "host/video/mp4_writer.h"
#include "host/video/offline_renderer.h"
#include "host/common/sample_history.h"
#include "host/visual/frame_grid.h"
#include "host/visual/spectrum_analyzer.h"
#include "host/video/yuv_conversion.h"

extern "C" {
#include <libswscale/swscale.h>
}

using namespace qvhost;

namespace {

// The whole demo, 20.5 s: 1230 frames at 60 fps per render, so the set-up
// of a render (bundle, GL context, scene, encoder) weighs as it does in use.
const AudioClip &Demo()
{
    static const AudioClip clip = SynthesizeDemoSong();
    return clip;
}

// CPU time of the whole process (every thread, GL's included), seconds.
double ProcessCpuSeconds()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Frames per second of wall time, and the CPU milliseconds each frame costs
// over all threads: on a shared machine the second says more about what two
// free cores would do (about 2000 / cpu_ms frames per second at best).
void Report(benchmark::State &state, int64_t frames, double cpuSeconds)
{
    state.SetItemsProcessed(frames);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["cpu_ms_per_frame"] = frames ? 1000.0 * cpuSeconds / static_cast<double>(frames) : 0.0;
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

// Argument: samples per pixel (0: plain edges).
void BM_RenderToMp4_720p60(benchmark::State &state)
{
    RenderJob job = Job720p();
    job.samples = static_cast<int>(state.range(0));
    job.output = "/tmp/qv-bench-" + std::to_string(getpid()) + ".mp4";
    int64_t frames = 0;
    const double cpu0 = ProcessCpuSeconds();
    for (auto _ : state) {
        ClipSource demo(Demo());
        frames += RenderAudio(demo, job).framesWritten;
    }
    Report(state, frames, ProcessCpuSeconds() - cpu0);
    std::remove(job.output.c_str());
}
BENCHMARK(BM_RenderToMp4_720p60)->Arg(0)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_RenderToNullSink_720p60(benchmark::State &state)
{
    RenderJob job = Job720p();
    job.nullSink = true;
    job.samples = static_cast<int>(state.range(0));
    int64_t frames = 0;
    const double cpu0 = ProcessCpuSeconds();
    for (auto _ : state) {
        ClipSource demo(Demo());
        frames += RenderAudio(demo, job).framesWritten;
    }
    Report(state, frames, ProcessCpuSeconds() - cpu0);
}
BENCHMARK(BM_RenderToNullSink_720p60)->Arg(0)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// Encoding alone (colour conversion, H.264, AAC, muxing) of moving flat
// shapes like the visual's: the worker thread's share of a render.
void BM_EncodeOnly_720p60(benchmark::State &state)
{
    const std::string path = "/tmp/qv-bench-enc-" + std::to_string(getpid()) + ".mp4";
    constexpr int kFrames = 16, kFrameSamples = kDemoSampleRate / 60;
    std::vector<Frame> frames(kFrames);
    for (int n = 0; n < kFrames; ++n) {
        Frame &f = frames[n];
        f.width = 1280;
        f.height = 720;
        for (int c = 0; c < 2; ++c) // each frame carries its share of the demo's sound
            f.audio[c].assign(Demo().channels[c].begin() + n * kFrameSamples,
                              Demo().channels[c].begin() + (n + 1) * kFrameSamples);
        f.audioSamples = kFrameSamples;
        f.pixels.assign(1280 * 720, 0xFF336699u);
        for (int y = 100 + 9 * n; y < 500 + 5 * n; ++y)
            for (int x = 300 + 13 * n; x < 700 + 11 * n; ++x)
                f.pixels[static_cast<size_t>(y) * 1280 + x] = 0xFFEEDD22u + static_cast<uint32_t>(((x - y) >> 4) & 7);
    }
    int64_t written = 0;
    const double cpu0 = ProcessCpuSeconds();
    for (auto _ : state) {
        VideoSettings video;
        Mp4Writer writer(FileDescriptor(open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)), path, video,
                         kDemoSampleRate);
        for (int n = 0; n < 300; ++n) {
            Frame &f = frames[n % kFrames];
            f.index = n;
            writer.write(f);
        }
        writer.finish();
        written += 300;
    }
    Report(state, written, ProcessCpuSeconds() - cpu0);
    std::remove(path.c_str());
}
BENCHMARK(BM_EncodeOnly_720p60)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_SpectrumPerFrame(benchmark::State &state)
{
    SpectrumAnalyzer analyzer;
    RenderData data;
    const AudioClip &clip = Demo();
    SampleHistory history(static_cast<int>(clip.frames()));
    history.append(clip.channels[0].data(), clip.channels[1].data(), static_cast<int>(clip.frames()));
    int64_t n = 0;
    for (auto _ : state) {
        analyzer.fill(history, FrameSample(n, clip.sampleRate, FrameRate{60, 1}), ChannelRequest{}, data);
        benchmark::DoNotOptimize(data);
        n = (n + 1) % 1200;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SpectrumPerFrame);

// One 1280x720 frame of flat shapes to BT.709 limited-range YUV 4:2:0:
// Arg(0) the program's conversion, Arg(1) libswscale's (fast bilinear, its
// quickest that averages chroma), the anchor.
void BM_ColourConversion_720p(benchmark::State &state)
{
    constexpr int kW = 1280, kH = 720;
    std::vector<uint32_t> argb(kW * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            argb[y * kW + x] = 0xFF000000u | (((x / 40 + y / 30) % 5) * 0x334455u);
    std::vector<uint8_t> y(kW * kH), u(kW * kH / 4), v(kW * kH / 4);
    SwsContext *sws = nullptr;
    if (state.range(0) == 1) {
        sws = sws_getContext(kW, kH, AV_PIX_FMT_BGRA, kW, kH, AV_PIX_FMT_YUV420P, SWS_FAST_BILINEAR, nullptr, nullptr,
                             nullptr);
        const int *bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(sws, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    }
    const uint8_t *in[1] = {reinterpret_cast<const uint8_t *>(argb.data())};
    const int inStride[1] = {kW * 4}, outStride[3] = {kW, kW / 2, kW / 2};
    uint8_t *out[3] = {y.data(), u.data(), v.data()};
    for (auto _ : state) {
        if (sws)
            sws_scale(sws, in, inStride, 0, kH, out, outStride);
        else
            ArgbToYuv420(argb.data(), kW, kH, kW, YuvPlanes{y.data(), kW, u.data(), kW / 2, v.data(), kW / 2});
        benchmark::DoNotOptimize(y.data());
    }
    sws_freeContext(sws);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ColourConversion_720p)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
