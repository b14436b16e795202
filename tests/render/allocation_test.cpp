// Allocation behaviour of the bundle, seen from an allocator this test
// program puts in front of the C and C++ ones: the bundle allocates nothing
// per frame, and a scene that cannot be allocated on "show" is reported and
// leaves nothing behind.
#include <dlfcn.h>
#include <link.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <cstdlib>
#include <cstring>
#include <new>

#include "figures/polygon.h"
#include "platform/AGL.h"
#include "render/render_session.h"

#if defined(__SANITIZE_ADDRESS__)
#define QV_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_ASAN 1
#endif
#endif

namespace probe {

// Text ranges of the bundle and of the platform library; an allocation
// whose immediate caller lies inside one of them is the system's own.
struct Range {
    uintptr_t begin, end;
};
Range g_ranges[8];
int g_rangeCount = 0;

bool g_counting = false;
long g_ours = 0;  // by the bundle or the platform library
long g_total = 0; // by anyone (GL included)

// Failure of figure-sized allocations: -1 never, else how many succeed first.
int g_polygonsBeforeFailure = -1;
void *g_livePolygons[128];

bool Ours(const void *caller)
{
    const auto a = reinterpret_cast<uintptr_t>(caller);
    for (int i = 0; i < g_rangeCount; ++i)
        if (a >= g_ranges[i].begin && a < g_ranges[i].end)
            return true;
    return false;
}

void Note(const void *caller)
{
    if (!g_counting)
        return;
    ++g_total;
    if (Ours(caller))
        ++g_ours;
}

int AddRanges(dl_phdr_info *info, size_t, void *)
{
    if (info->dlpi_name == nullptr || (std::strstr(info->dlpi_name, "quorvanta.so") == nullptr &&
                                       std::strstr(info->dlpi_name, "libquorvanta-platform.so") == nullptr))
        return 0;
    for (int i = 0; i < info->dlpi_phnum && g_rangeCount < 8; ++i) {
        const ElfW(Phdr) &ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_LOAD && (ph.p_flags & PF_X))
            g_ranges[g_rangeCount++] = Range{info->dlpi_addr + ph.p_vaddr, info->dlpi_addr + ph.p_vaddr + ph.p_memsz};
    }
    return 0;
}

void FindRanges()
{
    g_rangeCount = 0;
    dl_iterate_phdr(&AddRanges, nullptr);
}

long LivePolygons()
{
    long n = 0;
    for (void *p : g_livePolygons)
        n += p != nullptr;
    return n;
}

// A figure-sized block: fails when told to, and is tracked while alive.
void *NewBlock(size_t n, const void *caller)
{
    Note(caller);
    const bool figure = n == sizeof(polygon);
    if (figure && g_polygonsBeforeFailure == 0)
        return nullptr;
    void *p = std::malloc(n == 0 ? 1 : n);
    if (figure && p) {
        if (g_polygonsBeforeFailure > 0)
            --g_polygonsBeforeFailure;
        for (void *&slot : g_livePolygons)
            if (slot == nullptr) {
                slot = p;
                break;
            }
    }
    return p;
}

void FreeBlock(void *p)
{
    if (p == nullptr)
        return;
    for (void *&slot : g_livePolygons)
        if (slot == p)
            slot = nullptr;
    std::free(p);
}

} // namespace probe

