/* The built-in scene: what is built, how it is tied, how it fails, and that
 * a frame's step allocates nothing. The expected values are the scene's
 * stated table, not read back from the builder. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/alloc_counter.h"
#include "figures/polygon.h"
#include "figures/scene.h"
#include "figures/scene_table.h"

using namespace scene_table;

namespace {

const int kFigures = 57;
const int kFirstStalk = 3;
const int kFirstGreen = 17;
const int kFirstHead = 29;

/* The figures of a list in construction order (tail first). */
std::vector<polygon *> InOrder(polygon *head)
{
    std::vector<polygon *> v;
    for (polygon *p = head; p; p = p->next)
        v.push_back(p);
    std::reverse(v.begin(), v.end());
    return v;
}

/* The single-precision value a six-decimal literal becomes. */
float F(double six_decimals)
{
    return float(six_decimals);
}

int IndexOf(const std::vector<polygon *> &figs, const polygon *p)
{
    for (size_t i = 0; i < figs.size(); ++i)
        if (figs[i] == p)
            return int(i);
    return -1;
}

double Round2(double v)
{
    return round(v * 100.0) / 100.0;
}

struct Box {
    double x0 = 1e9, x1 = -1e9, y0 = 1e9, y1 = -1e9;
    void Add(const polygon &p)
    {
        for (int i = 0; i < p.nvtx; ++i) {
            x0 = std::min(x0, double(p.vtx[i].x));
            x1 = std::max(x1, double(p.vtx[i].x));
            y0 = std::min(y0, double(p.vtx[i].y));
            y1 = std::max(y1, double(p.vtx[i].y));
        }
    }
};

void ExpectBox(const Box &b, double x0, double x1, double y0, double y1)
{
    EXPECT_EQ(Round2(b.x0), x0);
    EXPECT_EQ(Round2(b.x1), x1);
    EXPECT_EQ(Round2(b.y0), y0);
    EXPECT_EQ(Round2(b.y1), y1);
}

class Scene : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(BuildScene(&head));
        figs = InOrder(head);
        ASSERT_EQ(int(figs.size()), kFigures);
    }
    void TearDown() override { delete head; }

    polygon *head = nullptr;
    std::vector<polygon *> figs;
};

} // namespace

TEST_F(Scene, CountsOfFiguresAndVertices)
{
    std::vector<int> counts = {18, 14, 11};
    counts.insert(counts.end(), 14, 6);
    counts.insert(counts.end(), kGreenCounts, kGreenCounts + 12);
    counts.insert(counts.end(), 28, 6);
    int total = 0, simulated = 0, largest = 0;
    for (int n = 0; n < kFigures; ++n) {
        EXPECT_EQ(figs[n]->nvtx, counts[n]) << "figure " << n;
        total += figs[n]->nvtx;
        largest = std::max(largest, figs[n]->nvtx);
        for (int i = 0; i < figs[n]->nvtx; ++i)
            simulated += figs[n]->vtx[i].dynamic != 0;
    }
    EXPECT_EQ(total, 399);
    EXPECT_EQ(simulated, 196);
    EXPECT_EQ(total - simulated, 203);
    EXPECT_EQ(largest, 18);
    EXPECT_EQ(head, figs[56]);
}

TEST_F(Scene, ColoursAndKindsPerGroup)
{
    auto expect_colour = [](const polygon *p, const RGB &c, int n) {
        EXPECT_EQ(p->r, F(c.r)) << "figure " << n;
        EXPECT_EQ(p->g, F(c.g)) << "figure " << n;
        EXPECT_EQ(p->b, F(c.b)) << "figure " << n;
        EXPECT_EQ(p->a, 1.0f) << "figure " << n;
    };
    const RGB bands[3] = {{1.000000, 0.990654, 0.744548},
                          {0.670820, 0.682243, 0.744548},
                          {0.963655, 0.977155, 0.842160}};
    for (int n = 0; n < kFigures; ++n) {
        const polygon *p = figs[n];
        int first_simulated = p->nvtx; // pinned throughout unless said otherwise
        if (n < kFirstStalk) {
            expect_colour(p, bands[n], n);
        } else if (n < kFirstGreen) {
            expect_colour(p, kStalkColours[kStalks[n - kFirstStalk].colour], n);
            first_simulated = 2;
        } else if (n < kFirstHead) {
            expect_colour(p, {0.0, 0.5, 0.0}, n);
        } else {
            expect_colour(p, kHeads[n - kFirstHead].yellow ? kYellow : kOrange, n);
            first_simulated = 1;
        }
        for (int i = 0; i < p->nvtx; ++i)
            EXPECT_EQ(p->vtx[i].dynamic != 0, i >= first_simulated) << "figure " << n << " vertex " << i;
    }
}

