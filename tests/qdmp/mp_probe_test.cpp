/* This program provides the Multiprocessing Services probe that the library
 * references weakly; QDMP_Init must find it and remember its answer. */
#include "qdmp/include/qdmp.h"
#include "qdmp/internal.h"

#include <gtest/gtest.h>

namespace {
Boolean g_ready = 0;
int g_calls = 0;
} // namespace

extern "C" Boolean _MPIsFullyInitialized(void)
{
    ++g_calls;
    return g_ready;
}

TEST(QdmpInit, FlagFollowsTheProbeOnEveryCall)
{
    EXPECT_EQ(gMP_Flag, 0) << "0 until QDMP_Init runs";
    g_ready = 1;
    EXPECT_EQ(QDMP_Init(), 0);
    EXPECT_EQ(gMP_Flag, 1);
    g_ready = 0;
    EXPECT_EQ(QDMP_Init(), 0);
    EXPECT_EQ(gMP_Flag, 0) << "a second call repeats the test";
    g_ready = 7;
    QDMP_Init();
    EXPECT_EQ(gMP_Flag, 1) << "any non-zero answer counts";
    EXPECT_EQ(g_calls, 3);
}
