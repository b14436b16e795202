/* The figure record: chain, rest distances, spring step, ties, transforms,
 * hit test, source dump, drawing calls and destruction of a list. */
#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/alloc_counter.h"
#include "support/gl_recorder.h"
#include "figures/polygon.h"

namespace {

struct V {
    float x, y;
    bool dynamic;
};

polygon *Figure(std::initializer_list<V> vs)
{
    polygon *p = new polygon;
    for (const V &v : vs)
        p->add(v.x, v.y, v.dynamic);
    return p;
}

/* Links the figures so that the first given is the head and the last the tail. */
polygon *Link(std::initializer_list<polygon *> figures)
{
    polygon *head = nullptr;
    polygon *prev = nullptr;
    for (polygon *p : figures) {
        if (prev)
            prev->next = p;
        else
            head = p;
        prev = p;
    }
    return head;
}

bool SameBits(float a, float b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

std::string DumpText(polygon *p)
{
    FILE *f = tmpfile();
    if (!f)
        return "<no tmpfile>";
    p->dump(f);
    std::string text;
    rewind(f);
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    fclose(f);
    return text;
}

const float kUnset = -12345.0f;

void PoisonDists(polygon *p)
{
    for (int i = 0; i < p->nvtx; ++i)
        for (float &d : p->vtx[i].dist)
            d = kUnset;
}

} // namespace

// ---------------------------------------------------------------------------
// Record and chain

TEST(PolygonRecord, NewFigureIsEmptyOpaqueRedWithoutSuccessor)
{
    polygon p;
    EXPECT_EQ(p.nvtx, 0);
    EXPECT_EQ(p.r, 1.0f);
    EXPECT_EQ(p.g, 0.0f);
    EXPECT_EQ(p.b, 0.0f);
    EXPECT_EQ(p.a, 1.0f);
    EXPECT_EQ(p.next, nullptr);
    EXPECT_EQ(polygon::max_vtx, 50);
}

TEST(PolygonRecord, DistIdxListsNeighbourOffsetsInVisitingOrder)
{
    EXPECT_EQ(dist_idx[0], -2);
    EXPECT_EQ(dist_idx[1], -1);
    EXPECT_EQ(dist_idx[2], 1);
    EXPECT_EQ(dist_idx[3], 2);
}

TEST(PolygonRecord, AddAppendsAtRestAndUntiedEvenIntoAReusedSlot)
{
    polygon target;
    target.add(0, 0, false);
    target.add(1, 0, false);

    polygon p;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(p.add(float(i), float(-i), i % 2 == 1), i);
    // Leave traces in slot 2, drop it, and add again: nothing may survive.
    p.setFollow(2, &target, 0);
    p.vtx[2].vx = 5.0f;
    p.vtx[2].vy = -5.0f;
    p.rmlast();
    EXPECT_EQ(p.nvtx, 2);
    EXPECT_EQ(p.add(7.5f, -2.25f, true), 2);

    const polygon::vertex &v = p.vtx[2];
    EXPECT_EQ(p.nvtx, 3);
    EXPECT_EQ(v.x, 7.5f);
    EXPECT_EQ(v.y, -2.25f);
    EXPECT_TRUE(v.dynamic);
    EXPECT_EQ(v.vx, 0.0f);
    EXPECT_EQ(v.vy, 0.0f);
    EXPECT_EQ(v.followPoly, nullptr);
    EXPECT_FALSE(p.vtx[0].dynamic);
    EXPECT_TRUE(p.vtx[1].dynamic);
}

TEST(PolygonRecord, RmlastOnEmptyFigureKeepsZero)
{
    polygon p;
    p.rmlast();
    EXPECT_EQ(p.nvtx, 0);
    p.add(1, 1, false);
    p.rmlast();
    p.rmlast();
    EXPECT_EQ(p.nvtx, 0);
}

TEST(PolygonRecord, AddOnAFullFigureIsRefused)
{
    polygon p;
    for (int i = 0; i < polygon::max_vtx; ++i)
        ASSERT_EQ(p.add(float(i), 0.5f, false), i);
    EXPECT_EQ(p.add(99.0f, 99.0f, true), -1);
    EXPECT_EQ(p.nvtx, polygon::max_vtx);
    EXPECT_EQ(p.vtx[polygon::max_vtx - 1].x, float(polygon::max_vtx - 1));
    EXPECT_FALSE(p.vtx[polygon::max_vtx - 1].dynamic);
    // Room again after dropping one.
    p.rmlast();
    EXPECT_EQ(p.add(3.0f, 4.0f, true), polygon::max_vtx - 1);
}

// ---------------------------------------------------------------------------
// Rest distances

TEST(PolygonCalcDists, MeasuresEachExistingNeighbourOfEachSimulatedVertex)
{
    struct Case {
        const char *name;
        std::vector<bool> kinds;
        /* For each vertex, which of the offsets -2, -1, +1, +2 get an entry. */
        std::vector<std::vector<int>> measured;
    };
    const Case cases[] = {
        {"one simulated vertex", {true}, {{}}},
        {"all pinned", {false, false, false, false}, {{}, {}, {}, {}}},
        {"three simulated", {true, true, true}, {{1, 2}, {-1, 1}, {-2, -1}}},
        {"five, middle simulated", {false, false, true, false, false}, {{}, {}, {-2, -1, 1, 2}, {}, {}}},
        {"stalk", {false, false, true, true, true, true},
         {{}, {}, {-2, -1, 1, 2}, {-2, -1, 1, 2}, {-2, -1, 1}, {-2, -1}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        polygon p;
        for (size_t i = 0; i < c.kinds.size(); ++i)
            p.add(0.3f * float(i * i), -1.7f * float(i) + 0.25f, c.kinds[i]);
        PoisonDists(&p);
        p.calcDists();
        for (int i = 0; i < p.nvtx; ++i) {
            for (int o : {-2, -1, 1, 2}) {
                bool expected = false;
                for (int m : c.measured[i])
                    expected = expected || m == o;
                const float got = p.vtx[i].dist[o + 2];
                if (!expected) {
                    EXPECT_EQ(got, kUnset) << "vertex " << i << " offset " << o;
                    continue;
                }
                const polygon::vertex &a = p.vtx[i];
                const polygon::vertex &b = p.vtx[i + o];
                const double want = hypot(double(b.x) - a.x, double(b.y) - a.y);
                EXPECT_NEAR(got, want, 1e-6 * want) << "vertex " << i << " offset " << o;
            }
        }
    }
}

TEST(PolygonCalcDists, CoversTheCalledFigureAndThoseBehindItOnly)
{
    polygon *ahead = Figure({{0, 0, true}, {1, 0, true}});
    polygon *called = Figure({{0, 0, true}, {0, 2, true}});
    polygon *tail = Figure({{0, 0, true}, {3, 4, true}});
    polygon *head = Link({ahead, called, tail});
    for (polygon *p = head; p; p = p->next)
        PoisonDists(p);
    called->calcDists();
    EXPECT_EQ(ahead->vtx[0].dist[3], kUnset);
    EXPECT_EQ(called->vtx[0].dist[3], 2.0f);
    EXPECT_EQ(tail->vtx[1].dist[1], 5.0f);
    delete head;
}

// ---------------------------------------------------------------------------
// Spring step

namespace {

/* The step written out from its definition: damping by 0.98, springs pulling
 * each simulated vertex by an eighth of each length error, motion, lift 0.1;
 * each constant applied in double precision and stored as float. */
struct RefVertex {
    bool dynamic;
    float x, y, vx, vy;
    float rest[5];
};

void ReferenceStep(std::vector<RefVertex> &v)
{
    const int n = int(v.size());
    for (RefVertex &p : v) {
        p.vx = float(double(p.vx) * 0.98);
        p.vy = float(double(p.vy) * 0.98);
    }
    for (int i = 0; i < n; ++i) {
        if (!v[i].dynamic)
            continue;
        for (int o = -2; o <= 2; ++o) {
            const int j = i + o;
            if (o == 0 || j < 0 || j >= n)
                continue;
            const float dx = v[j].x - v[i].x;
            const float dy = v[j].y - v[i].y;
            const float d = float(sqrt(double(dx * dx + dy * dy)));
            if (d == 0.0f)
                continue;
            const float e = d - v[i].rest[o + 2];
            v[i].vx = float(double(v[i].vx) + double(dx / d * e) / 8.0);
            v[i].vy = float(double(v[i].vy) + double(dy / d * e) / 8.0);
        }
    }
    for (RefVertex &p : v) {
        if (!p.dynamic)
            continue;
        p.x = p.x + p.vx;
        p.y = p.y + p.vy;
        p.y = float(double(p.y) + 0.1);
    }
}

std::vector<RefVertex> Snapshot(const polygon &p)
{
    std::vector<RefVertex> v;
    for (int i = 0; i < p.nvtx; ++i) {
        const polygon::vertex &s = p.vtx[i];
        RefVertex r{s.dynamic != 0, s.x, s.y, s.vx, s.vy, {}};
        memcpy(r.rest, s.dist, sizeof r.rest);
        v.push_back(r);
    }
    return v;
}

void ExpectSameBits(const polygon &p, const std::vector<RefVertex> &ref)
{
    ASSERT_EQ(size_t(p.nvtx), ref.size());
    for (int i = 0; i < p.nvtx; ++i) {
        const polygon::vertex &s = p.vtx[i];
        EXPECT_TRUE(SameBits(s.x, ref[i].x)) << "x of " << i << ": " << s.x << " vs " << ref[i].x;
        EXPECT_TRUE(SameBits(s.y, ref[i].y)) << "y of " << i << ": " << s.y << " vs " << ref[i].y;
        EXPECT_TRUE(SameBits(s.vx, ref[i].vx)) << "vx of " << i;
        EXPECT_TRUE(SameBits(s.vy, ref[i].vy)) << "vy of " << i;
    }
}

polygon *StalkLike()
{
    return Figure({{-7.725857f, 0.924195f, false}, {-7.310488f, 0.820353f, false},
                   {-7.829699f, 2.461060f, true}, {-7.414330f, 2.647974f, true},
                   {-7.892004f, 3.914850f, true}, {-7.476636f, 4.288682f, true}});
}

} // namespace

TEST(PolygonStep, FirstStepAfterCalcDistsLiftsSimulatedByExactlyALiftAndLeavesPinned)
{
    polygon *p = StalkLike();
    p->calcDists();
    const std::vector<RefVertex> before = Snapshot(*p);
    p->updateVtx();
    for (int i = 0; i < p->nvtx; ++i) {
        const polygon::vertex &v = p->vtx[i];
        EXPECT_TRUE(SameBits(v.x, before[i].x)) << i;
        EXPECT_EQ(v.vx, 0.0f) << i;
        EXPECT_EQ(v.vy, 0.0f) << i;
        const float lifted = v.dynamic ? float(double(before[i].y) + 0.1) : before[i].y;
        EXPECT_TRUE(SameBits(v.y, lifted)) << i << ": " << v.y << " vs " << lifted;
    }
    // The second step pulls the vertices next to the pinned base back down.
    p->updateVtx();
    EXPECT_LT(p->vtx[2].vy, 0.0f);
    EXPECT_LT(p->vtx[3].vy, 0.0f);
    EXPECT_EQ(p->vtx[0].vy, 0.0f);
    delete p;
}

TEST(PolygonStep, VelocityDecaysByTheDampingFactorEachStep)
{
    polygon p;
    p.add(2.0f, 3.0f, false);
    p.vtx[0].vx = 1.0f;
    p.vtx[0].vy = -2.0f;
    float vx = 1.0f;
    for (int n = 1; n <= 200; ++n) {
        p.updateVtx();
        vx = float(double(vx) * 0.98);
        ASSERT_TRUE(SameBits(p.vtx[0].vx, vx)) << "step " << n;
        EXPECT_NEAR(p.vtx[0].vx, pow(0.98, n), 2e-6 * n * pow(0.98, n)) << "step " << n;
        EXPECT_NEAR(p.vtx[0].vy, -2.0 * pow(0.98, n), 4e-6 * n * pow(0.98, n)) << "step " << n;
    }
    // A pinned vertex is never moved by its velocity.
    EXPECT_EQ(p.vtx[0].x, 2.0f);
    EXPECT_EQ(p.vtx[0].y, 3.0f);
}

TEST(PolygonStep, LoneSimulatedVertexRisesByLiftPlusDecayingVelocity)
{
    polygon p;
    p.add(0.5f, -1.0f, true);
    p.calcDists();
    p.vtx[0].vy = 0.5f;
    double y = -1.0;
    double vy = 0.5;
    for (int n = 0; n < 20; ++n) {
        p.updateVtx();
        vy *= 0.98;
        y += vy + 0.1;
    }
    EXPECT_EQ(p.vtx[0].x, 0.5f);
    EXPECT_NEAR(p.vtx[0].y, y, 1e-5);
}

TEST(PolygonStep, LiftIsAddedInDoublePrecision)
{
    // Heights near zero, where adding 0.1 in double and adding 0.1f in single
    // precision round to different floats; and one where they agree.
    const float heights[] = {0.00445768610f, -0.123677753f, -0.0808674842f, -0.110288642f, 2.5f};
    for (float y : heights) {
        polygon p;
        p.add(0.0f, y, true);
        p.calcDists();
        p.updateVtx();
        const float want = float(double(y) + 0.1);
        EXPECT_TRUE(SameBits(p.vtx[0].y, want)) << y << ": " << p.vtx[0].y << " vs " << want;
    }
}

TEST(PolygonStep, AllPinnedFigureIsLeftAsItIs)
{
    polygon *p = Figure({{0, 0, false}, {1, 0, false}, {0, 1, false}});
    p->calcDists();
    p->vtx[1].x = 4.0f; // stretched, but nothing is simulated
    for (int n = 0; n < 5; ++n)
        p->updateVtx();
    EXPECT_EQ(p->vtx[1].x, 4.0f);
    EXPECT_EQ(p->vtx[0].y, 0.0f);
    EXPECT_EQ(p->vtx[2].y, 1.0f);
    delete p;
}

TEST(PolygonStep, ReplayedStepsAgreeBitForBitWithTheDefinition)
{
    polygon *p = StalkLike();
    p->calcDists();
    // Disturb it: a swing to the side and a shifted base.
    p->vtx[5].vx = 0.05f;
    p->vtx[3].x += 0.125f;
    p->vtx[0].y -= 0.2f;
    std::vector<RefVertex> ref = Snapshot(*p);
    for (int n = 0; n < 8; ++n) {
        p->updateVtx();
        ReferenceStep(ref);
        SCOPED_TRACE(n);
        ExpectSameBits(*p, ref);
    }
    delete p;
}

TEST(PolygonStep, CoincidentSpringNeighboursAreSkippedForThatStep)
{
    // Two simulated vertices start on one point: no direction between them.
    polygon *same = Figure({{1, 1, true}, {1, 1, true}});
    same->calcDists();
    same->updateVtx();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(same->vtx[i].vx, 0.0f);
        EXPECT_EQ(same->vtx[i].vy, 0.0f);
        EXPECT_EQ(same->vtx[i].y, float(1.0 + 0.1));
    }
    delete same;

    // A vertex moved onto its neighbour: that pair is skipped, the others pull.
    polygon *p = StalkLike();
    p->calcDists();
    p->move(3, p->vtx[2].x, p->vtx[2].y);
    std::vector<RefVertex> ref = Snapshot(*p);
    p->updateVtx();
    ReferenceStep(ref);
    for (int i = 0; i < p->nvtx; ++i) {
        EXPECT_TRUE(isfinite(p->vtx[i].x) && isfinite(p->vtx[i].y)) << i;
        EXPECT_TRUE(isfinite(p->vtx[i].vx) && isfinite(p->vtx[i].vy)) << i;
    }
    ExpectSameBits(*p, ref);
    EXPECT_NE(p->vtx[3].vx, 0.0f);
    delete p;
}

// ---------------------------------------------------------------------------
// Ties

TEST(PolygonFollow, PutsTiedVertexOnTheMidpointWhateverItsPosition)
{
    const V starts[] = {{0, 0, false}, {-40, 12.5f, false}, {3.5f, 5.25f, true}, {1e6f, -1e6f, true}};
    for (const V &s : starts) {
        polygon *target = Figure({{0, 0, false}, {0, 0, false}, {1, 1, true}, {1, 2, true},
                                  {1.5f, 4.0f, true}, {2.25f, 5.0f, true}});
        polygon *tied = Figure({{s.x, s.y, s.dynamic}, {9, 9, true}});
        tied->next = target;
        tied->setFollow(0, target, 4);
        tied->vtx[0].vx = 0.75f;
        tied->follow();
        EXPECT_EQ(tied->vtx[0].x, 1.875f);
        EXPECT_EQ(tied->vtx[0].y, 4.5f);
        EXPECT_EQ(tied->vtx[0].vx, 0.75f) << "velocity is not the tie's business";
        EXPECT_EQ(tied->vtx[1].x, 9.0f);
        delete tied;
    }
}

TEST(PolygonFollow, NullTargetUnties)
{
    polygon target;
    target.add(4, 4, false);
    target.add(6, 6, false);
    polygon p;
    p.add(0, 0, false);
    p.setFollow(0, &target, 0);
    p.setFollow(0, nullptr, 0);
    p.follow();
    EXPECT_EQ(p.vtx[0].x, 0.0f);
    EXPECT_EQ(p.vtx[0].y, 0.0f);
}

TEST(PolygonFollow, TiesOutsideTheLimitsAreIgnored)
{
    polygon target;
    for (int i = 0; i < 3; ++i)
        target.add(float(i), float(10 * i), false);

    // setFollow with an index that is not a vertex of the figure changes nothing.
    polygon p;
    p.add(-1, -1, false);
    p.add(-2, -2, false);
    for (int i : {-1, 2, 50, 1 << 30}) {
        p.setFollow(i, &target, 0);
        for (int k = 0; k < p.nvtx; ++k)
            EXPECT_EQ(p.vtx[k].followPoly, nullptr) << "index " << i;
    }
    // Pairs that do not lie within the target are left alone at follow time.
    for (int k : {-1, 2, 3, 1 << 30, INT_MAX, INT_MIN}) {
        p.setFollow(0, &target, k);
        p.follow();
        EXPECT_EQ(p.vtx[0].x, -1.0f) << "k " << k;
        EXPECT_EQ(p.vtx[0].y, -1.0f) << "k " << k;
    }
    // A tie that was valid stops acting when the target loses the pair.
    p.setFollow(0, &target, 1);
    p.follow();
    EXPECT_EQ(p.vtx[0].x, 1.5f);
    p.move(0, -1.0f, -1.0f);
    target.rmlast();
    p.follow();
    EXPECT_EQ(p.vtx[0].x, -1.0f);
}

TEST(PolygonFollow, TargetsBehindInTheListAreSettledFirst)
{
    // base (tail) <- middle tied to base <- top (head) tied to middle.
    polygon *base = Figure({{0, 0, false}, {2, 2, false}});
    polygon *middle = Figure({{50, 50, false}, {70, 70, false}});
    polygon *top = Figure({{-5, -5, false}});
    polygon *head = Link({top, middle, base});
    middle->setFollow(0, base, 0); // (1, 1)
    top->setFollow(0, middle, 0);  // midpoint of (1, 1) and (70, 70)
    head->follow();
    EXPECT_EQ(top->vtx[0].x, 35.5f);
    EXPECT_EQ(top->vtx[0].y, 35.5f);
    delete head;
}

// ---------------------------------------------------------------------------
// Transforms

TEST(PolygonTransform, ZeroMoveAndZeroTurnChangeNothing)
{
    polygon *p = StalkLike();
    const std::vector<RefVertex> before = Snapshot(*p);
    p->move(0.0f, 0.0f);
    p->rotate(0.0f);
    ExpectSameBits(*p, before);
    delete p;
}

TEST(PolygonTransform, MoveCarriesPinnedFullyAndSimulatedByHalfFromCalledFigureToTail)
{
    polygon *ahead = Figure({{0, 0, false}, {0, 0, true}});
    polygon *called = Figure({{1, 1, false}, {1, 1, true}});
    polygon *tail = Figure({{-3, 5, true}, {-3, 5, false}});
    polygon *head = Link({ahead, called, tail});
    called->move(2.0f, 4.0f);
    EXPECT_EQ(ahead->vtx[0].x, 0.0f);
    EXPECT_EQ(ahead->vtx[1].y, 0.0f);
    EXPECT_EQ(called->vtx[0].x, 3.0f);
    EXPECT_EQ(called->vtx[0].y, 5.0f);
    EXPECT_EQ(called->vtx[1].x, 2.0f);
    EXPECT_EQ(called->vtx[1].y, 3.0f);
    EXPECT_EQ(tail->vtx[0].x, -2.0f);
    EXPECT_EQ(tail->vtx[0].y, 7.0f);
    EXPECT_EQ(tail->vtx[1].x, -1.0f);
    EXPECT_EQ(tail->vtx[1].y, 9.0f);
    delete head;
}

TEST(PolygonTransform, QuarterTurnIsClockwiseAboutTheOriginForPinnedOnly)
{
    polygon *p = Figure({{1, 0, false}, {0, 1, false}, {1, 0, true}, {-2, 3, false}});
    p->rotate(float(M_PI / 2));
    const double eps = 1e-6;
    EXPECT_NEAR(p->vtx[0].x, 0.0, eps);
    EXPECT_NEAR(p->vtx[0].y, -1.0, eps);
    EXPECT_NEAR(p->vtx[1].x, 1.0, eps);
    EXPECT_NEAR(p->vtx[1].y, 0.0, eps);
    EXPECT_EQ(p->vtx[2].x, 1.0f);
    EXPECT_EQ(p->vtx[2].y, 0.0f);
    EXPECT_NEAR(p->vtx[3].x, 3.0, 4 * eps);
    EXPECT_NEAR(p->vtx[3].y, 2.0, 4 * eps);
    delete p;
}

TEST(PolygonTransform, TurnsPreserveDistancesAndUndoEachOther)
{
    polygon *p = Figure({{-8.5f, 0.8f, false}, {6.9f, -3.6f, false}, {0.25f, 2.8f, false}, {-1, -5, false}});
    const std::vector<RefVertex> start = Snapshot(*p);
    const float angles[] = {0.002f, -0.7f, 1.3f, 3.0f, -2.5f};
    for (float a : angles) {
        p->rotate(a);
        for (int i = 0; i < p->nvtx; ++i)
            for (int j = i + 1; j < p->nvtx; ++j) {
                const double d0 = hypot(start[i].x - start[j].x, start[i].y - start[j].y);
                const double d = hypot(p->vtx[i].x - p->vtx[j].x, p->vtx[i].y - p->vtx[j].y);
                EXPECT_NEAR(d, d0, 1e-5 * d0) << "angle " << a;
            }
    }
    for (int k = 4; k >= 0; --k)
        p->rotate(-angles[k]);
    for (int i = 0; i < p->nvtx; ++i) {
        EXPECT_NEAR(p->vtx[i].x, start[i].x, 1e-5);
        EXPECT_NEAR(p->vtx[i].y, start[i].y, 1e-5);
    }
    delete p;
}

TEST(PolygonTransform, TurnReachesTheCalledFigureAndThoseBehindItOnly)
{
    polygon *ahead = Figure({{1, 0, false}});
    polygon *called = Figure({{1, 0, false}});
    polygon *tail = Figure({{1, 0, false}});
    polygon *head = Link({ahead, called, tail});
    called->rotate(float(M_PI));
    EXPECT_EQ(ahead->vtx[0].x, 1.0f);
    EXPECT_NEAR(called->vtx[0].x, -1.0, 1e-6);
    EXPECT_NEAR(tail->vtx[0].x, -1.0, 1e-6);
    delete head;
}

TEST(PolygonTransform, MovingOneVertexIsAbsoluteAndLastsUntilTheNextFollow)
{
    polygon target;
    target.add(0, 0, false);
    target.add(2, 4, false);
    polygon p;
    p.add(5, 5, true);
    p.add(6, 6, false);
    p.setFollow(0, &target, 0);
    p.vtx[0].vx = 0.5f;
    p.move(0, -3.0f, 7.0f);
    EXPECT_EQ(p.vtx[0].x, -3.0f);
    EXPECT_EQ(p.vtx[0].y, 7.0f);
    EXPECT_EQ(p.vtx[0].vx, 0.5f);
    EXPECT_TRUE(p.vtx[0].dynamic);
    EXPECT_EQ(p.vtx[0].followPoly, &target);
    p.follow();
    EXPECT_EQ(p.vtx[0].x, 1.0f);
    EXPECT_EQ(p.vtx[0].y, 2.0f);
    // An index that is not a vertex is ignored.
    for (int i : {-1, 2, 49})
        p.move(i, 100.0f, 100.0f);
    EXPECT_EQ(p.vtx[1].x, 6.0f);
    EXPECT_EQ(p.nvtx, 2);
}

// ---------------------------------------------------------------------------
// Hit test

TEST(PolygonClicked, SquareToleranceWithBordersAndLowestIndexFirst)
{
    polygon p;
    p.add(1.0f, 1.0f, false);
    p.add(1.05f, 1.05f, true); // within reach of the first
    p.add(-2.0f, 3.0f, true);
    struct Case {
        float x, y;
        int want;
    } const cases[] = {
        {1.0f, 1.0f, 0},       {1.09f, 1.09f, 0},   {0.91f, 0.91f, 0},  {1.14f, 1.14f, 1},
        {1.16f, 1.0f, -1},     {-2.09f, 2.91f, 2},  {-1.91f, 3.09f, 2}, {-2.11f, 3.0f, -1},
        {-2.0f, 3.11f, -1},    {-1.89f, 3.0f, -1},  {-2.0f, 2.89f, -1}, {-1.93f, 3.07f, 2},
        {0.0f, 0.0f, -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(p.clicked(c.x, c.y), c.want) << "(" << c.x << ", " << c.y << ")";
    polygon empty;
    EXPECT_EQ(empty.clicked(0.0f, 0.0f), -1);
}

// ---------------------------------------------------------------------------
// Source dump

TEST(PolygonDump, NewFigureWithVertices)
{
    polygon p;
    p.add(-8.5358257f, 0.820353f, false);
    p.add(1.0f, -0.5f, true);
    EXPECT_EQ(DumpText(&p),
              "{ \n"
              "\tpolygon *p = new polygon;\n"
              "\tp->next = polys;\n"
              "\tactive = polys = p;\n"
              "\tp->r = 1.000000;\n"
              "\tp->g = 0.000000;\n"
              "\tp->b = 0.000000;\n"
              "\tp->a = 1.000000;\n"
              "\tp->add(-8.535826,0.820353,false);\n"
              "\tp->add(1.000000,-0.500000,true);\n"
              "}\n");
}

TEST(PolygonDump, EmptyFigureAndAListTailFirst)
{
    polygon *tail = new polygon;
    tail->r = 0.25f;
    polygon *head = new polygon;
    head->g = 0.5f;
    head->add(2.0f, 3.0f, false);
    head->next = tail;
    const std::string block_tail =
        "{ \n\tpolygon *p = new polygon;\n\tp->next = polys;\n\tactive = polys = p;\n"
        "\tp->r = 0.250000;\n\tp->g = 0.000000;\n\tp->b = 0.000000;\n\tp->a = 1.000000;\n}\n";
    const std::string block_head =
        "{ \n\tpolygon *p = new polygon;\n\tp->next = polys;\n\tactive = polys = p;\n"
        "\tp->r = 1.000000;\n\tp->g = 0.500000;\n\tp->b = 0.000000;\n\tp->a = 1.000000;\n"
        "\tp->add(2.000000,3.000000,false);\n}\n";
    EXPECT_EQ(DumpText(tail), block_tail);
    EXPECT_EQ(DumpText(head), block_tail + block_head);
    delete head;
}

// ---------------------------------------------------------------------------
// Drawing

TEST(PolygonDraw, EachFigureOneStripTailFirstEachOneStepNearer)
{
    polygon *four = Figure({{0, 0, false}, {1, 0, true}, {0, 1, false}, {1, 1, true}});
    four->r = 0.5f;
    four->a = 0.25f;
    polygon *two = Figure({{5, 5, false}, {6, 6, false}});
    polygon *three = Figure({{-1, -2, false}, {-3, -4, true}, {-5, -6, false}});
    three->g = 1.0f;
    polygon *empty = new polygon;
    polygon *head = Link({four, two, three, empty});
    GlRecorderReset();
    head->draw();
    EXPECT_EQ(GlTrace(GlRecorded()),
              "glTranslatef(0, 0, 0.00999999978)\n"       // empty (tail)
              "glTranslatef(0, 0, 0.00999999978)\n"       // three
              "glColor4f(1, 1, 0, 1)\n"
              "glBegin(GL_TRIANGLE_STRIP)\n"
              "glVertex2f(-1, -2)\n"
              "glVertex2f(-3, -4)\n"
              "glVertex2f(-5, -6)\n"
              "glEnd()\n"
              "glTranslatef(0, 0, 0.00999999978)\n"       // two: no primitive
              "glTranslatef(0, 0, 0.00999999978)\n"       // four (head)
              "glColor4f(0.5, 0, 0, 0.25)\n"
              "glBegin(GL_TRIANGLE_STRIP)\n"
              "glVertex2f(0, 0)\n"
              "glVertex2f(1, 0)\n"
              "glVertex2f(0, 1)\n"
              "glVertex2f(1, 1)\n"
              "glEnd()\n");
    delete head;
}

TEST(PolygonDraw, MatrixEndsOneHundredthPerFigureNearer)
{
    polygon *head = nullptr;
    for (int i = 0; i < 57; ++i) {
        polygon *p = new polygon;
        for (int k = 0; k < i % 5; ++k)
            p->add(float(k), float(i), k % 2 == 0);
        p->next = head;
        head = p;
    }
    GlRecorderReset();
    head->draw();
    double z = 0;
    int strips = 0;
    for (const GlCall &c : GlRecorded()) {
        if (c.op == GlCall::Translate) {
            EXPECT_EQ(c.v[0], 0.0f);
            EXPECT_EQ(c.v[1], 0.0f);
            z += c.v[2];
        }
        if (c.op == GlCall::Begin)
            ++strips;
    }
    EXPECT_NEAR(z, 0.57, 1e-6);
    EXPECT_EQ(strips, 22); // the figures with 3 or 4 vertices
    delete head;
}

TEST(PolygonHighlight, SquaresPerVertexAndOutlinePerStripTriangle)
{
    polygon three;
    three.add(1.0f, 2.0f, false);
    three.add(3.0f, 2.0f, true);
    three.add(2.0f, 5.0f, false);
    GlRecorderReset();
    three.highlight();
    EXPECT_EQ(GlTrace(GlRecorded()),
              "glPushMatrix()\n"
              "glTranslatef(0, 0, 0.300000012)\n"
              "glBegin(GL_LINE_LOOP)\n"
              "glColor3f(1, 0, 0)\n"
              "glVertex2f(0.899999976, 1.89999998)\n"
              "glVertex2f(0.899999976, 2.0999999)\n"
              "glVertex2f(1.10000002, 2.0999999)\n"
              "glVertex2f(1.10000002, 1.89999998)\n"
              "glEnd()\n"
              "glBegin(GL_LINE_LOOP)\n"
              "glColor3f(0, 0, 1)\n"
              "glVertex2f(2.9000001, 1.89999998)\n"
              "glVertex2f(2.9000001, 2.0999999)\n"
              "glVertex2f(3.0999999, 2.0999999)\n"
              "glVertex2f(3.0999999, 1.89999998)\n"
              "glEnd()\n"
              "glBegin(GL_LINE_LOOP)\n"
              "glColor3f(1, 0, 0)\n"
              "glVertex2f(1.89999998, 4.9000001)\n"
              "glVertex2f(1.89999998, 5.0999999)\n"
              "glVertex2f(2.0999999, 5.0999999)\n"
              "glVertex2f(2.0999999, 4.9000001)\n"
              "glEnd()\n"
              "glColor3f(1, 0, 0)\n"
              "glBegin(GL_LINE_LOOP)\n"
              "glVertex2f(1, 2)\n"
              "glVertex2f(3, 2)\n"
              "glVertex2f(2, 5)\n"
              "glEnd()\n"
              "glPopMatrix()\n");

    // Two vertices: two squares, no triangle; none: no call at all.
    three.rmlast();
    GlRecorderReset();
    three.highlight();
    int loops = 0;
    for (const GlCall &c : GlRecorded())
        loops += c.op == GlCall::Begin && c.mode == GL_LINE_LOOP;
    EXPECT_EQ(loops, 2);
    EXPECT_EQ(GlRecorded().back().op, GlCall::PopMatrix);

    polygon empty;
    GlRecorderReset();
    empty.highlight();
    EXPECT_TRUE(GlRecorded().empty());
}

// ---------------------------------------------------------------------------
// Destruction

TEST(PolygonList, DestroyingTheHeadReleasesEveryFigureExactlyOnce)
{
    std::vector<polygon *> figures;
    polygon *head = nullptr;
    for (int i = 0; i < 57; ++i) {
        polygon *p = new polygon;
        p->add(float(i), 0.0f, false);
        p->next = head;
        head = p;
        figures.push_back(p);
    }
    alloc_counter::Start();
    delete head;
    alloc_counter::Stop();
    ASSERT_EQ(alloc_counter::Releases(), figures.size());
    for (polygon *p : figures) {
        int seen = 0;
        for (size_t k = 0; k < alloc_counter::Releases(); ++k)
            seen += alloc_counter::Released()[k] == p;
        EXPECT_EQ(seen, 1);
    }
}