TEST_F(Scene, StalksAreTheFirstStalkOfTheirColourMoved)
{
    bool first_seen[5] = {};
    for (int s = 0; s < 14; ++s) {
        SCOPED_TRACE("stalk " + std::to_string(s));
        const polygon *p = figs[kFirstStalk + s];
        const Stalk &st = kStalks[s];
        const XY *shape = kStalkShapes[st.colour];
        ASSERT_EQ(p->nvtx, 6);
        EXPECT_EQ(p->vtx[0].x, F(st.v0.x));
        EXPECT_EQ(p->vtx[0].y, F(st.v0.y));
        for (int i = 0; i < 6; ++i) {
            if (!first_seen[st.colour]) {
                EXPECT_EQ(p->vtx[i].x, F(shape[i].x)) << i;
                EXPECT_EQ(p->vtx[i].y, F(shape[i].y)) << i;
            }
            // Same offsets from vertex 0, to three units in the sixth decimal
            // (and the single-precision storage).
            EXPECT_NEAR(p->vtx[i].x - p->vtx[0].x, shape[i].x - shape[0].x, 3.5e-6) << i;
            EXPECT_NEAR(p->vtx[i].y - p->vtx[0].y, shape[i].y - shape[0].y, 3.5e-6) << i;
        }
        first_seen[st.colour] = true;

        Box box;
        box.Add(*p);
        EXPECT_GE(box.y1 - box.y0, 3.32 - 0.005);
        EXPECT_LE(box.y1 - box.y0, 3.49 + 0.005);
        EXPECT_GE(box.x1 - box.x0, 0.44 - 0.005);
        EXPECT_LE(box.x1 - box.x0, 0.58 + 0.005);
        for (int i = 0; i < 2; ++i) {
            EXPECT_GE(Round2(p->vtx[i].y), -0.11);
            EXPECT_LE(Round2(p->vtx[i].y), 2.15);
        }
        for (int i = 4; i < 6; ++i) {
            EXPECT_GE(Round2(p->vtx[i].y), 2.85);
            EXPECT_LE(Round2(p->vtx[i].y), 5.53);
        }
    }
}

TEST_F(Scene, HeadsAreTheTwoHeadShapesMovedNearTheirStalkTops)
{
    for (int h = 0; h < 28; ++h) {
        SCOPED_TRACE("figure " + std::to_string(kFirstHead + h));
        const polygon *p = figs[kFirstHead + h];
        const Head &hd = kHeads[h];
        const XY *shape = hd.yellow ? kYellowHead : kOrangeHead;
        ASSERT_EQ(p->nvtx, 6);
        EXPECT_EQ(p->vtx[0].x, F(hd.v0.x));
        EXPECT_EQ(p->vtx[0].y, F(hd.v0.y));
        for (int i = 0; i < 6; ++i) {
            if (h < 2) {
                EXPECT_EQ(p->vtx[i].x, F(shape[i].x)) << i;
                EXPECT_EQ(p->vtx[i].y, F(shape[i].y)) << i;
            }
            EXPECT_NEAR(p->vtx[i].x - p->vtx[0].x, shape[i].x - shape[0].x, 1.5e-6) << i;
            EXPECT_NEAR(p->vtx[i].y - p->vtx[0].y, shape[i].y - shape[0].y, 1.5e-6) << i;
        }
        // Authored close to, not on, the midpoint of the stalk's top pair.
        const polygon *stalk = figs[kFirstStalk + hd.stalk];
        const double mx = (double(stalk->vtx[4].x) + stalk->vtx[5].x) / 2;
        const double my = (double(stalk->vtx[4].y) + stalk->vtx[5].y) / 2;
        const double off = hypot(p->vtx[0].x - mx, p->vtx[0].y - my);
        EXPECT_GT(off, 0.001);
        EXPECT_LT(off, 0.12);
    }
}

