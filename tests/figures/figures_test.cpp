/* The figures: the polygon record (chain, spring step, ties, transforms, hit test, source dump) and the built-in
 * scene (figures, kinds, ties, rest shape and so the rest lengths, failed allocation, destruction). The overlay
 * of the editor draws nothing the bundle shows; it is linked against the GL recorder only. */
#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/alloc_counter.h"
#include "figures/polygon.h"
#include "figures/scene.h"

namespace {

struct V { float x, y; bool dynamic; };
using Floats = std::vector<float>;

polygon *Figure(std::initializer_list<V> vs, polygon *next = nullptr)
{
    polygon *p = new polygon;
    p->next = next;
    for (const V &v : vs)
        p->add(v.x, v.y, v.dynamic);
    return p;
}

Floats Xy(const polygon &p)
{
    Floats xy;
    for (int i = 0; i < p.nvtx; ++i)
        xy.insert(xy.end(), {p.vtx[i].x, p.vtx[i].y});
    return xy;
}

/* The step as defined: damping by 0.98; each simulated vertex pulled towards each spring neighbour by an eighth
 * of the length error (one on the same point gives no direction: skipped); then motion and lift 0.1. Constants
 * apply in double precision, results are stored as float. Springs change their own vertex's velocity only. */
void ReferenceStep(polygon::vertex *v, int n)
{
    for (int i = 0; i < n; ++i) {
        v[i].vx = float(double(v[i].vx) * 0.98);
        v[i].vy = float(double(v[i].vy) * 0.98);
        for (int j = std::max(i - 2, 0); v[i].dynamic && j <= std::min(i + 2, n - 1); ++j) {
            const float dx = v[j].x - v[i].x, dy = v[j].y - v[i].y;
            const float d = float(sqrt(double(dx * dx + dy * dy)));
            if (d == 0.0f) // itself, or a neighbour on the same point
                continue;
            const float e = d - v[i].dist[j - i + 2];
            v[i].vx = float(double(v[i].vx) + double(dx / d * e) / 8.0);
            v[i].vy = float(double(v[i].vy) + double(dy / d * e) / 8.0);
        }
    }
    for (int i = 0; i < n; ++i)
        if (v[i].dynamic) {
            v[i].x = v[i].x + v[i].vx;
            v[i].y = float(double(v[i].y + v[i].vy) + 0.1);
        }
}

} // namespace

TEST(PolygonChain, AddRmlastAndTheVertexLimit)
{
    polygon target, p;
    EXPECT_TRUE(p.nvtx == 0 && !p.next && Floats(&p.r, &p.r + 4) == Floats({1, 0, 0, 1}));
    p.rmlast(); // on an empty figure
    p.add(1, 1, true);
    p.rmlast();
    EXPECT_EQ(p.nvtx, 0);
    for (int i = 0; i < polygon::max_vtx; ++i)
        ASSERT_EQ(p.add(float(i), float(-i), i % 2 == 1), i);
    EXPECT_EQ(p.add(99, 99, true), -1);
    EXPECT_TRUE(p.nvtx == 50 && p.vtx[49].x == 49.0f);
    // Leave traces in the last slot, drop it and add again: nothing survives.
    p.setFollow(49, &target, 0);
    p.vtx[49].vx = p.vtx[49].vy = 5.0f;
    p.rmlast();
    EXPECT_EQ(p.add(7.5f, -2.25f, false), 49);
    const polygon::vertex &v = p.vtx[49];
    EXPECT_TRUE(v.x == 7.5f && v.y == -2.25f && v.dynamic == 0 && v.vx == 0 && v.vy == 0 && !v.followPoly);
    EXPECT_TRUE(p.vtx[47].dynamic == 1 && p.vtx[48].dynamic == 0);
}

TEST(PolygonChain, NoOperationTouchesADroppedVertex)
{
    for (bool dynamic : {true, false}) {
        // Vertex 2, tied, moving and stretched, is dropped: its slot must stay as it is.
        polygon *p = Figure({{0, 0, true}, {1, 0, true}, {5, 5, dynamic}});
        p->setFollow(2, p, 0);
        p->vtx[2].vx = 1.0f;
        std::fill(p->vtx[2].dist, p->vtx[2].dist + 5, 0.0f);
        p->rmlast();
        const polygon::vertex was = p->vtx[2], &v = p->vtx[2];
        p->calcDists();
        p->updateVtx();
        p->follow();
        p->move(1.0f, 1.0f);
        p->rotate(1.0f);
        p->setFollow(2, nullptr, 0);
        p->move(2, 9.0f, 9.0f);
        EXPECT_TRUE(v.x == was.x && v.y == was.y && v.vx == was.vx && v.followPoly == p && v.dist[1] == 0) << dynamic;
        delete p;
    }
}

