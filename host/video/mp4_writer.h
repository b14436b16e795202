// Writes an .mp4: H.264 video (libx264 through libavcodec) from ARGB frames
// and, when given a rate, the audio the frames carry as an AAC track, muxed
// with libavformat.
// Used from one thread (the encoding worker).
#pragma once

#include <memory>
#include <string>

#include "host/common/defaults.h"
#include "host/common/new_file.h"
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
    // Writes into `file`, an empty file opened for reading and writing (the
    // MP4's index is moved to its front at the end, reading it back), never
    // through a name. `audioRate`: the rate of the frames' audio; 0 for a
    // video without sound. Throws HostError naming `name`, the file as the
    // user knows it.
    Mp4Writer(FileDescriptor file, const std::string &name, const VideoSettings &video, int audioRate);
    ~Mp4Writer() override;

    // Frames must come in order with the writer's size.
    void write(const Frame &frame) override;
    // Flushes both encoders and finishes the file, its data on the disk.
    void finish() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace qvhost
