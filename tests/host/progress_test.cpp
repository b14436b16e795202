// The progress line: bar, percentage, counts, elapsed time and the estimate.
#include <gtest/gtest.h>

#include "host/Progress.h"

using qvhost::Progress;

namespace {

TEST(Progress, LineShowsTheStateAndTheTimeLeft)
{
    struct Case {
        long long done, total;
        double elapsed;
        const char *line;
    } cases[] = {
        {0, 100, 0.0, "render [..........]   0% 0/100  00:00 elapsed  ETA --:--"},
        {25, 100, 5.0, "render [##........]  25% 25/100  00:05 elapsed  ETA 00:15"},
        {50, 100, 30.0, "render [#####.....]  50% 50/100  00:30 elapsed  ETA 00:30"},
        {100, 100, 61.0, "render [##########] 100% 100/100  01:01 elapsed  ETA 00:00"},
        {1, 1000, 3.725, "render [..........]   0% 1/1000  00:04 elapsed  ETA 1:02:01"},
        {7, 0, 1.0, "render [##########] 100% 7/0  00:01 elapsed  ETA 00:00"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Progress::Line("render", c.done, c.total, c.elapsed, 10), c.line);
}

} // namespace
