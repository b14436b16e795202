#include "platform/mac_memory.h"

#include <cstdlib>

namespace {
int g_failNext = 0;
long g_live = 0;
} // namespace

extern "C" Ptr NewPtrClear(SInt32 size)
{
    if (size < 0)
        return nullptr;
    if (g_failNext > 0) {
        --g_failNext;
        return nullptr;
    }
    // calloc(0) may return null or a unique pointer; ask for one byte so a
    // zero-size request is a valid, disposable block like any other.
    Ptr p = static_cast<Ptr>(std::calloc(1, size > 0 ? static_cast<size_t>(size) : 1));
    if (p)
        ++g_live;
    return p;
}

extern "C" void DisposePtr(Ptr p)
{
    if (!p)
        return;
    --g_live;
    std::free(p);
}

extern "C" void QVPlatform_FailNextAllocations(int count)
{
    g_failNext = count > 0 ? count : 0;
}

extern "C" long QVPlatform_LivePtrCount(void)
{
    return g_live;
}