TEST(PolygonStep, StepsAgreeBitForBitWithTheDefinition)
{
    const std::initializer_list<V> stalk = {{-7.725857f, 0.924195f, false}, {-7.310488f, 0.820353f, false},
                                            {-7.829699f, 2.461060f, true},  {-7.414330f, 2.647974f, true},
                                            {-7.892004f, 3.914850f, true},  {-7.476636f, 4.288682f, true}};
    struct Set { int i; float x, y, vx, vy; };
    // Each chain takes its rest shape, then the given positions and velocities.
    struct Case { const char *name; std::initializer_list<V> chain; std::vector<Set> set; } const cases[] = {
        {"stalk swung, its pinned base shifted and pushed", stalk,
         {{5, -7.476636f, 4.288682f, 0.05f, 0}, {3, -7.28933f, 2.647974f, 0, 0}, {0, -7.725857f, 0.724195f, 0.3f, -1}}},
        {"stalk, a vertex moved onto its neighbour", stalk, {{3, -7.829699f, 2.461060f, 0, 0}}},
        // Heights where adding the lift in single precision would round otherwise.
        {"near height 0", {{0, 0.00445768610f, true}, {3, -0.123677753f, true}, {6, -0.0808674842f, true}},
         {{1, 3, -0.123677753f, 0.25f, 0}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        polygon *p = Figure(c.chain);
        p->calcDists();
        for (const Set &s : c.set) {
            p->move(s.i, s.x, s.y);
            p->vtx[s.i].vx = s.vx;
            p->vtx[s.i].vy = s.vy;
        }
        polygon::vertex ref[polygon::max_vtx];
        std::copy(p->vtx, p->vtx + p->nvtx, ref);
        for (int step = 0; step < 8; ++step) {
            p->updateVtx();
            ReferenceStep(ref, p->nvtx);
            for (int i = 0; i < p->nvtx; ++i) {
                const polygon::vertex &v = p->vtx[i], &r = ref[i];
                ASSERT_TRUE(v.x == r.x && v.y == r.y && v.vx == r.vx && v.vy == r.vy) << "step " << step << ", " << i;
            }
        }
        delete p;
    }
}

TEST(PolygonFollow, TiesToAPairWithinTheTargetAtEachFollow)
{
    polygon *target =
        Figure({{0, 0, false}, {0, 0, false}, {1, 1, true}, {1, 2, true}, {1.5f, 4, true}, {2.25f, 5, true}});
    polygon *p = Figure({{-1, -1, true}, {9, 9, false}}, target);
    p->vtx[0].vx = 0.75f;
    // A pair k, k + 1 not within the target's vertices leaves the vertex alone.
    const struct { int k; float x, y; } cases[] = {{4, 1.875f, 4.5f}, {0, 0, 0},         {1, 0.5f, 0.5f},  {5, -1, -1},
                                                   {-1, -1, -1},      {INT_MAX, -1, -1}, {INT_MIN, -1, -1}};
    for (const auto &c : cases) {
        p->move(0, -1, -1);
        p->setFollow(0, target, c.k);
        p->follow();
        EXPECT_EQ(Xy(*p), (Floats{c.x, c.y, 9, 9})) << "k " << c.k;
    }
    EXPECT_TRUE(p->vtx[0].vx == 0.75f && p->vtx[0].dynamic);
    p->setFollow(0, target, 4);
    target->rmlast(); // the pair is checked against the target as it is at the follow
    p->follow();
    p->setFollow(0, nullptr, 0); // unties
    target->add(8, 8, false);
    p->follow();
    EXPECT_EQ(Xy(*p), (Floats{-1, -1, 9, 9}));
    delete p;
}

TEST(PolygonTransform, MoveCarriesPinnedFullySimulatedByHalfTurnTurnsPinnedClockwise)
{
    const Floats start = {1, 0, 0, 1, -2, 3, 1, 0};
    polygon *p = Figure({{1, 0, false}, {0, 1, false}, {-2, 3, false}, {1, 0, true}}, Figure({{1, 0, false}}));
    p->move(2.0f, 4.0f);
    EXPECT_EQ(Xy(*p), (Floats{3, 4, 2, 5, 0, 7, 2, 2}));
    EXPECT_EQ(Xy(*p->next), (Floats{3, 4}));
    p->move(-2.0f, -4.0f);
    p->rotate(0.5f); // about the origin, clockwise for a positive angle; simulated vertices stay
    for (int i = 0; i < 3; ++i) {
        const double x = start[2 * i], y = start[2 * i + 1];
        EXPECT_NEAR(p->vtx[i].x, x * cos(0.5) + y * sin(0.5), 1e-6) << i;
        EXPECT_NEAR(p->vtx[i].y, y * cos(0.5) - x * sin(0.5), 1e-6) << i;
    }
    EXPECT_TRUE(p->vtx[3].x == 1 && p->vtx[3].y == 0 && p->next->vtx[0].y == p->vtx[0].y);
    delete p;
}

TEST(PolygonClicked, SquareToleranceAndLowestIndexFirst)
{
    EXPECT_EQ(polygon().clicked(0, 0), -1);
    polygon p;
    for (const V &v : {V{1.0f, 1.0f, false}, V{1.05f, 1.05f, true}, V{-2.0f, 3.0f, true}}) // the second within reach
        p.add(v.x, v.y, v.dynamic);
    const struct { float x, y; int want; } cases[] = {
        {1.0f, 1.0f, 0},    {1.09f, 1.09f, 0},  {0.91f, 0.91f, 0},  {1.14f, 1.14f, 1},  {1.16f, 1.0f, -1},
        {1.0f, 1.16f, -1},  {-2.09f, 2.91f, 2}, {-1.91f, 3.09f, 2}, {-2.11f, 3.0f, -1}, {-2.0f, 3.11f, -1},
        {-1.89f, 3.0f, -1}, {-2.0f, 2.89f, -1}, {0.0f, 0.0f, -1}};
    for (const auto &c : cases)
        EXPECT_EQ(p.clicked(c.x, c.y), c.want) << "(" << c.x << ", " << c.y << ")";
}

TEST(PolygonDump, OneBlockPerFigureTailFirst)
{
    polygon *head = Figure({{-8.5358257f, 0.820353f, false}, {1.0f, -0.5f, true}}, new polygon);
    head->g = 0.5f;
    head->next->r = 0.25f;
    char *buf = nullptr;
    size_t len = 0;
    FILE *f = open_memstream(&buf, &len);
    head->dump(f);
    fclose(f);
    const std::string text(buf, len);
    free(buf);
    delete head;
    const std::string open = "{ \n\tpolygon *p = new polygon;\n\tp->next = polys;\n\tactive = polys = p;\n";
    EXPECT_EQ(text, open + "\tp->r = 0.250000;\n\tp->g = 0.000000;\n\tp->b = 0.000000;\n\tp->a = 1.000000;\n}\n" +
                        open + "\tp->r = 1.000000;\n\tp->g = 0.500000;\n\tp->b = 0.000000;\n\tp->a = 1.000000;\n" +
                        "\tp->add(-8.535826,0.820353,false);\n\tp->add(1.000000,-0.500000,true);\n}\n");
}

// ---------------------------------------------------------------------------
// The built-in scene

TEST(Scene, FiguresKindsAndTiesTheRestShapeAndDestruction)
{
    polygon *head = nullptr;
    ASSERT_TRUE(BuildScene(&head));
    std::vector<polygon *> figs; // in construction order, tail first
    for (polygon *p = head; p; p = p->next)
        figs.insert(figs.begin(), p);
    ASSERT_EQ(figs.size(), 57u);
    // Three pinned bands, fourteen stalks, twelve pinned dark-green shapes, 28 heads.
    const int bands[3] = {18, 14, 11}, green[12] = {6, 4, 10, 10, 4, 12, 16, 16, 10, 4, 4, 8};
    int vertices = 0, simulated = 0, ties = 0, yellow_on[14] = {}, orange_on[14] = {};
    for (int n = 0; n < 57; ++n) {
        const polygon *p = figs[n];
        EXPECT_EQ(p->nvtx, n < 3 ? bands[n] : n >= 17 && n < 29 ? green[n - 17] : 6) << "figure " << n;
        const int first_simulated = n >= 29 ? 1 : n >= 3 && n < 17 ? 2 : p->nvtx;
        if (n >= 29) {
            // Vertex 0 tied to the top pair (4, 5) of a stalk, and authored near it.
            const polygon::vertex &v = p->vtx[0];
            const int s = int(std::find(figs.begin(), figs.end(), v.followPoly) - figs.begin()) - 3;
            ASSERT_TRUE(s >= 0 && s < 14 && v.followIdx == 4) << "figure " << n;
            const polygon::vertex &a = v.followPoly->vtx[4], &b = v.followPoly->vtx[5];
            const double off = hypot(v.x - (a.x + b.x) / 2.0, v.y - (a.y + b.y) / 2.0);
            EXPECT_TRUE(off > 0.001 && off < 0.12) << "figure " << n << ": " << off;
            // One yellow and one orange head per stalk, the orange one built after.
            const bool yellow = p->r == 1 && p->g == float(0.992731) && p->b == float(0.007269) && p->a == 1;
            EXPECT_TRUE(yellow || (p->r == 1 && p->g == float(0.522326) && p->b == float(0.007269) && p->a == 1));
            EXPECT_EQ(std::exchange((yellow ? yellow_on : orange_on)[s], n), 0) << "figure " << n;
            EXPECT_TRUE(yellow || yellow_on[s] != 0) << "figure " << n;
        }
        for (int i = 0; i < p->nvtx; ++i) {
            const polygon::vertex &v = p->vtx[i];
            EXPECT_EQ(v.dynamic != 0, i >= first_simulated) << "figure " << n << " vertex " << i;
            simulated += v.dynamic != 0;
            ties += v.followPoly != nullptr;
        }
        vertices += p->nvtx;
    }
    EXPECT_TRUE(vertices == 399 && simulated == 196 && ties == 28) << vertices << " " << simulated << " " << ties;
    std::vector<polygon::vertex> authored;
    for (const polygon *p : figs)
        authored.insert(authored.end(), p->vtx, p->vtx + p->nvtx);
    // The rest lengths are those of the authored shape: the first step is the lift alone.
    head->updateVtx();
    head->follow();
    const polygon::vertex *was = authored.data();
    for (int n = 0; n < 57; ++n)
        for (const polygon::vertex *v = figs[n]->vtx; v < figs[n]->vtx + figs[n]->nvtx; ++v, ++was) {
            const polygon::vertex *a = v->followPoly ? &v->followPoly->vtx[4] : nullptr;
            const float x = a ? (a[0].x + a[1].x) / 2 : was->x;
            const float y = a ? (a[0].y + a[1].y) / 2 : v->dynamic ? float(double(was->y) + 0.1) : was->y;
            EXPECT_TRUE(v->x == x && v->y == y && v->vx == 0 && v->vy == 0) << n << "/" << v - figs[n]->vtx;
        }
    // Frames allocate nothing; destroying the head releases every figure once.
    qvtest::alloc_counter::Start();
    for (int frame = 0; frame < 100; ++frame) {
        head->move(0.03f, -0.001f);
        head->rotate(0.002f);
        head->updateVtx();
        head->follow();
    }
    EXPECT_EQ(qvtest::alloc_counter::Allocations(), 0u);
    delete head;
    qvtest::alloc_counter::Stop();
    std::vector<const void *> gone(qvtest::alloc_counter::Released(), qvtest::alloc_counter::Released() + qvtest::alloc_counter::Releases());
    std::sort(gone.begin(), gone.end());
    EXPECT_TRUE(gone.size() == 57 && std::adjacent_find(gone.begin(), gone.end()) == gone.end());
}

TEST(Scene, AFailedAllocationReleasesWhatWasBuiltAndLeavesTheListAsItWas)
{
    polygon base;
    for (long fail_at = 0; fail_at < 57; ++fail_at) {
        polygon *list = &base;
        qvtest::alloc_counter::Start();
        qvtest::alloc_counter::FailNothrowFrom(fail_at);
        EXPECT_FALSE(BuildScene(&list)) << fail_at;
        qvtest::alloc_counter::Stop();
        EXPECT_TRUE(list == &base && !base.next && qvtest::alloc_counter::Allocations() == size_t(fail_at) &&
                    qvtest::alloc_counter::Releases() == size_t(fail_at)) << fail_at;
    }
}
