// Headless rendering of audio to video or PNG frames: frame n carries the
// audio of time n / fps, and the calendar clock the visual reads follows the
// video's time (frame n sees floor(n / fps) seconds), so what the visual does
// with time happens at the same places in the video on every run.
//
// The audio streams through: a render holds the samples of one frame's
// analysis window and those waiting for the encoder, whatever the length.
// Drawing (and decoding) runs on the calling thread; encoding runs on a
// worker thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/common/defaults.h"
#include "host/video/mp4_writer.h"
#include "host/visual/hosted_visual.h"

namespace qvhost {

class AudioSource;

struct RenderJob {
    std::string bundlePath;
    // The file the audio comes from, if any: no output may be it.
    std::string input;
    // .mp4 file, %d PNG pattern, or (with stillFrame) one PNG. Empty with
    // nullSink.
    std::string output;
    int width = kDefaultWidth;
    int height = kDefaultHeight;
    int fps = kDefaultFps;
    std::optional<int64_t> stillFrame;
    // The excerpt of the audio rendered, in seconds: from `start` for
    // `duration` (none: to the end). Frame 0 is the excerpt's start, drawn as
    // a render of the audio cut there draws it.
    double start = 0.0;
    std::optional<double> duration;
    // Smooth edges: samples per pixel (0 or 1: the plain picture).
    int samples = kDefaultSamples;
    // How the visual fills a frame of another shape than its own.
    Fit fit = Fit::Auto;
    // Discard the frames after drawing them (benchmarks).
    bool nullSink = false;
    // Progress bar: -1 when standard error is a terminal, 0 never, 1 always.
    int progress = -1;
    // x264 preset and quality; the size and rate above override its own.
    VideoSettings video;
    // Set (e.g. by a signal handler) to stop early; the render then fails.
    const std::atomic<bool> *cancel = nullptr;
    // Where plug-in data lives; empty: the default.
    std::string configRoot;
};

struct RenderResult {
    int64_t framesDrawn = 0;
    int64_t framesWritten = 0;
    double seconds = 0.0;
    std::vector<std::string> files;
};

// Checks the job's options (size, rate, output kind, an output that would
// replace the input) before anything is loaded. Throws a usage HostError.
void ValidateRenderJob(const RenderJob &job);

// Renders what `source` gives from its start: as many frames as its audio
// lasts (FrameCount of the samples read). Throws HostError; on failure no
// output file is left.
RenderResult RenderAudio(AudioSource &source, const RenderJob &job);

} // namespace qvhost
