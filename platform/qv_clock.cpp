#include "platform/qv_clock.h"

namespace {
QVClockProc g_source = nullptr;
void *g_userData = nullptr;
} // namespace

extern "C" time_t QVClock_Now(void)
{
    return g_source ? g_source(g_userData) : time(nullptr);
}

extern "C" void QVClock_SetSource(QVClockProc proc, void *userData)
{
    g_source = proc;
    g_userData = proc ? userData : nullptr;
}
