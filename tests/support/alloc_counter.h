/* Replacement of the global allocation operators (and, outside
 * AddressSanitizer, of the C allocator) for the test programs that link it.
 * Counts inside a tracking window; single-threaded use. */
#ifndef QV_TESTS_SUPPORT_ALLOC_COUNTER_H
#define QV_TESTS_SUPPORT_ALLOC_COUNTER_H

#include <stddef.h>

namespace qvtest::alloc_counter {

void Start(); /* opens a window: counts and the record of releases start from zero */
void Stop();  /* closes it; nothing is counted or failed outside one */
size_t Allocations(); /* successful operator new calls in the window */
size_t Releases();    /* operator delete of non-null pointers in the window */
/* Nothrow allocations number `n` onwards (from 0) in the window return null;
 * negative: none (the default, restored by Start). */
void FailNothrowFrom(long n);
/* Pointers released in the window, in order (the first ReleasedCapacity). */
constexpr size_t ReleasedCapacity = 512;
const void *const *Released();

/* Allocations of any kind in the window (operator new, malloc, calloc,
 * realloc, aligned_alloc) made directly by code of a loaded object whose file
 * name contains `library` (null: none). Under AddressSanitizer, which owns
 * the C allocator, only operator new is seen. */
void Watch(const char *library);
size_t WatchedAllocations();
#ifdef QV_ASAN /* defined by the build with the sanitizers */
constexpr bool kSeesCAllocator = false;
#else
constexpr bool kSeesCAllocator = true;
#endif

size_t HeapInUse(); /* bytes handed out and not back (glibc's count, or the sanitizer's) */

} // namespace qvtest::alloc_counter

#endif
