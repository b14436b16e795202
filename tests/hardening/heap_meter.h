// Bytes the allocator has handed out and not had back: glibc's in-use arena
// bytes plus its mmap'd blocks, or under AddressSanitizer the sanitizer's
// count of allocated bytes (glibc's figures do not see its allocator).
#pragma once

#include <cstddef>

namespace soak {

size_t HeapInUse();

} // namespace soak