TEST_F(Scene, EveryHeadIsTiedToItsStalkTopAndEveryStalkCarriesTwo)
{
    int ties = 0;
    int yellow_on[14], orange_on[14];
    std::fill(yellow_on, yellow_on + 14, -1);
    std::fill(orange_on, orange_on + 14, -1);
    int count_on[14] = {};
    for (int n = 0; n < kFigures; ++n) {
        for (int i = 0; i < figs[n]->nvtx; ++i) {
            const polygon::vertex &v = figs[n]->vtx[i];
            if (!v.followPoly)
                continue;
            ++ties;
            ASSERT_GE(n, kFirstHead) << "only heads are tied";
            EXPECT_EQ(i, 0);
            EXPECT_EQ(v.followIdx, 4);
            const int target = IndexOf(figs, v.followPoly);
            const int s = target - kFirstStalk;
            ASSERT_TRUE(s >= 0 && s < 14) << "figure " << n << " tied to figure " << target;
            EXPECT_EQ(v.followPoly->nvtx, 6);
            EXPECT_EQ(s, kHeads[n - kFirstHead].stalk) << "figure " << n;
            ++count_on[s];
            (kHeads[n - kFirstHead].yellow ? yellow_on : orange_on)[s] = n;
        }
    }
    EXPECT_EQ(ties, 28);
    for (int s = 0; s < 14; ++s) {
        EXPECT_EQ(count_on[s], 2) << "stalk " << s;
        EXPECT_GE(yellow_on[s], 0) << "stalk " << s;
        EXPECT_GT(orange_on[s], yellow_on[s]) << "stalk " << s << ": the orange head comes after the yellow one";
    }
}

TEST_F(Scene, GivenRowsAndTheStatedRanges)
{
    const XY ground[6] = {{-8.535826, 0.820353}, {-8.348909, -3.312565}, {-7.497403, 0.488058},
                          {-7.892004, -3.997923}, {-6.147456, 0.218068}, {-5.981309, -4.890966}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(figs[0]->vtx[i].x, F(ground[i].x)) << i;
        EXPECT_EQ(figs[0]->vtx[i].y, F(ground[i].y)) << i;
    }
    EXPECT_EQ(figs[0]->vtx[17].x, F(6.895120));
    EXPECT_EQ(figs[1]->vtx[0].x, F(6.479751));
    EXPECT_EQ(figs[1]->vtx[0].y, F(0.114226));
    EXPECT_EQ(figs[2]->vtx[0].x, F(-0.318769));
    EXPECT_EQ(figs[2]->vtx[0].y, F(2.806880));
    const XY stone[4] = {{-6.514398, -2.236924}, {-5.744321, -2.302931},
                         {-6.470393, -2.412942}, {-5.766323, -2.544955}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(figs[18]->vtx[i].x, F(stone[i].x)) << i;
        EXPECT_EQ(figs[18]->vtx[i].y, F(stone[i].y)) << i;
    }

    Box b0, b1, b2, green, all;
    b0.Add(*figs[0]);
    b1.Add(*figs[1]);
    b2.Add(*figs[2]);
    for (int n = kFirstGreen; n < kFirstHead; ++n)
        green.Add(*figs[n]);
    for (polygon *p : figs)
        all.Add(*p);
    {
        SCOPED_TRACE("figure 0");
        ExpectBox(b0, -8.54, 6.90, -5.12, 0.82);
    }
    {
        SCOPED_TRACE("figure 1");
        ExpectBox(b1, -1.14, 6.63, -4.91, 0.11);
    }
    {
        SCOPED_TRACE("figure 2");
        ExpectBox(b2, -8.58, 6.64, -0.45, 2.81);
    }
    {
        SCOPED_TRACE("dark green");
        ExpectBox(green, -6.87, 5.38, -4.39, -0.61);
    }
    {
        SCOPED_TRACE("scene");
        ExpectBox(all, -8.58, 6.90, -5.12, 6.41);
    }
}

