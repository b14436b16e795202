#include "platform/export.h"
#include "platform/multiprocessing.h"
#include "qdmp/include/qdmp.h"
#include "qdmp/internal.h"

UInt8 gMP_Flag = 0;

QV_EXTERN_C QV_EXPORT SInt32 QDMP_Init(void)
{
    // A weak reference: null unless the process defines the probe.
    Boolean (*probe)(void) = &_MPIsFullyInitialized;
    gMP_Flag = (probe != nullptr && probe() != 0) ? 1 : 0;
    return 0;
}
