#include "support/alloc_counter.h"

#include <dlfcn.h>
#include <malloc.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#ifdef QV_ASAN
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#define QV_RAW_MALLOC malloc
#else
// glibc's own entry points, behind the C allocator defined at the end.
extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);
extern "C" void *__libc_memalign(size_t, size_t);
#define QV_RAW_MALLOC __libc_malloc
#endif
#define QV_CALLER __builtin_return_address(0)

namespace {

bool g_tracking = false;
size_t g_allocations = 0, g_releases = 0, g_watched = 0;
long g_nothrow_calls = 0, g_fail_from = -1;
const char *g_library = nullptr;
const void *g_released[qvtest::alloc_counter::ReleasedCapacity];

// An allocation made by code at `caller`: counted apart when that code
// belongs to the watched library (by the name of its file, not its folder).
void Note(const void *caller)
{
    Dl_info info;
    if (!g_tracking || !g_library || !dladdr(caller, &info) || !info.dli_fname)
        return;
    const char *name = strrchr(info.dli_fname, '/');
    g_watched += strstr(name ? name + 1 : info.dli_fname, g_library) != nullptr;
}

void *Allocate(size_t size, const void *caller)
{
    void *p = QV_RAW_MALLOC(size ? size : 1);
    if (p && g_tracking)
        ++g_allocations, Note(caller);
    return p;
}

void *AllocateNothrow(size_t size, const void *caller)
{
    const bool fail = g_tracking && g_fail_from >= 0 && g_nothrow_calls >= g_fail_from;
    g_nothrow_calls += g_tracking;
    return fail ? nullptr : Allocate(size, caller);
}

void Release(void *p)
{
    if (p && g_tracking && g_releases < qvtest::alloc_counter::ReleasedCapacity)
        g_released[g_releases] = p;
    g_releases += p && g_tracking;
    free(p);
}

} // namespace

namespace qvtest::alloc_counter {

void Start()
{
    g_allocations = g_releases = g_watched = g_nothrow_calls = 0;
    g_fail_from = -1;
    g_tracking = true;
}

void Stop() { g_tracking = false; }
size_t Allocations() { return g_allocations; }
size_t Releases() { return g_releases; }
void FailNothrowFrom(long n) { g_fail_from = n; }
const void *const *Released() { return g_released; }
void Watch(const char *library) { g_library = library; }
size_t WatchedAllocations() { return g_watched; }

size_t HeapInUse()
{
#ifdef QV_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
#endif
}

} // namespace qvtest::alloc_counter

void *operator new(size_t size)
{
    void *p = Allocate(size, QV_CALLER);
    return p ? p : throw std::bad_alloc();
}

void *operator new[](size_t size)
{
    void *p = Allocate(size, QV_CALLER);
    return p ? p : throw std::bad_alloc();
}

void *operator new(size_t size, const std::nothrow_t &) noexcept { return AllocateNothrow(size, QV_CALLER); }
void *operator new[](size_t size, const std::nothrow_t &) noexcept { return AllocateNothrow(size, QV_CALLER); }
void operator delete(void *p) noexcept { Release(p); }
void operator delete[](void *p) noexcept { Release(p); }
void operator delete(void *p, size_t) noexcept { Release(p); }
void operator delete[](void *p, size_t) noexcept { Release(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { Release(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { Release(p); }

#ifndef QV_ASAN
extern "C" void *malloc(size_t n) { Note(QV_CALLER); return __libc_malloc(n); }
extern "C" void *calloc(size_t count, size_t n) { Note(QV_CALLER); return __libc_calloc(count, n); }
extern "C" void *realloc(void *p, size_t n) { Note(QV_CALLER); return __libc_realloc(p, n); }
extern "C" void *aligned_alloc(size_t alignment, size_t n) { Note(QV_CALLER); return __libc_memalign(alignment, n); }
#endif
