// Whether SDL's audio reaches a sound server (PulseAudio, or PipeWire, also
// through its PulseAudio service) rather than a sound card directly: only a
// server can capture what the computer plays. SDL's audio must be started.
#pragma once

namespace qvhost {

bool SoundServerReached();

} // namespace qvhost
