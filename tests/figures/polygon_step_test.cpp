/* The vector form of the spring step against the one-spring-at-a-time
 * reference: same floats, bit for bit, on many random chains. */
#include <math.h>
#include <string.h>

#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "figures/polygon_step.h"

#if defined(__SSE2__)

namespace {

bool SameFloat(float a, float b)
{
    return memcmp(&a, &b, sizeof a) == 0 || (isnan(a) && isnan(b));
}

/* A chain with random kinds, positions (some coincident with a neighbour,
 * some signed zeros) and velocities, whose rest shape is its own shape
 * shaken a little. Rest lengths that calcDists does not write are NaN, so
 * that reading one would show. */
std::vector<polygon::vertex> RandomChain(std::mt19937 &rng, int n, float scale)
{
    std::uniform_real_distribution<float> pos(-scale, scale);
    std::uniform_real_distribution<float> vel(-0.2f, 0.2f);
    std::uniform_int_distribution<int> pick(0, 9);
    polygon p;
    for (int i = 0; i < n; ++i) {
        float x = pos(rng), y = pos(rng);
        const int what = pick(rng);
        if (what == 0 && i > 0) {
            x = p.vtx[i - 1].x;
            y = p.vtx[i - 1].y;
        } else if (what == 1) {
            x = -0.0f;
            y = 0.0f;
        }
        p.add(x, y, pick(rng) < 6);
        for (float &d : p.vtx[i].dist)
            d = NAN;
    }
    p.calcDists();
    std::uniform_real_distribution<float> shake(-0.3f, 0.3f);
    for (int i = 0; i < n; ++i) {
        p.vtx[i].vx = vel(rng);
        p.vtx[i].vy = pick(rng) == 2 ? -0.0f : vel(rng);
        if (pick(rng) < 5) {
            p.vtx[i].x += shake(rng) * scale * 0.1f;
            p.vtx[i].y += shake(rng) * scale * 0.1f;
        }
    }
    return std::vector<polygon::vertex>(p.vtx, p.vtx + n);
}

void ExpectSameChains(const std::vector<polygon::vertex> &a, const std::vector<polygon::vertex> &b)
{
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_TRUE(SameFloat(a[i].x, b[i].x)) << "x of " << i << ": " << a[i].x << " vs " << b[i].x;
        EXPECT_TRUE(SameFloat(a[i].y, b[i].y)) << "y of " << i << ": " << a[i].y << " vs " << b[i].y;
        EXPECT_TRUE(SameFloat(a[i].vx, b[i].vx)) << "vx of " << i << ": " << a[i].vx << " vs " << b[i].vx;
        EXPECT_TRUE(SameFloat(a[i].vy, b[i].vy)) << "vy of " << i << ": " << a[i].vy << " vs " << b[i].vy;
    }
}

} // namespace

TEST(PolygonStepVector, AgreesWithTheReferenceOnRandomChains)
{
    std::mt19937 rng(20240611);
    const float scales[] = {1.0f, 10.0f, 1e-3f, 1e6f};
    for (int round = 0; round < 400; ++round) {
        const int n = round % (polygon::max_vtx + 1);
        const float scale = scales[round % 4];
        std::vector<polygon::vertex> ref = RandomChain(rng, n, scale);
        std::vector<polygon::vertex> vec = ref;
        for (int step = 0; step < 6; ++step) {
            StepFigureReference(ref.data(), n);
            StepFigureVector(vec.data(), n);
            SCOPED_TRACE("round " + std::to_string(round) + " step " + std::to_string(step));
            ExpectSameChains(ref, vec);
            if (HasFailure())
                return;
        }
    }
}

TEST(PolygonStepVector, AgreesOnSpringsTooShortOrTooSmallToMeasure)
{
    // Pulls whose eighth is not a normal float; lengths whose squares
    // underflow to 0 (skipped) and overflow to infinity.
    struct Case {
        float x0, y0, x1, y1, rest, vx;
    } const cases[] = {
        {0x1p-124f, 1.0f, 0.0f, 0.0f, 1.0f - 0x1p-23f, 0x1p-149f},
        {0x1p-70f, 0.0f, 0.0f, 0.0f, 0x1p-71f, 0.0f},
        {3e30f, -2e30f, 0.0f, 0.0f, 1.0f, 0.5f},
        {1.0f, 1.0f, 1.0f, 1.0f, 0.0f, -0.0f},
    };
    for (const Case &c : cases) {
        polygon::vertex chain[3] = {};
        chain[0].x = c.x0;
        chain[0].y = c.y0;
        chain[1].dynamic = 1;
        chain[1].x = c.x1;
        chain[1].y = c.y1;
        chain[1].vx = c.vx;
        chain[1].dist[1] = c.rest;
        chain[1].dist[3] = 2.0f;
        chain[2].x = 5.0f;
        chain[2].y = -1.0f;
        std::vector<polygon::vertex> ref(chain, chain + 3), vec(chain, chain + 3);
        StepFigureReference(ref.data(), 3);
        StepFigureVector(vec.data(), 3);
        SCOPED_TRACE(c.x0);
        ExpectSameChains(ref, vec);
    }
}

#endif
