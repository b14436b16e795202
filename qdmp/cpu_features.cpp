#include "qdmp/cpu_features.h"

namespace qdmp {

bool cpu_has_avx2()
{
#if QDMP_X86_VECTORS
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

bool cpu_has_avx512f()
{
#if QDMP_X86_VECTORS
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f");
#else
    return false;
#endif
}

} // namespace qdmp
