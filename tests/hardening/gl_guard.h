// A watch over every GL call the bundle and the platform library make.
//
// The program that links gl_guard.cpp defines the GL and GLU entry points the
// bundle imports (and the few the platform's AGL uses). A program built with
// ENABLE_EXPORTS exports them, so the dynamic linker binds the bundle's and
// the platform's calls to these definitions rather than to libGL's; each one
// checks that a context is current, then forwards to the real function found
// with dlsym(RTLD_NEXT, ...).
//
// It also keeps the texture names each EGL context holds (glGenTextures less
// glDeleteTextures) and counts names still held when their context is
// destroyed (eglDestroyContext is watched too).
//
// Single-threaded: the bundle's GL work runs on the host's thread.
#pragma once

#include <string>

#include "plugin/PluginState.h"

namespace glguard {

// What a GL call must find current.
enum class Expect {
    AnyContext, // some EGL context (between messages, in tests of the platform)
    NoGL,       // no GL call at all: a message without an instance, "init", the module's messages
    Instance,   // the AGL context of the instance getting the message
};

// Sets what the following GL calls must find. With Expect::Instance,
// `state` is the instance's state, read at each call (its context may be
// made during the message).
void SetExpectation(Expect expect, const VisualPluginState *state = nullptr);

// Abort the process at the first violation (the fuzz target), or count them
// (the tests, which then report the first one).
void SetAbortOnViolation(bool abort);

struct Stats {
    long calls = 0;                      // GL calls seen
    long violations = 0;                 // calls that broke the expectation
    long liveTextures = 0;               // names generated and not deleted, in live contexts
    long texturesDroppedWithContext = 0; // names still held when their context went
};
Stats GetStats();
// The first violation since the last reset: the GL function and why.
std::string FirstViolation();
// Clears the call and violation counts, the first violation and the count
// of names dropped with their context (the names alive stay counted).
void ResetCounts();

// Sets the expectation for one scope and restores the previous one.
class Scope {
public:
    Scope(Expect expect, const VisualPluginState *state = nullptr);
    ~Scope();
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;

private:
    Expect expect_;
    const VisualPluginState *state_;
};

} // namespace glguard
