/* The calendar clock the visual reads (whole seconds, like time()). Its
 * default is the C library's; a host may replace it, for example so that an
 * offline render follows the video's clock. Not thread-safe: set it before
 * drawing starts. */
#ifndef QV_PLATFORM_QVCLOCK_H
#define QV_PLATFORM_QVCLOCK_H

#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef time_t (*QVClockProc)(void *userData);

/* Current calendar time in seconds, from the installed source. */
time_t QVClock_Now(void);
/* Installs a source; null restores the C library's time(). */
void QVClock_SetSource(QVClockProc proc, void *userData);

#ifdef __cplusplus
}
#endif

#endif