TEST_F(Scene, FiguresNineteenAndTwentyAreOneShapeInTwoPlaces)
{
    const polygon *a = figs[19];
    const polygon *b = figs[20];
    ASSERT_EQ(a->nvtx, b->nvtx);
    EXPECT_NE(a->vtx[0].x, b->vtx[0].x);
    for (int i = 0; i < a->nvtx; ++i) {
        EXPECT_NEAR(a->vtx[i].x - a->vtx[0].x, b->vtx[i].x - b->vtx[0].x, 2e-6) << i;
        EXPECT_NEAR(a->vtx[i].y - a->vtx[0].y, b->vtx[i].y - b->vtx[0].y, 2e-6) << i;
    }
}

TEST_F(Scene, EveryNumberHasSixDecimals)
{
    auto six = [](float v) {
        char text[64];
        snprintf(text, sizeof text, "%.6f", v);
        return strtof(text, nullptr) == v;
    };
    for (int n = 0; n < kFigures; ++n) {
        const polygon *p = figs[n];
        EXPECT_TRUE(six(p->r) && six(p->g) && six(p->b) && six(p->a)) << "figure " << n;
        for (int i = 0; i < p->nvtx; ++i)
            EXPECT_TRUE(six(p->vtx[i].x) && six(p->vtx[i].y)) << "figure " << n << " vertex " << i;
    }
}

TEST_F(Scene, StripsHaveNoFlatTrianglesAndSpringNeighboursStartApart)
{
    for (int n = 0; n < kFigures; ++n) {
        const polygon *p = figs[n];
        for (int i = 0; i + 2 < p->nvtx; ++i) {
            const polygon::vertex &a = p->vtx[i], &b = p->vtx[i + 1], &c = p->vtx[i + 2];
            const double area = ((b.x - a.x) * double(c.y - a.y) - (b.y - a.y) * double(c.x - a.x)) / 2;
            EXPECT_GT(fabs(area), 1e-4) << "figure " << n << " triangle " << i;
        }
        for (int i = 0; i < p->nvtx; ++i) {
            if (!p->vtx[i].dynamic)
                continue;
            for (int o : dist_idx) {
                const int j = i + o;
                if (j < 0 || j >= p->nvtx)
                    continue;
                EXPECT_GE(hypot(p->vtx[j].x - p->vtx[i].x, p->vtx[j].y - p->vtx[i].y), 0.15)
                    << "figure " << n << " vertices " << i << ", " << j;
            }
        }
    }
}

TEST_F(Scene, RestShapeIsTheAuthoredOneAndTiesSnapOnTheFirstFollow)
{
    std::vector<std::vector<float>> ys;
    for (polygon *p : figs) {
        ys.emplace_back();
        for (int i = 0; i < p->nvtx; ++i)
            ys.back().push_back(p->vtx[i].y);
    }
    head->updateVtx();
    for (int n = 0; n < kFigures; ++n)
        for (int i = 0; i < figs[n]->nvtx; ++i) {
            const polygon::vertex &v = figs[n]->vtx[i];
            const float want = v.dynamic ? float(double(ys[n][i]) + 0.1) : ys[n][i];
            EXPECT_EQ(v.y, want) << "figure " << n << " vertex " << i;
        }
    head->follow();
    for (int h = 0; h < 28; ++h) {
        const polygon *p = figs[kFirstHead + h];
        const polygon *s = figs[kFirstStalk + kHeads[h].stalk];
        EXPECT_EQ(p->vtx[0].x, float((s->vtx[4].x + s->vtx[5].x) / 2.0));
        EXPECT_EQ(p->vtx[0].y, float((s->vtx[4].y + s->vtx[5].y) / 2.0));
    }
}

