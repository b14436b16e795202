// The values every host starts from when nothing else is asked for, in one
// place: the program's options, the GStreamer element and the players'
// adapters take them from here.
#pragma once

namespace qvhost {

// A video: 1280x720 at 60 frames per second. Its shape, 16:9, is the
// visual's own: the one a frame of another shape can contain it in.
constexpr int kDefaultWidth = 1280;
constexpr int kDefaultHeight = 720;
constexpr int kDefaultFps = 60;
// The most frames per second any host draws: each frame is drawn in full
// (a thousand a second is already beyond what the GL keeps up with), and
// its moment falls on a sample of its own at every rate audio comes at.
constexpr int kMaxFps = 1000;
// Smooth edges in videos: samples per pixel (0: the plain picture), and the
// most a user may ask for (GLs offer 4 to 16; the port takes what it offers).
constexpr int kDefaultSamples = 0;
constexpr int kMaxSamples = 16;
// A window, when it opens.
constexpr int kWindowWidth = 960;
constexpr int kWindowHeight = 540;
// The sample rate of audio the program makes or captures, and of an AAC
// track whose input rate AAC does not take.
constexpr int kStandardRate = 48000;
// The shortest side of a frame, in pixels: a smaller picture shows nothing
// of the scene.
constexpr int kMinSide = 16;
// One pixel of a frame: a native 32-bit ARGB word.
constexpr int kBytesPerPixel = 4;

} // namespace qvhost
