// Reads an audio file with libavformat, libavcodec and libswresample: any
// container and codec they know, the best audio stream in it (so also the
// sound of a video file), decoded as it is read and converted to stereo
// float at a rate the program works at: the file's own when it lies within
// kMinSampleRate..kMaxSampleRate, so the samples stay exactly as decoded,
// else the nearest bound. A rate outside kLowestRate..kHighestRate is
// refused before anything is sized by it. Mono is copied into both
// channels; more channels are mixed down to two. Only the samples of the
// packet being decoded are held, whatever the file's length.
//
// What decodes is the audio, whatever length the container states. Decoding
// stops at the first error; what came before stays, and failure() says
// where and why it stopped.
#pragma once

#include <memory>
#include <string>

#include "host/audio/audio_source.h"

namespace qvhost {

class AudioDecoder : public AudioSource {
public:
    // Opens `path` (a local file: never read as a URL) and decodes its first
    // samples. Throws HostError ("PATH: reason") when it is no readable
    // regular file, holds no audio stream that can be decoded, claims a rate
    // no audio has, or nothing of it decodes.
    explicit AudioDecoder(const std::string &path);
    ~AudioDecoder() override;
    AudioDecoder(const AudioDecoder &) = delete;
    AudioDecoder &operator=(const AudioDecoder &) = delete;

    int sampleRate() const override;
    int read(float *left, float *right, int count) override;
    // Seeks the demuxer to the nearest point before `sample` and decodes
    // forward to it (exactly, where the stream gives timestamps).
    void seek(int64_t sample) override;
    int64_t statedLength() const override;
    std::string failure() const override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace qvhost
