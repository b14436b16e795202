// Decoded audio: two channels of float samples (-1..1 full scale) at one rate.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qvhost {

struct AudioClip {
    int sampleRate = 0;
    // Both channels hold the same number of samples; a mono source is copied
    // into both.
    std::array<std::vector<float>, 2> channels;

    int64_t frames() const { return static_cast<int64_t>(channels[0].size()); }
    double seconds() const { return sampleRate > 0 ? static_cast<double>(frames()) / sampleRate : 0.0; }
};

// Accepted sample rates and channel counts of input files.
constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 192000;

// Opens `path` with libsndfile (WAV, FLAC, OGG, MP3 ...) and checks that it
// can be played: a readable regular file holding mono or stereo audio at a
// supported rate. Throws HostError ("PATH: reason") otherwise.
void CheckAudioFile(const std::string &path);

// Decodes the whole file. Throws HostError for everything CheckAudioFile
// rejects and for files whose data ends early or fails to decode.
AudioClip DecodeAudioFile(const std::string &path);

} // namespace qvhost
