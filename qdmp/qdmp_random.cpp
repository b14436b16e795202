#include "platform/export.h"
#include "qdmp/include/qdmp.h"

namespace {

/* The generator's state, 0 .. 2^31 - 1; the fixed start gives every load of
 * the library the same sequence. */
SInt32 state = 314159;

} // namespace

/* Linear congruential step modulo 2^31 (multiplier 1103515245, increment
 * 12345, in 32-bit unsigned arithmetic); the result is bits 21..6. */
QV_EXTERN_C QV_EXPORT SInt16 QDMP_RandomSInt16(void)
{
    const UInt32 next = (static_cast<UInt32>(state) * 1103515245u + 12345u) & 0x7FFFFFFFu;
    state = static_cast<SInt32>(next);
    return static_cast<SInt16>(static_cast<UInt16>(next >> 6));
}

QV_EXTERN_C QV_EXPORT SInt16 QDMP_Random_RangeSInt16(SInt16 lo, SInt16 hi)
{
    const SInt32 r = QDMP_RandomSInt16();
    const SInt32 u = static_cast<UInt16>(r + 32767);
    const SInt32 span = SInt32{hi} - SInt32{lo};
    // An empty range has no value to draw from; it gives its one end.
    if (span == 0)
        return lo;
    // u >= 0, so the truncating remainder lies in 0 .. |span| - 1.
    return static_cast<SInt16>(lo + u % span);
}

QV_EXTERN_C QV_EXPORT SInt32 QDMP_Random_RangeSInt32(SInt32 lo, SInt32 hi)
{
    const SInt32 r1 = QDMP_RandomSInt16();
    const SInt32 r2 = QDMP_RandomSInt16();
    const SInt32 r3 = QDMP_RandomSInt16();
    const UInt32 x = (static_cast<UInt32>(r1) << 16) ^ (static_cast<UInt32>(r2) << 8) ^ static_cast<UInt32>(r3);
    const UInt32 span = static_cast<UInt32>(hi) - static_cast<UInt32>(lo) + 1u;
    // A span of 2^32 (the full range) wraps to 0: every x is then in range.
    const UInt32 m = span == 0 ? x : x % span;
    const auto result = static_cast<SInt32>(static_cast<UInt32>(lo) + m);
    if (result < lo)
        return lo;
    if (result > hi)
        return hi;
    return result;
}
