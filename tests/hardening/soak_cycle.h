// Show/hide cycles on one host, with the accounting that shows whether
// anything is left behind: the process's heap, the GL contexts, pixel
// formats, framebuffers and texture names, the instance states, and GL calls
// made without the right context.
//
// One cycle: "show" on the whole port, two "vrnd" (a silent spectrum) and one
// "null", "swin" to an inset rectangle, "hide"; every `reinitEvery` cycles the
// instance ends ("clr ") and a fresh one is made ("init"). The clock is fixed,
// so the first frame of every showing must be the same picture.
//
// Nothing here allocates per cycle (frames are counted, not recorded, and the
// host's record of calls is emptied), so the heap figures are the bundle's,
// the platform's and the GL stack's.
//
// Used by the soak test (a few hundred cycles) and the soak benchmark
// (10,000). The program must link gl_guard.cpp and export its symbols.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hardening/heap_meter.h"
#include "plugin/HostRecords.h"
#include "support/test_host.h"

namespace soak {

// What is alive at one moment.
struct Resources {
    long contexts = 0;
    long pixelFormats = 0;
    long framebuffers = 0;
    long textures = 0;
    long texturesDroppedWithContext = 0;
    long instanceStates = 0; // NewPtrClear blocks not yet disposed
    long glViolations = 0;
};
Resources CountResources();
std::string Describe(const Resources &r);

constexpr int kFramesPerCycle = 5; // show, two "vrnd", "null", "swin"

class SoakRun {
public:
    // Loads the bundle, registers it and makes the first instance on a port
    // of width x height (at least 8 x 8).
    SoakRun(SInt16 width, SInt16 height, int reinitEvery = 10);
    ~SoakRun();
    SoakRun(const SoakRun &) = delete;
    SoakRun &operator=(const SoakRun &) = delete;

    bool ok() const { return ok_; }

    // One cycle; false (with failure() saying why) when a message answered
    // other than 0, the cycle drew the wrong number of frames, the first
    // frame differed from the first cycle's (its image and a difference
    // image are then written to the tests' output folder), or after "hide"
    // a GL object, an extra state block or a guarded GL call was left.
    bool cycle();
    int cyclesDone() const { return done_; }
    const std::string &failure() const { return failure_; }

private:
    bool fail(const std::string &why);
    OSStatus send(OSType code, void *record);
    static void OnFrame(CGrafPtr, const Rect *, SInt32, void *self);
    static time_t FixedTime(void *);

    qvtest::TestHost host_;
    CGrafPtr port_ = nullptr;
    Rect whole_{}, inset_{};
    int reinitEvery_;
    bool ok_ = false;
    int done_ = 0;
    long frames_ = 0;
    RenderData silence_{};
    std::vector<uint32_t> firstFrame_, frame_;
    std::string failure_;
};

} // namespace soak
