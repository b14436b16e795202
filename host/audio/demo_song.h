// The built-in demo: about 20 s of drums, bass and chords synthesized from
// code, the same samples on every run.
#pragma once

#include "host/audio/audio_source.h"
#include "host/common/defaults.h"

namespace qvhost {

constexpr int kDemoSampleRate = kStandardRate;
constexpr int kDemoBars = 10;
constexpr double kDemoTempoBpm = 120.0; // 4/4, so 2 s per bar

// Renders the demo; `seconds` (when positive) shortens it for tests.
AudioClip SynthesizeDemoSong(double seconds = 0.0);

} // namespace qvhost
