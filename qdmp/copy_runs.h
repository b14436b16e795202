/* Runs of pixels as the copies describe them. */
#ifndef QV_QDMP_COPY_RUNS_H
#define QV_QDMP_COPY_RUNS_H

#include <algorithm>
#include <cstdlib>

namespace qdmp {

/* A run between columns h1 and h2: |h2 - h1| pixels from the smaller end. */
struct Run {
    int start, length;
};

inline Run run_of(int h1, int h2)
{
    return Run{std::min(h1, h2), std::abs(h2 - h1)};
}

} // namespace qdmp

#endif
