/* This program provides the Multiprocessing Services probe that the library
 * references weakly; QDMP_Init must ask it on every call and keep its answer. */
#include "qdmp/include/qdmp.h"
#include "qdmp/internal.h"

#include <gtest/gtest.h>

static Boolean g_ready = 0;

extern "C" Boolean _MPIsFullyInitialized(void)
{
    return g_ready;
}

TEST(QdmpInit, FlagFollowsTheProbeOnEveryCall)
{
    EXPECT_EQ(gMP_Flag, 0) << "0 until QDMP_Init runs";
    for (Boolean ready : {1, 0, 7}) { // any non-zero answer counts
        g_ready = ready;
        EXPECT_EQ(QDMP_Init(), 0);
        EXPECT_EQ(gMP_Flag, ready != 0) << int(ready);
    }
}
