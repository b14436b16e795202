/* The input as drawing-library calls on guarded maps of every depth, each 4
 * bytes one choice, at most 48 calls an input; every call checked against the
 * per-pixel reference and the guards, and any difference aborts. */
#include "tests/qdmp/support/call_driver.h"

#include <cstdio>
#include <cstdlib>
#include <random>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    size_t pos = 0;
    const auto next = [&] {
        UInt32 x = 0;
        for (int k = 0; k < 4 && pos < size; ++k)
            x |= UInt32(data[pos++]) << 8 * k;
        return x;
    };
    std::minstd_rand pixels(1);
    const std::string wrong = qvtest::check_random_calls(next, [&] { return UInt32(pixels()); },
                                                            [&](int calls) { return calls < 48 && pos < size; });
    if (!wrong.empty()) {
        std::fprintf(stderr, "%s\n", wrong.c_str());
        std::abort();
    }
    return 0;
}
