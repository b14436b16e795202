#include "host/OfflineRenderer.h"

#include <chrono>
#include <memory>

#include "host/AudioClip.h"
#include "host/FramePipeline.h"
#include "host/HostError.h"
#include "host/OutputFiles.h"
#include "host/PngWriter.h"
#include "host/Port.h"
#include "host/Progress.h"
#include "host/SpectrumAnalyzer.h"
#include "host/VisualHost.h"
#include "platform/QVClock.h"

namespace qvhost {
namespace {

constexpr int kMaxFps = 1000;
constexpr int kMaxSide = 8192;
constexpr int kSequencePngLevel = 3; // fast; frames are intermediate material
constexpr int kStillPngLevel = 9;

// While alive, the visual's calendar clock reads the video time of the frame
// being drawn.
class VideoClock {
public:
    explicit VideoClock(int fps) : fps_(fps) { QVClock_SetSource(&VideoClock::Now, this); }
    ~VideoClock() { QVClock_SetSource(nullptr, nullptr); }
    void setFrame(int64_t n) { frame_ = n; }

private:
    static time_t Now(void *self)
    {
        const VideoClock *c = static_cast<const VideoClock *>(self);
        return static_cast<time_t>(c->frame_ / c->fps_);
    }
    int fps_;
    int64_t frame_ = 0;
};

class PngSequenceSink : public FrameSink {
public:
    // `paths[i]`: where frame i goes.
    explicit PngSequenceSink(std::vector<std::string> paths) : paths_(std::move(paths)) {}
    void write(const Frame &f) override
    {
        WritePng(paths_.at(static_cast<size_t>(f.index)), f.pixels.data(), f.width, f.height, f.width,
                 kSequencePngLevel);
    }
    void finish() override {}

private:
    std::vector<std::string> paths_;
};

class StillSink : public FrameSink {
public:
    explicit StillSink(std::string path) : path_(std::move(path)) {}
    void write(const Frame &f) override { WritePng(path_, f.pixels.data(), f.width, f.height, f.width, kStillPngLevel); }
    void finish() override {}

private:
    std::string path_;
};

void CheckRegistrationLimits(const VisualHost &host, const RenderJob &job)
{
    const VisualRegistration &reg = host.services().registration();
    auto outside = [](int v, int lo, int hi) { return (lo > 0 && v < lo) || (hi > 0 && v > hi); };
    if (outside(job.width, reg.minWidth, reg.maxWidth) || outside(job.height, reg.minHeight, reg.maxHeight))
        throw UsageError("--size " + std::to_string(job.width) + "x" + std::to_string(job.height) +
                         ": outside what the plug-in accepts (" + std::to_string(reg.minWidth) + "x" +
                         std::to_string(reg.minHeight) + " to " + std::to_string(reg.maxWidth) + "x" +
                         std::to_string(reg.maxHeight) + ")");
}

} // namespace

int64_t FrameCount(int64_t samples, int rate, int fps)
{
    if (samples <= 0 || rate <= 0 || fps <= 0)
        return 0;
    return (samples * fps + rate - 1) / rate;
}

int64_t FrameSample(int64_t n, int rate, int fps)
{
    return n * rate / fps;
}

void ValidateRenderJob(const RenderJob &job)
{
    if (job.width < 16 || job.height < 16 || job.width > kMaxSide || job.height > kMaxSide)
        throw UsageError("--size " + std::to_string(job.width) + "x" + std::to_string(job.height) +
                         ": each side must be 16 to " + std::to_string(kMaxSide) + " pixels");
    if (job.fps < 1 || job.fps > kMaxFps)
        throw UsageError("--fps " + std::to_string(job.fps) + ": must be 1 to " + std::to_string(kMaxFps));
    if (job.nullSink)
        return;
    const OutputKind kind = ClassifyOutput(job.output, job.stillFrame.has_value());
    if (kind == OutputKind::Mp4 && (job.width % 2 || job.height % 2))
        throw UsageError("--size " + std::to_string(job.width) + "x" + std::to_string(job.height) +
                         ": H.264 video needs an even width and height");
    if (job.stillFrame && *job.stillFrame < 0)
        throw UsageError("--frame " + std::to_string(*job.stillFrame) + ": frames count from 0");
}

RenderResult RenderClip(const AudioClip &clip, const RenderJob &job)
{
    ValidateRenderJob(job);
    const auto started = std::chrono::steady_clock::now();
    int64_t frames = FrameCount(clip.frames(), clip.sampleRate, job.fps);
    if (job.frameLimit >= 0)
        frames = std::min(frames, job.frameLimit);
    if (job.stillFrame && *job.stillFrame >= frames)
        throw UsageError("--frame " + std::to_string(*job.stillFrame) + ": the audio gives only " +
                         std::to_string(frames) + " frames at " + std::to_string(job.fps) + " fps (0 to " +
                         std::to_string(frames - 1) + ")");
    const int64_t lastFrame = job.stillFrame ? *job.stillFrame : frames - 1;

    // Where everything goes is checked before the bundle is touched.
    OutputFiles outputs;
    const OutputKind kind = job.nullSink ? OutputKind::Mp4 : ClassifyOutput(job.output, job.stillFrame.has_value());
    std::vector<std::string> sequence;
    std::string target;
    if (!job.nullSink) {
        if (kind == OutputKind::PngSequence) {
            OutputFiles::CheckWritable(*FormatFramePattern(job.output, 0));
            for (int64_t n = 0; n < frames; ++n)
                sequence.push_back(outputs.add(*FormatFramePattern(job.output, n)));
        } else {
            OutputFiles::CheckWritable(job.output);
            target = outputs.add(job.output);
        }
    }

    // The port outlives the visual: "hide" detaches the GL context from it.
    Port port(job.width, job.height);
    HostServices services(job.configRoot.empty() ? PluginDataStore::DefaultRoot() : job.configRoot);
    VisualHost host(job.bundlePath, services);
    host.start();
    CheckRegistrationLimits(host, job);

    std::unique_ptr<FrameSink> sink;
    if (job.nullSink) {
        sink = std::make_unique<NullSink>();
    } else if (kind == OutputKind::Mp4) {
        VideoSettings video = job.video;
        video.width = job.width;
        video.height = job.height;
        video.fps = job.fps;
        sink = std::make_unique<Mp4Writer>(target, video, &clip);
    } else if (kind == OutputKind::PngSequence) {
        sink = std::make_unique<PngSequenceSink>(sequence);
    } else {
        sink = std::make_unique<StillSink>(target);
    }

    VideoClock clock(job.fps);
    SpectrumAnalyzer analyzer;
    const ChannelRequest request{host.spectrumChannels(), host.waveformChannels()};
    RenderData data;
    RenderResult result;
    {
        FramePipeline pipeline(*sink, job.width, job.height);
        host.show(port.get(), port.bounds());
        if (port.framesDelivered() == 0)
            throw HostError(job.bundlePath + ": the visual drew nothing when shown (no usable GL renderer?)");
        host.playState(kVisualPluginPlayMessage);
        Progress progress(lastFrame + 1, job.stillFrame ? "frame" : "render", job.progress);
        for (int64_t n = 0; n <= lastFrame; ++n) {
            if (job.cancel && job.cancel->load())
                throw HostError("interrupted; nothing written");
            if (services.unregisterRequested())
                throw HostError(job.bundlePath + ": the plug-in took itself out during the render");
            clock.setFrame(n);
            analyzer.fill(clip, FrameSample(n, clip.sampleRate, job.fps), request, data);
            host.frame(&data, static_cast<double>(n) / job.fps);
            ++result.framesDrawn;
            if (!job.stillFrame || n == *job.stillFrame) {
                if (sink->wantsFrames()) {
                    Frame &frame = pipeline.acquire();
                    frame.index = n;
                    port.copyTo(frame.pixels.data(), job.width);
                    pipeline.submit();
                }
                ++result.framesWritten;
            }
            progress.update(n + 1);
        }
        host.playState(kVisualPluginStopMessage);
        host.stop();
        pipeline.finish();
        progress.finish();
    }
    outputs.commit();
    result.files = outputs.finalPaths();
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return result;
}

} // namespace qvhost
