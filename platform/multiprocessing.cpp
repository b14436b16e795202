#include "platform/multiprocessing.h"

#include <cstring>

extern "C" void MPBlockCopy(const void *src, void *dst, long count)
{
    if (count > 0)
        std::memmove(dst, src, static_cast<size_t>(count));
}
