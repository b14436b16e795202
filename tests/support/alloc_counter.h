/* Replacement of the global allocation operators for the figure tests: counts
 * allocations and releases inside a tracking window, can make the nothrow
 * allocation fail from a given call on, and records released pointers.
 * Linked only into the test programs that need it. Single-threaded use. */
#ifndef QV_TESTS_SUPPORT_ALLOC_COUNTER_H
#define QV_TESTS_SUPPORT_ALLOC_COUNTER_H

#include <stddef.h>

namespace alloc_counter {

/* Opens a window: counters and the record of releases start from zero. */
void Start();
/* Closes the window; nothing is counted or failed outside one. */
void Stop();

size_t Allocations(); /* successful allocations in the window */
size_t Releases();    /* releases of non-null pointers in the window */

/* Within the window, nothrow allocations number `n` onwards (counting from 0)
 * return null. Negative: never fail (the default, restored by Start). */
void FailNothrowFrom(long n);

/* Pointers released in the window, in order (the first ReleasedCapacity). */
constexpr size_t ReleasedCapacity = 512;
const void *const *Released();

} // namespace alloc_counter

#endif