void *operator new(size_t n)
{
    void *p = probe::NewBlock(n, __builtin_return_address(0));
    if (!p)
        throw std::bad_alloc();
    return p;
}
void *operator new[](size_t n)
{
    void *p = probe::NewBlock(n, __builtin_return_address(0));
    if (!p)
        throw std::bad_alloc();
    return p;
}
void *operator new(size_t n, const std::nothrow_t &) noexcept
{
    return probe::NewBlock(n, __builtin_return_address(0));
}
void *operator new[](size_t n, const std::nothrow_t &) noexcept
{
    return probe::NewBlock(n, __builtin_return_address(0));
}
void operator delete(void *p) noexcept { probe::FreeBlock(p); }
void operator delete[](void *p) noexcept { probe::FreeBlock(p); }
void operator delete(void *p, size_t) noexcept { probe::FreeBlock(p); }
void operator delete[](void *p, size_t) noexcept { probe::FreeBlock(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { probe::FreeBlock(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { probe::FreeBlock(p); }

#ifndef QV_ASAN
// The C allocator, counted: glibc's own entry points do the work. (Not under
// AddressSanitizer, which owns these names itself.)
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);

void *malloc(size_t n)
{
    probe::Note(__builtin_return_address(0));
    return __libc_malloc(n);
}
void *calloc(size_t count, size_t n)
{
    probe::Note(__builtin_return_address(0));
    return __libc_calloc(count, n);
}
void *realloc(void *p, size_t n)
{
    probe::Note(__builtin_return_address(0));
    return __libc_realloc(p, n);
}
void *aligned_alloc(size_t alignment, size_t n)
{
    probe::Note(__builtin_return_address(0));
    return __libc_memalign(alignment, n);
}
void *memalign(size_t alignment, size_t n)
{
    probe::Note(__builtin_return_address(0));
    return __libc_memalign(alignment, n);
}
int posix_memalign(void **out, size_t alignment, size_t n)
{
    probe::Note(__builtin_return_address(0));
    void *p = __libc_memalign(alignment, n);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
}
#endif

namespace {

using rendertest::FixedClock;
using rendertest::RenderSession;
using rendertest::Spectrum;

TEST(Allocation, FramesAllocateNothingInTheBundleOrPlatform)
{
#ifdef QV_ASAN
    GTEST_SKIP() << "the C allocator belongs to AddressSanitizer in this build";
#else
    FixedClock clock(0);
    RenderSession session(640, 360);
    ASSERT_TRUE(session.ok());
    ASSERT_EQ(session.show(), noErr);
    session.idle(); // let GL settle its first-frame work
    probe::FindRanges();
    ASSERT_GE(probe::g_rangeCount, 2) << "bundle and platform text not found";

    constexpr int kFrames = 120;
    probe::g_ours = probe::g_total = 0;
    probe::g_counting = true;
    for (int i = 0; i < kFrames; ++i) {
        if (i % 3 == 0)
            session.idle();
        else
            session.render(Spectrum::Level(static_cast<UInt8>(i * 2)));
    }
    probe::g_counting = false;
    EXPECT_EQ(probe::g_ours, 0) << "allocations by the bundle or platform during " << kFrames << " frames";
    RecordProperty("allocations_per_frame_all_callers", std::to_string(probe::g_total / kFrames));
    std::printf("all callers (GL driver and test included): %ld allocations in %d frames\n", probe::g_total,
                kFrames);

    // The probe sees the system's own allocations where there are some:
    // "swin" to a new size gives the framebuffer new storage.
    probe::g_ours = 0;
    probe::g_counting = true;
    session.swin(Rect{0, 0, 200, 300});
    probe::g_counting = false;
    EXPECT_GT(probe::g_ours, 0);
#endif
}

TEST(Allocation, SceneThatCannotBeAllocatedIsReportedAndReleased)
{
    const int failAt[] = {0, 1, 17, 56};
    for (int k : failAt) {
        RenderSession session(64, 48);
        ASSERT_TRUE(session.ok());
        const long contextsBefore = QVAGL_LiveContextCount();
        probe::g_polygonsBeforeFailure = k;
        EXPECT_EQ(session.show(), memFullErr) << "figure " << k;
        probe::g_polygonsBeforeFailure = -1;
        EXPECT_EQ(probe::LivePolygons(), 0) << "figure " << k;
        EXPECT_EQ(session.state()->polys, nullptr);
        EXPECT_EQ(session.state()->ready, 0);
        EXPECT_EQ(session.state()->aglContext, nullptr);
        EXPECT_EQ(QVAGL_LiveContextCount(), contextsBefore);
        EXPECT_TRUE(session.frames().empty());
        EXPECT_EQ(session.idle(), noErr);
        EXPECT_TRUE(session.frames().empty());

        EXPECT_EQ(session.show(), noErr) << "figure " << k;
        EXPECT_EQ(probe::LivePolygons(), 57);
        EXPECT_EQ(session.hide(), noErr);
        EXPECT_EQ(probe::LivePolygons(), 0);
    }
}

} // namespace
