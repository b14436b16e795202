/* Thousands of random calls on maps of every depth with random bounds (often
 * near the 16-bit limits), strides, row order and alignment, each map inside
 * guard bands, each call checked against the per-pixel reference. */
#include "support/call_driver.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TEST(QdmpRandomized, ThousandsOfCallsMatchTheReferenceInsideTheGuards)
{
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        std::mt19937 rng(seed);
        const qdmp_test::Source next = [&rng] { return static_cast<UInt32>(rng()); };
        qdmp_test::CallDriver driver(next, next);
        for (int n = 0; n < 1500; ++n) {
            const std::string what = driver.step();
            const std::string wrong = driver.verifyLast();
            ASSERT_TRUE(wrong.empty()) << "seed " << seed << " call " << n << " (" << what << "): " << wrong;
        }
        EXPECT_EQ(driver.verifyAll(), "") << "seed " << seed;
    }
}

} // namespace
