/* What the processor offers beyond the baseline the library is compiled for.
 * Vector forms for x86-64 exist only when the compiler targets it with SSE2. */
#ifndef QV_QDMP_CPU_FEATURES_H
#define QV_QDMP_CPU_FEATURES_H

#if defined(__x86_64__) && defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
#define QDMP_X86_VECTORS 1
#else
#define QDMP_X86_VECTORS 0
#endif

namespace qdmp {

/* True when the processor and the operating system support AVX2 (or the
 * AVX-512 foundation) instructions. Always false without QDMP_X86_VECTORS. */
bool cpu_has_avx2();
bool cpu_has_avx512f();

} // namespace qdmp

#endif
