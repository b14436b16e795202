/* A driver of random library calls for the randomized test and the fuzzer:
 * every call is made on a set of guarded maps through the library and on a
 * twin set through the per-pixel reference, so the two sets must stay equal.
 * Its choices come from a source of 32-bit numbers (a seeded generator, or
 * the fuzzer's input). */
#ifndef QV_TESTS_QDMP_CALL_DRIVER_H
#define QV_TESTS_QDMP_CALL_DRIVER_H

#include "guarded_map.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qdmp_test {

using Source = std::function<UInt32()>;

class CallDriver {
public:
    /* Makes seven maps (8, 16 and 32 bits, random bounds, strides, row order,
     * alignment and colour tables) and their twins. Every choice comes from
     * `choices`, the maps' first pixels from `pixels`. */
    CallDriver(Source choices, Source pixels);

    /* Makes one random call on the library's maps and the same call through
     * the reference on the twins. Returns a description of it. */
    std::string step();

    /* Empty when the map the last call may have written equals its twin and
     * keeps its guards, and what it read matched; else what went wrong. */
    std::string verifyLast();
    /* The same for every map. */
    std::string verifyAll();

    /* Index of the map the last call may have written, or -1. */
    int written() const { return written_; }
    GuardedMap &lib(int i) { return *lib_[static_cast<size_t>(i)]; }
    GuardedMap &ref(int i) { return *ref_[static_cast<size_t>(i)]; }
    int maps() const { return static_cast<int>(lib_.size()); }

private:
    int pick() { return static_cast<int>(rng_() % lib_.size()); }

    Rect randomBounds()
    {
        const int w = 1 + static_cast<int>(rng_() % 40), h = 1 + static_cast<int>(rng_() % 20);
        const auto origin = [&](int size) {
            switch (rng_() % 4) {
            case 0:
                return 32767 - size - static_cast<int>(rng_() % 3);
            case 1:
                return -32768 + static_cast<int>(rng_() % 3);
            case 2:
                return static_cast<int>(rng_() % 60) - 30;
            default:
                return -32768 + static_cast<int>(rng_() % (65536u - static_cast<unsigned>(size)));
            }
        };
        const int left = origin(w), top = origin(h);
        return Rect{static_cast<SInt16>(top), static_cast<SInt16>(left), static_cast<SInt16>(top + h),
                    static_cast<SInt16>(left + w)};
    }

    /* A coordinate on one axis of a map spanning [lo, hi): mostly near it,
     * sometimes at the 16-bit limits or anywhere. */
    SInt16 coord(int lo, int hi)
    {
        switch (rng_() % 10) {
        case 0:
            return static_cast<SInt16>(-32768 + static_cast<int>(rng_() % 3));
        case 1:
            return static_cast<SInt16>(32767 - static_cast<int>(rng_() % 3));
        case 2:
            return static_cast<SInt16>(rng_());
        case 3:
            return static_cast<SInt16>(rng_() % 2 ? lo : hi);
        default: {
            const long v = lo - 6 + static_cast<long>(rng_() % static_cast<unsigned>(hi - lo + 12));
            return static_cast<SInt16>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
        }
        }
    }
    SInt16 h(int i) { return coord(lib(i).bounds().left, lib(i).bounds().right); }
    SInt16 v(int i) { return coord(lib(i).bounds().top, lib(i).bounds().bottom); }
    Rect rect(int i)
    {
        Rect r;
        r.top = v(i);
        r.bottom = rng_() % 3 ? static_cast<SInt16>(r.top + static_cast<int>(rng_() % 30)) : v(i);
        r.left = h(i);
        r.right = rng_() % 3 ? static_cast<SInt16>(r.left + static_cast<int>(rng_() % 50)) : h(i);
        return r;
    }
    UInt32 value() { return rng_(); }
    UInt16 radius()
    {
        if (rng_() % 50 == 0)
            return static_cast<UInt16>(rng_());
        return static_cast<UInt16>(rng_() % 60);
    }
    RGBColor colour()
    {
        return RGBColor{static_cast<UInt16>(rng_()), static_cast<UInt16>(rng_()), static_cast<UInt16>(rng_())};
    }

    /* The depth a call names: usually the map's own, sometimes another. */
    int depthFor(int i) { return rng_() % 6 ? lib(i).depth() : (8 << (rng_() % 3)); }

    Source rng_;
    std::vector<std::unique_ptr<GuardedMap>> lib_, ref_;
    int written_ = -1;
    std::string readMismatch_;
};

} // namespace qdmp_test

#endif
