// Writes an .mp4: H.264 video (libx264 through libavcodec) from ARGB frames
// and, when given a rate, the audio the frames carry as an AAC track, muxed
// with libavformat.
// Used from one thread (the encoding worker).
#pragma once

#include <memory>
#include <string>

#include "host/common/defaults.h"
#include "host/video/frame_pipeline.h"

namespace qvhost {

struct VideoSettings {
    int width = kDefaultWidth;
    int height = kDefaultHeight;
    int fps = kDefaultFps;
    // x264 speed preset and constant rate factor. Up to "superfast" the
    // drawing, not the encoder, bounds the speed on two cores, and its files
    // are much smaller than "ultrafast"'s; slower presets cost time.
    std::string preset = "superfast";
    int crf = 23;
};

class Mp4Writer : public FrameSink {
public:
    // Opens `path` (written as MP4 whatever its name). `audioRate`: the rate
    // of the frames' audio; 0 for a video without sound. Throws HostError.
    Mp4Writer(const std::string &path, const VideoSettings &video, int audioRate);
    ~Mp4Writer() override;

    // Frames must come in order with the writer's size.
    void write(const Frame &frame) override;
    // Flushes both encoders and closes the file.
    void finish() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace qvhost
