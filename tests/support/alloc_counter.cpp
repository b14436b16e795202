#include "support/alloc_counter.h"

#include <stdlib.h>

#include <new>

namespace {

bool g_tracking = false;
size_t g_allocations = 0;
size_t g_releases = 0;
long g_nothrow_calls = 0;
long g_fail_from = -1;
const void *g_released[alloc_counter::ReleasedCapacity];

void *Allocate(size_t size)
{
    void *p = malloc(size ? size : 1);
    if (p && g_tracking)
        ++g_allocations;
    return p;
}

void Release(void *p)
{
    if (!p)
        return;
    if (g_tracking) {
        if (g_releases < alloc_counter::ReleasedCapacity)
            g_released[g_releases] = p;
        ++g_releases;
    }
    free(p);
}

void *AllocateNothrow(size_t size)
{
    if (g_tracking) {
        const long call = g_nothrow_calls++;
        if (g_fail_from >= 0 && call >= g_fail_from)
            return nullptr;
    }
    return Allocate(size);
}

} // namespace

namespace alloc_counter {

void Start()
{
    g_allocations = 0;
    g_releases = 0;
    g_nothrow_calls = 0;
    g_fail_from = -1;
    g_tracking = true;
}

void Stop()
{
    g_tracking = false;
}

size_t Allocations()
{
    return g_allocations;
}

size_t Releases()
{
    return g_releases;
}

void FailNothrowFrom(long n)
{
    g_fail_from = n;
}

const void *const *Released()
{
    return g_released;
}

} // namespace alloc_counter

void *operator new(size_t size)
{
    if (void *p = Allocate(size))
        return p;
    throw std::bad_alloc();
}

void *operator new[](size_t size)
{
    if (void *p = Allocate(size))
        return p;
    throw std::bad_alloc();
}

void *operator new(size_t size, const std::nothrow_t &) noexcept
{
    return AllocateNothrow(size);
}

void *operator new[](size_t size, const std::nothrow_t &) noexcept
{
    return AllocateNothrow(size);
}

void operator delete(void *p) noexcept
{
    Release(p);
}

void operator delete[](void *p) noexcept
{
    Release(p);
}

void operator delete(void *p, size_t) noexcept
{
    Release(p);
}

void operator delete[](void *p, size_t) noexcept
{
    Release(p);
}

void operator delete(void *p, const std::nothrow_t &) noexcept
{
    Release(p);
}

void operator delete[](void *p, const std::nothrow_t &) noexcept
{
    Release(p);
}
