/* One simulation step of one figure's vertex chain (the own work of
 * polygon::updateVtx), internal to the figures. Two implementations with
 * the same results, bit for bit: the reference follows the definition one
 * vertex and one spring at a time; the vector form computes the four
 * springs of a vertex at once with SSE2 and is what updateVtx runs where
 * SSE2 is available.
 *
 * The step, for a chain of `nvtx` vertices (0 to max_vtx):
 * 1. every vertex: vx, vy multiplied by 0.98;
 * 2. every simulated vertex i, for each offset o of dist_idx in order with
 *    j = i + o inside the chain: d = |p_j - p_i|, e = d - dist[o + 2],
 *    v_i += (p_j - p_i) / d * e / 8; skipped when d is 0 (no direction);
 * 3. every simulated vertex: x += vx, y += vy, then y += 0.1.
 * Positions change only in 3, so 2 reads the positions before the step.
 * Arithmetic in single precision, except that each step constant is applied
 * in double precision and the result stored as float. Only the rest lengths
 * of existing neighbours of simulated vertices are read. */
#ifndef QV_FIGURES_POLYGON_STEP_H
#define QV_FIGURES_POLYGON_STEP_H

#include "figures/polygon.h"

void StepFigureReference(polygon::vertex *vtx, int nvtx);
#if defined(__SSE2__)
void StepFigureVector(polygon::vertex *vtx, int nvtx);
#endif

inline void StepFigure(polygon::vertex *vtx, int nvtx)
{
#if defined(__SSE2__)
    StepFigureVector(vtx, nvtx);
#else
    StepFigureReference(vtx, nvtx);
#endif
}

#endif
