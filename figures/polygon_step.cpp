#include "figures/polygon_step.h"

#include <math.h>
#include <stddef.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr double kDamping = 0.98;
constexpr double kSpringDivisor = 8.0;
constexpr double kLift = 0.1;

/* Passes 2 and 3 of the step, one spring at a time. */
void SpringsAndMotion(polygon::vertex *vtx, int nvtx)
{
    for (int i = 0; i < nvtx; ++i) {
        polygon::vertex &v = vtx[i];
        if (!v.dynamic)
            continue;
        for (int o : dist_idx) {
            const int j = i + o;
            if (j < 0 || j >= nvtx)
                continue;
            const float dx = vtx[j].x - v.x;
            const float dy = vtx[j].y - v.y;
            const float d = sqrtf(dx * dx + dy * dy);
            if (d == 0.0f)
                continue;
            const float e = d - v.dist[o + 2];
            v.vx = static_cast<float>(v.vx + (dx / d) * e / kSpringDivisor);
            v.vy = static_cast<float>(v.vy + (dy / d) * e / kSpringDivisor);
        }
    }
    for (int i = 0; i < nvtx; ++i) {
        polygon::vertex &v = vtx[i];
        if (!v.dynamic)
            continue;
        v.x = v.x + v.vx;
        v.y = v.y + v.vy;
        v.y = static_cast<float>(v.y + kLift);
    }
}

} // namespace

void StepFigureReference(polygon::vertex *vtx, int nvtx)
{
    for (int i = 0; i < nvtx; ++i) {
        vtx[i].vx = static_cast<float>(vtx[i].vx * kDamping);
        vtx[i].vy = static_cast<float>(vtx[i].vy * kDamping);
    }
    SpringsAndMotion(vtx, nvtx);
}

#if defined(__SSE2__)

namespace {

static_assert(offsetof(polygon::vertex, y) == offsetof(polygon::vertex, x) + sizeof(float), "x, y adjacent");
static_assert(offsetof(polygon::vertex, vy) == offsetof(polygon::vertex, vx) + sizeof(float), "vx, vy adjacent");

/* The two adjacent floats at p ((x, y) or (vx, vy) of a vertex) in the low
 * half of a vector, and back. */
inline __m128 LoadPair(const float *p)
{
    double two; /* the vertex fields are only 4-byte aligned */
    memcpy(&two, p, sizeof two);
    return _mm_castpd_ps(_mm_set_sd(two));
}

inline void StorePair(float *p, __m128 v)
{
    const double two = _mm_cvtsd_f64(_mm_castps_pd(v));
    memcpy(p, &two, sizeof two);
}

/* (a + b * scale) rounded to float, lane by lane on the low two lanes, with
 * the sum and product in double precision. */
inline __m128 AddScaledInDouble(__m128 a, __m128 b, __m128d scale)
{
    return _mm_cvtpd_ps(_mm_add_pd(_mm_cvtps_pd(a), _mm_mul_pd(_mm_cvtps_pd(b), scale)));
}

} // namespace

/* One pass in chain order, x and y side by side in one vector. The four
 * springs of a vertex are computed as one vector (lane by lane the same
 * single-precision operations, correctly rounded, as one at a time). A
 * spring whose neighbour lies outside the chain gets the vertex itself as
 * neighbour: its length 0 makes it skipped, as a neighbour at the same
 * position is. The springs of vertex i read the positions of i - 2 and
 * i - 1 before they moved, kept in `before`. */
void StepFigureVector(polygon::vertex *vtx, int nvtx)
{
    const __m128d damping = _mm_set1_pd(kDamping);
    const __m128d eighth = _mm_set1_pd(1.0 / kSpringDivisor);
    const __m128d lift = _mm_set_pd(kLift, -0.0); /* (x, y) + (-0, 0.1): x stays as it is */
    const __m128 zero = _mm_setzero_ps();
    __m128 before[2] = {zero, zero};
    for (int i = 0; i < nvtx; ++i) {
        polygon::vertex &v = vtx[i];
        const __m128 p = LoadPair(&v.x);
        __m128 vel = _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtps_pd(LoadPair(&v.vx)), damping));
        if (v.dynamic) {
            const __m128 p0 = i >= 2 ? before[i & 1] : p;
            const __m128 p1 = i >= 1 ? before[(i - 1) & 1] : p;
            const __m128 p3 = i + 1 < nvtx ? LoadPair(&vtx[i + 1].x) : p;
            const __m128 p4 = i + 2 < nvtx ? LoadPair(&vtx[i + 2].x) : p;
            const __m128 a = _mm_unpacklo_ps(p0, p1); /* x0 x1 y0 y1 */
            const __m128 b = _mm_unpacklo_ps(p3, p4); /* x3 x4 y3 y4 */
            const __m128 dx = _mm_sub_ps(_mm_movelh_ps(a, b), _mm_shuffle_ps(p, p, _MM_SHUFFLE(0, 0, 0, 0)));
            const __m128 dy = _mm_sub_ps(_mm_movehl_ps(b, a), _mm_shuffle_ps(p, p, _MM_SHUFFLE(1, 1, 1, 1)));
            const __m128 rest = _mm_setr_ps(i >= 2 ? v.dist[0] : 0.0f, i >= 1 ? v.dist[1] : 0.0f,
                                            i + 1 < nvtx ? v.dist[3] : 0.0f, i + 2 < nvtx ? v.dist[4] : 0.0f);
            const __m128 d = _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)));
            const __m128 e = _mm_sub_ps(d, rest);
            const __m128 px = _mm_mul_ps(_mm_div_ps(dx, d), e);
            const __m128 py = _mm_mul_ps(_mm_div_ps(dy, d), e);
            const int take = _mm_movemask_ps(_mm_cmpneq_ps(d, zero));
            const __m128 lo = _mm_unpacklo_ps(px, py); /* springs -2, -1 */
            const __m128 hi = _mm_unpackhi_ps(px, py); /* springs +1, +2 */
            if (take & 1)
                vel = AddScaledInDouble(vel, lo, eighth);
            if (take & 2)
                vel = AddScaledInDouble(vel, _mm_movehl_ps(lo, lo), eighth);
            if (take & 4)
                vel = AddScaledInDouble(vel, hi, eighth);
            if (take & 8)
                vel = AddScaledInDouble(vel, _mm_movehl_ps(hi, hi), eighth);
            StorePair(&v.x, _mm_cvtpd_ps(_mm_add_pd(_mm_cvtps_pd(_mm_add_ps(p, vel)), lift)));
        }
        StorePair(&v.vx, vel);
        before[i & 1] = p;
    }
}

#endif
