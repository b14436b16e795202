// The sizes of frames the program draws, a window's or a video's.
#pragma once

#include <string>

namespace qvhost {

// The longest side, in pixels (the shortest is kMinSide).
constexpr int kMaxSide = 8192;

// Throws a usage HostError naming --size when a side is outside
// kMinSide..kMaxSide.
void CheckFrameSize(int width, int height);
// "WIDTHxHEIGHT".
std::string SizeText(int width, int height);

} // namespace qvhost
