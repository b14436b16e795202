/* Turns the input into a sequence of drawing-library calls on guarded maps
 * of every depth: each 4 bytes make one choice (which call, which maps,
 * coordinates, colours, values). Every call is checked against the per-pixel
 * reference and the guards; any difference aborts. */
#include "tests/qdmp/support/call_driver.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

/* Calls per input: enough for interplay, few enough to keep executions fast. */
constexpr int kMaxCalls = 48;

class InputSource {
public:
    InputSource(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    UInt32 next()
    {
        UInt32 x = 0;
        const size_t n = size_ - pos_ < 4 ? size_ - pos_ : 4;
        std::memcpy(&x, data_ + pos_, n);
        pos_ += n;
        return x;
    }
    bool exhausted() const { return pos_ >= size_; }

private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    InputSource input(data, size);
    std::minstd_rand pixelRng(1);
    qdmp_test::CallDriver driver([&input] { return input.next(); },
                                 [&pixelRng] { return static_cast<UInt32>(pixelRng()); });
    for (int calls = 0; calls < kMaxCalls && !input.exhausted(); ++calls) {
        const std::string what = driver.step();
        const std::string wrong = driver.verifyLast();
        if (!wrong.empty()) {
            std::fprintf(stderr, "call %d (%s): %s\n", calls, what.c_str(), wrong.c_str());
            std::abort();
        }
    }
    return 0;
}
