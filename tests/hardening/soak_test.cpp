// Show/hide cycles on one host leave nothing behind: no GL context, pixel
// format, framebuffer or texture name outlives its "hide", no GL call is made
// without the instance's context, every showing starts from the same first
// frame, and the heap does not grow from cycle to cycle. The full 10,000
// cycles run in bench/soak; here a few hundred (fewer under the sanitizers,
// where LeakSanitizer checks the process at exit as well).
#include <gtest/gtest.h>

#include "hardening/gl_guard.h"
#include "hardening/soak_cycle.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kCycles = 60;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kCycles = 60;
#else
constexpr int kCycles = 300;
#endif
#else
constexpr int kCycles = 300;
#endif
constexpr int kReinitEvery = 10;
// Heap measured once the GL stack's own caches have filled (the first
// cycles compile llvmpipe's shaders), at the same point of the "clr "/"init"
// rhythm as the end.
constexpr int kWarmCycles = 20;
// What may come and go between the two measurements without being a leak:
// the GL stack's caches and free lists settle in steps of a few pages. A
// leak of one instance state per "init" or one framebuffer's read-back per
// showing exceeds it within the run.
constexpr size_t kHeapSlack = 64 * 1024;

TEST(Soak, ShowHideCyclesLeaveNothingBehind)
{
    soak::SoakRun run(64, 36, kReinitEvery);
    ASSERT_TRUE(run.ok());
    size_t warm = 0;
    for (int i = 0; i < kCycles; ++i) {
        ASSERT_TRUE(run.cycle()) << run.failure();
        if (i + 1 == kWarmCycles)
            warm = soak::HeapInUse();
    }
    const size_t end = soak::HeapInUse();
    EXPECT_LE(end, warm + kHeapSlack) << "heap after " << kWarmCycles << " cycles: " << warm << " bytes, after "
                                      << kCycles << ": " << end;
    EXPECT_GT(glguard::GetStats().calls, 0) << "the GL guard saw no call: is the program built with ENABLE_EXPORTS?";
    const soak::Resources r = soak::CountResources();
    EXPECT_EQ(r.contexts, 0);
    EXPECT_EQ(r.framebuffers, 0);
    EXPECT_EQ(r.textures, 0);
}

} // namespace
