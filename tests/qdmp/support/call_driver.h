/* The randomized differential check of the drawing library, shared by its
 * test and its fuzzer: random calls on seven guarded maps of every depth, each
 * made through the library and through a per-pixel statement of the call on
 * twin maps, the two sets compared byte for byte after every call. */
#ifndef QV_TESTS_QDMP_CALL_DRIVER_H
#define QV_TESTS_QDMP_CALL_DRIVER_H

#include "platform/mac_types.h"

#include <functional>
#include <string>

namespace qvtest {

/* Every choice (layouts, calls, arguments) comes from `choices`, the maps'
 * first pixels from `pixels`; calls are made while more(calls so far) holds.
 * Returns "" or the first call that went wrong and how. */
std::string check_random_calls(const std::function<UInt32()> &choices, const std::function<UInt32()> &pixels,
                               const std::function<bool(int)> &more);

} // namespace qvtest

#endif