TEST(SceneBuild, BuildingTwiceGivesTheSameScene)
{
    polygon *a = nullptr;
    polygon *b = nullptr;
    ASSERT_TRUE(BuildScene(&a));
    ASSERT_TRUE(BuildScene(&b));
    const std::vector<polygon *> fa = InOrder(a), fb = InOrder(b);
    ASSERT_EQ(fa.size(), fb.size());
    for (size_t n = 0; n < fa.size(); ++n) {
        ASSERT_EQ(fa[n]->nvtx, fb[n]->nvtx);
        EXPECT_EQ(memcmp(&fa[n]->r, &fb[n]->r, 4 * sizeof(float)), 0);
        for (int i = 0; i < fa[n]->nvtx; ++i) {
            const polygon::vertex &u = fa[n]->vtx[i], &v = fb[n]->vtx[i];
            EXPECT_TRUE(u.x == v.x && u.y == v.y && u.dynamic == v.dynamic) << n << "/" << i;
            EXPECT_EQ(IndexOf(fa, u.followPoly), IndexOf(fb, v.followPoly));
        }
    }
    delete a;
    delete b;
}

TEST(SceneBuild, FailedAllocationReleasesWhatWasBuiltAndSaysSo)
{
    for (long fail_at = 0; fail_at < kFigures; ++fail_at) {
        polygon *list = nullptr;
        alloc_counter::Start();
        alloc_counter::FailNothrowFrom(fail_at);
        const bool built = BuildScene(&list);
        alloc_counter::Stop();
        EXPECT_FALSE(built) << fail_at;
        EXPECT_EQ(list, nullptr) << fail_at;
        EXPECT_EQ(alloc_counter::Allocations(), size_t(fail_at));
        EXPECT_EQ(alloc_counter::Releases(), size_t(fail_at));
        delete list;
    }
    // Built onto an existing list, a failure leaves that list as it was.
    polygon *base = new polygon;
    base->add(1.0f, 2.0f, false);
    polygon *list = base;
    alloc_counter::Start();
    alloc_counter::FailNothrowFrom(30);
    EXPECT_FALSE(BuildScene(&list));
    alloc_counter::Stop();
    EXPECT_EQ(list, base);
    EXPECT_EQ(base->next, nullptr);
    EXPECT_EQ(base->nvtx, 1);
    EXPECT_EQ(alloc_counter::Releases(), 30u);
    delete base;

    // One figure per allocation when nothing fails.
    list = nullptr;
    alloc_counter::Start();
    EXPECT_TRUE(BuildScene(&list));
    alloc_counter::Stop();
    EXPECT_EQ(alloc_counter::Allocations(), size_t(kFigures));
    EXPECT_EQ(alloc_counter::Releases(), 0u);
    delete list;
}

TEST(SceneBuild, DestroyingTheHeadReleasesEachFigureExactlyOnce)
{
    polygon *list = nullptr;
    ASSERT_TRUE(BuildScene(&list));
    const std::vector<polygon *> figs = InOrder(list);
    alloc_counter::Start();
    delete list;
    alloc_counter::Stop();
    ASSERT_EQ(alloc_counter::Releases(), size_t(kFigures));
    for (polygon *p : figs) {
        int seen = 0;
        for (size_t k = 0; k < alloc_counter::Releases(); ++k)
            seen += alloc_counter::Released()[k] == p;
        EXPECT_EQ(seen, 1);
    }
}

TEST(SceneStep, AFramesStepAllocatesNothing)
{
    polygon *list = nullptr;
    ASSERT_TRUE(BuildScene(&list));
    float velX = 0.03f;
    alloc_counter::Start();
    for (int frame = 0; frame < 300; ++frame) {
        if (frame % 100 == 0)
            velX = -velX;
        list->move(velX, -0.001f);
        list->rotate(0.002f);
        list->updateVtx();
        list->follow();
    }
    alloc_counter::Stop();
    EXPECT_EQ(alloc_counter::Allocations(), 0u);
    delete list;
}
