// What the host library says on its own, one line at a time: warnings about
// something that went on regardless (a file whose decoding stopped early,
// plug-in data that could not be kept) and notes (what the plug-in asked for
// that the host cannot do). They go to standard error, a warning as
// "quorvanta: warning: ...", a note as "quorvanta: ...", unless the host has
// a log of its own (the GStreamer element's debug category, a player's log)
// and routes them there.
#pragma once

#include <string>

namespace qvhost {

// Receives each line (no prefix, no newline). Called on whichever thread
// speaks; must not throw.
using MessageSink = void (*)(bool warning, const std::string &text);

// Routes the library's lines to `sink` (null: standard error again). Set it
// once, before anything can speak.
void SetMessageSink(MessageSink sink);
void Warn(const std::string &text);
void Note(const std::string &text);

} // namespace qvhost
