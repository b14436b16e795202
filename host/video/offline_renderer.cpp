#include "host/video/offline_renderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <memory>

#include "host/audio/audio_source.h"
#include "host/common/frame_size.h"
#include "host/common/host_error.h"
#include "host/common/sample_history.h"
#include "host/common/time_text.h"
#include "host/video/frame_pipeline.h"
#include "host/video/output_files.h"
#include "host/video/png_writer.h"
#include "host/video/progress.h"
#include "host/visual/hosted_visual.h"

namespace qvhost {
namespace {

constexpr int kSequencePngLevel = 3; // fast; frames are intermediate material
constexpr int kStillPngLevel = 9;

// Frame n goes to the pattern's name for n, reserved in `outputs` as it
// comes (the render's thread leaves `outputs` alone while frames are
// written); the frames reach the disk together when `outputs` commits.
class PngSequenceSink : public FrameSink {
public:
    PngSequenceSink(OutputFiles &outputs, std::string pattern) : outputs_(outputs), pattern_(std::move(pattern)) {}
    void write(const Frame &f) override
    {
        const std::string name = *FormatFramePattern(pattern_, f.index);
        WritePng(outputs_.add(name), name, f.pixels.data(), f.width, f.height, f.width, kSequencePngLevel, false);
    }
    void finish() override {}

private:
    OutputFiles &outputs_;
    std::string pattern_;
};

class StillSink : public FrameSink {
public:
    StillSink(FileDescriptor file, std::string name) : file_(std::move(file)), name_(std::move(name)) {}
    void write(const Frame &f) override
    {
        WritePng(std::move(file_), name_, f.pixels.data(), f.width, f.height, f.width, kStillPngLevel, true);
    }
    void finish() override {}

private:
    FileDescriptor file_;
    std::string name_;
};

} // namespace

void ValidateRenderJob(const RenderJob &job)
{
    CheckFrameSize(job.width, job.height);
    if (job.fps < 1 || job.fps > kMaxFps)
        throw UsageError("--fps " + std::to_string(job.fps) + ": must be 1 to " + std::to_string(kMaxFps));
    if (job.nullSink)
        return;
    const OutputKind kind = ClassifyOutput(job.output, job.stillFrame.has_value());
    if (kind == OutputKind::Mp4 && (job.width % 2 || job.height % 2))
        throw UsageError("--size " + SizeText(job.width, job.height) + ": H.264 video needs an even width and height");
    if (job.stillFrame && *job.stillFrame < 0)
        throw UsageError("--frame " + std::to_string(*job.stillFrame) + ": frames count from 0");
    if (!(job.start >= 0.0))
        throw UsageError("--start " + TimeText(job.start) + ": must not be negative");
    if (job.duration && !(*job.duration > 0.0))
        throw UsageError("--duration " + TimeText(*job.duration) + ": must be more than 0");
    if (!job.input.empty() && OutputNamesFile(job.output, kind, job.input))
        throw UsageError(job.output + ": is the input file; a render never replaces what it reads");
}

namespace {

// What a render will do and where it writes, settled before the bundle is
// touched: the last frame to draw and the file reserved for the output.
struct RenderPlan {
    int64_t lastFrame = INT64_MAX; // frames from 0 up to this one, as long as the audio lasts
    int64_t expectedFrames = 0;    // from the length the source states (progress only)
    OutputKind kind = OutputKind::Mp4;
    FileDescriptor target; // the temporary file of the video or the still
};

// `job` is valid (ValidateRenderJob).
RenderPlan PlanRender(const AudioSource &source, const RenderJob &job, OutputFiles &outputs)
{
    RenderPlan plan;
    if (job.stillFrame)
        plan.lastFrame = *job.stillFrame;
    plan.expectedFrames = std::min(FramesBefore(source.statedLength(), source.sampleRate(), FrameRate{job.fps, 1}),
                                   plan.lastFrame == INT64_MAX ? INT64_MAX : plan.lastFrame + 1);
    if (job.nullSink)
        return plan;
    plan.kind = ClassifyOutput(job.output, job.stillFrame.has_value());
    const std::string first = plan.kind == OutputKind::PngSequence ? *FormatFramePattern(job.output, 0) : job.output;
    OutputFiles::RemoveStale(first.find('/') == std::string::npos ? "." : first.substr(0, first.rfind('/') + 1));
    OutputFiles::CheckWritable(first);
    if (plan.kind != OutputKind::PngSequence)
        plan.target = outputs.add(job.output);
    return plan;
}

// The sink of the plan's output, opened.
std::unique_ptr<FrameSink> OpenSink(int audioRate, const RenderJob &job, RenderPlan &plan, OutputFiles &outputs)
{
    if (job.nullSink)
        return std::make_unique<NullSink>();
    switch (plan.kind) {
    case OutputKind::Mp4: {
        VideoSettings video = job.video;
        video.width = job.width;
        video.height = job.height;
        video.fps = job.fps;
        return std::make_unique<Mp4Writer>(std::move(plan.target), job.output, video, audioRate);
    }
    case OutputKind::PngSequence:
        return std::make_unique<PngSequenceSink>(outputs, job.output);
    case OutputKind::Still:
        break;
    }
    return std::make_unique<StillSink>(std::move(plan.target), job.output);
}

// The most samples between two frames' moments.
int BlockCapacity(int rate, int fps)
{
    return rate / fps + 1;
}

// Draws frames from 0 to plan.lastFrame of a shown visual while the audio
// lasts. Before frame n is drawn, the audio up to frame n + 1's moment is
// read: the analysis window ends at frame n's moment, and the samples from
// there to the next moment travel with the frame to the encoder. A frame the
// sink wants is read back straight into a pipeline buffer, which goes to the
// encoder as it is: the pixels cross memory once between the GL and the
// encoder.
void DrawFrames(AudioSource &source, const RenderJob &job, const RenderPlan &plan, HostedVisual &visual,
                FramePipeline &pipeline, bool wantsFrames, RenderResult &result)
{
    const int rate = source.sampleRate();
    const FrameRate fps{job.fps, 1};
    SampleHistory history(kAnalysisSize + BlockCapacity(rate, job.fps));
    std::vector<float> block[2];
    for (auto &b : block)
        b.resize(static_cast<size_t>(BlockCapacity(rate, job.fps)));
    Progress progress(plan.expectedFrames, job.stillFrame ? "frame" : "render", job.progress);
    int64_t n = 0;
    for (bool more = true; more && n <= plan.lastFrame; ++n) {
        if (job.cancel && job.cancel->load())
            throw HostError("interrupted; nothing written");
        // (rate > fps always, so every frame's time span holds samples)
        const int want = static_cast<int>(FrameSample(n + 1, rate, fps) - FrameSample(n, rate, fps));
        const int got = source.read(block[0].data(), block[1].data(), want);
        if (got == 0) // the audio ended at this frame's moment: no frame n
            break;
        more = got == want;
        history.append(block[0].data(), block[1].data(), got);
        const bool written = !job.stillFrame || n == *job.stillFrame;
        Frame *frame = written && wantsFrames ? &pipeline.acquire() : nullptr;
        visual.drawFrame(n, fps, history, rate, frame ? frame->pixels.data() : nullptr);
        ++result.framesDrawn;
        if (frame) {
            frame->index = n;
            for (int c = 0; c < 2; ++c)
                std::copy_n(block[c].data(), got, frame->audio[c].data());
            frame->audioSamples = got;
            pipeline.submit();
        }
        result.framesWritten += written;
        progress.update(n + 1);
    }
    if (job.stillFrame && n <= *job.stillFrame)
        throw UsageError("--frame " + std::to_string(*job.stillFrame) + ": the audio gives only " + std::to_string(n) +
                         " frames at " + std::to_string(job.fps) + " fps (0 to " + std::to_string(n - 1) + ")");
    progress.setTotal(n);
    progress.finish();
}

} // namespace

RenderResult RenderAudio(AudioSource &whole, const RenderJob &job)
{
    const auto started = std::chrono::steady_clock::now();
    ValidateRenderJob(job);
    const int rate = whole.sampleRate();
    const int64_t start = std::llround(job.start * rate), length = whole.statedLength();
    const auto startsNothing = [&](const std::string &why) {
        return UsageError("--start " + TimeText(job.start) + ": " + why);
    };
    if (start > 0 && length >= 0 && start >= length)
        throw startsNothing("the audio lasts only " + TimeText(static_cast<double>(length) / rate));
    ExcerptSource source(whole, start, job.duration ? std::max<int64_t>(std::llround(*job.duration * rate), 1) : -1);
    OutputFiles outputs;
    RenderPlan plan = PlanRender(source, job, outputs);

    // The software GL rasterizes on the drawing thread rather than on threads
    // of its own: the encoder keeps the other cores busy, and handing each
    // frame to more threads cost more than it saved (bench/host/vs_showcqt.sh).
    // Read when the GL starts, so only where nothing has started it yet.
    setenv("LP_NUM_THREADS", "0", 0);
    HostedVisual visual(job.bundlePath, job.configRoot);
    visual.setSamples(job.samples);
    RenderResult result;
    {
        // The frames in the pipeline are drawn into: it goes after the visual has stopped.
        const std::unique_ptr<FrameSink> sink = OpenSink(source.sampleRate(), job, plan, outputs);
        FramePipeline pipeline(*sink, job.width, job.height, BlockCapacity(source.sampleRate(), job.fps));
        visual.show(job.width, job.height, job.fit);
        // A still: the frames before it only move the visual.
        if (job.stillFrame)
            visual.setUnseenFrames(static_cast<uint32_t>(std::min<int64_t>(*job.stillFrame, UINT32_MAX)));
        DrawFrames(source, job, plan, visual, pipeline, sink->wantsFrames(), result);
        if (result.framesDrawn == 0)
            throw startsNothing("the audio ends before it");
        visual.stop();
        pipeline.finish();
    }
    if (job.cancel && job.cancel->load()) // (a signal after the last frame)
        throw HostError("interrupted; nothing written");
    outputs.commit();
    result.files = outputs.finalPaths();
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return result;
}

} // namespace qvhost
