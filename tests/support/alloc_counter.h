/* Replacement of the global allocation operators (and, outside
 * AddressSanitizer, of the C allocator) for the test programs that link it:
 * counts allocations and releases inside a tracking window, can make the
 * nothrow allocation fail from a given call on, records released pointers,
 * and counts apart the allocations made directly by one library's code.
 * Single-threaded use. */
#ifndef QV_TESTS_SUPPORT_ALLOC_COUNTER_H
#define QV_TESTS_SUPPORT_ALLOC_COUNTER_H

#include <stddef.h>

namespace alloc_counter {

/* Opens a window: counters and the record of releases start from zero. */
void Start();
/* Closes the window; nothing is counted or failed outside one. */
void Stop();

size_t Allocations(); /* successful operator new calls in the window */
size_t Releases();    /* operator delete of non-null pointers in the window */

/* Within the window, nothrow allocations number `n` onwards (counting from 0)
 * return null. Negative: never fail (the default, restored by Start). */
void FailNothrowFrom(long n);

/* Pointers released in the window, in order (the first ReleasedCapacity). */
constexpr size_t ReleasedCapacity = 512;
const void *const *Released();

/* Allocations of any kind (operator new, malloc, calloc, realloc,
 * aligned_alloc) in the window whose immediate caller is code of a loaded
 * object whose file name contains `library` (null: none). The C allocator's
 * are not seen under AddressSanitizer, which owns it. */
void Watch(const char *library);
size_t WatchedAllocations();
#ifdef QV_ASAN /* defined by the build with the sanitizers */
constexpr bool kSeesCAllocator = false;
#else
constexpr bool kSeesCAllocator = true;
#endif

/* Bytes the allocator has handed out and not had back (glibc's arena and
 * mmap'd blocks, or AddressSanitizer's count). */
size_t HeapInUse();

} // namespace alloc_counter

#endif
