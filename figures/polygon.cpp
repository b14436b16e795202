/* The figure record: construction, the vertex chain, rest distances, ties,
 * the spring step and the transforms. Drawing and editing live in
 * polygon_draw.cpp and polygon_edit.cpp. */
#include "figures/polygon.h"

#include <math.h>

const int dist_idx[4] = {-2, -1, 1, 2};

namespace {

/* The constants of the step and the ties, each applied in double precision
 * with the result stored as float: the share of its velocity a vertex keeps
 * per step; the divisor of a spring's pull (direction times length error,
 * over 8); the lift added to y of every simulated vertex per step; and the
 * divisor that makes a tied vertex the mean of its two target vertices. */
constexpr double kDamping = 0.98;
constexpr double kSpringDivisor = 8.0;
constexpr double kLift = 0.1;
constexpr double kTieDivisor = 2.0;

} // namespace

polygon::polygon() : next(nullptr), r(1.0f), g(0.0f), b(0.0f), a(1.0f), nvtx(0) {}

polygon::~polygon()
{
    delete next;
}

int polygon::add(float x, float y, bool dynamic)
{
    if (nvtx >= max_vtx)
        return -1;
    vertex &v = vtx[nvtx];
    v.dynamic = dynamic ? 1 : 0;
    v.followPoly = nullptr;
    v.x = x;
    v.y = y;
    v.vx = 0.0f;
    v.vy = 0.0f;
    return nvtx++;
}

void polygon::rmlast()
{
    if (nvtx > 0)
        --nvtx;
}

void polygon::calcDists()
{
    if (next)
        next->calcDists();
    for (int i = 0; i < nvtx; ++i) {
        vertex &v = vtx[i];
        if (!v.dynamic)
            continue;
        for (int o : dist_idx) {
            const int j = i + o;
            if (j < 0 || j >= nvtx)
                continue;
            const float dx = vtx[j].x - v.x;
            const float dy = vtx[j].y - v.y;
            v.dist[o + 2] = sqrtf(dx * dx + dy * dy);
        }
    }
}

void polygon::setFollow(int i, polygon *target, int k)
{
    if (i < 0 || i >= nvtx)
        return;
    vtx[i].followPoly = target;
    vtx[i].followIdx = k;
}

void polygon::follow()
{
    if (next)
        next->follow();
    for (int i = 0; i < nvtx; ++i) {
        vertex &v = vtx[i];
        const polygon *t = v.followPoly;
        if (!t)
            continue;
        const int k = v.followIdx;
        if (k < 0 || k >= t->nvtx - 1)
            continue;
        v.x = static_cast<float>((t->vtx[k].x + t->vtx[k + 1].x) / kTieDivisor);
        v.y = static_cast<float>((t->vtx[k].y + t->vtx[k + 1].y) / kTieDivisor);
    }
}

void polygon::updateVtx()
{
    if (next)
        next->updateVtx();
    for (int i = 0; i < nvtx; ++i) {
        vtx[i].vx = static_cast<float>(vtx[i].vx * kDamping);
        vtx[i].vy = static_cast<float>(vtx[i].vy * kDamping);
    }
    /* Springs change velocities only, so each reads the positions from before
     * the step, whatever the order of the vertices. */
    for (int i = 0; i < nvtx; ++i) {
        vertex &v = vtx[i];
        if (!v.dynamic)
            continue;
        for (int o : dist_idx) {
            const int j = i + o;
            if (j < 0 || j >= nvtx)
                continue;
            const float dx = vtx[j].x - v.x;
            const float dy = vtx[j].y - v.y;
            const float d = sqrtf(dx * dx + dy * dy);
            if (d == 0.0f) /* a neighbour on the same point gives no direction: no pull */
                continue;
            const float e = d - v.dist[o + 2];
            v.vx = static_cast<float>(v.vx + (dx / d) * e / kSpringDivisor);
            v.vy = static_cast<float>(v.vy + (dy / d) * e / kSpringDivisor);
        }
    }
    for (int i = 0; i < nvtx; ++i) {
        vertex &v = vtx[i];
        if (!v.dynamic)
            continue;
        v.x = v.x + v.vx;
        v.y = v.y + v.vy;
        v.y = static_cast<float>(v.y + kLift);
    }
}

void polygon::move(float dx, float dy)
{
    if (next)
        next->move(dx, dy);
    for (int i = 0; i < nvtx; ++i) {
        vertex &v = vtx[i];
        if (v.dynamic) {
            v.x = static_cast<float>(v.x + dx / 2.0);
            v.y = static_cast<float>(v.y + dy / 2.0);
        } else {
            v.x += dx;
            v.y += dy;
        }
    }
}

void polygon::move(int i, float x, float y)
{
    if (i < 0 || i >= nvtx)
        return;
    vtx[i].x = x;
    vtx[i].y = y;
}

void polygon::rotate(float angle)
{
    const double a = angle;
    rotatepriv(static_cast<float>(cos(a)), static_cast<float>(sin(a)));
}

void polygon::rotatepriv(float c, float s)
{
    if (next)
        next->rotatepriv(c, s);
    for (int i = 0; i < nvtx; ++i) {
        vertex &v = vtx[i];
        if (v.dynamic)
            continue;
        const float x = v.x;
        const float y = v.y;
        v.x = x * c + y * s;
        v.y = y * c - x * s;
    }
}
