/* The round trip: the source dump of the built-in scene, compiled into this
 * program, rebuilds the same list once the ties and rest distances are added
 * as the scene adds them. */
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "figures/polygon.h"
#include "figures/scene.h"
#include "figures/scene_table.h"

using namespace scene_table;

namespace {

/* The dump, as it was written by the built scene's own dump. */
polygon *Replay()
{
    polygon *polys = nullptr;
    polygon *active = nullptr;
#include "scene_dump.inc"
    (void)active;
    return polys;
}

std::vector<polygon *> InOrder(polygon *head)
{
    std::vector<polygon *> v;
    for (polygon *p = head; p; p = p->next)
        v.push_back(p);
    std::reverse(v.begin(), v.end());
    return v;
}

int IndexOf(const std::vector<polygon *> &figs, const polygon *p)
{
    for (size_t i = 0; i < figs.size(); ++i)
        if (figs[i] == p)
            return int(i);
    return -1;
}

std::string Six(float v)
{
    char text[64];
    snprintf(text, sizeof text, "%f", v);
    return text;
}

} // namespace

TEST(SceneReplay, DumpRebuildsTheBuiltInScene)
{
    polygon *replayed = Replay();
    ASSERT_NE(replayed, nullptr);
    std::vector<polygon *> rf = InOrder(replayed);
    ASSERT_EQ(rf.size(), 57u);
    // The text carries no ties and no rest distances: add them as the scene does.
    for (int h = 0; h < 28; ++h)
        rf[29 + h]->setFollow(0, rf[3 + kHeads[h].stalk], 4);
    replayed->calcDists();

    polygon *built = nullptr;
    ASSERT_TRUE(BuildScene(&built));
    std::vector<polygon *> bf = InOrder(built);
    ASSERT_EQ(bf.size(), rf.size());

    for (size_t n = 0; n < bf.size(); ++n) {
        SCOPED_TRACE("figure " + std::to_string(n));
        const polygon &a = *bf[n], &b = *rf[n];
        EXPECT_EQ(Six(a.r), Six(b.r));
        EXPECT_EQ(Six(a.g), Six(b.g));
        EXPECT_EQ(Six(a.b), Six(b.b));
        EXPECT_EQ(Six(a.a), Six(b.a));
        ASSERT_EQ(a.nvtx, b.nvtx);
        for (int i = 0; i < a.nvtx; ++i) {
            const polygon::vertex &u = a.vtx[i], &v = b.vtx[i];
            EXPECT_EQ(u.dynamic != 0, v.dynamic != 0) << i;
            EXPECT_EQ(Six(u.x), Six(v.x)) << i;
            EXPECT_EQ(Six(u.y), Six(v.y)) << i;
            EXPECT_EQ(IndexOf(bf, u.followPoly), IndexOf(rf, v.followPoly)) << i;
            if (u.followPoly) {
                EXPECT_EQ(u.followIdx, v.followIdx) << i;
            }
            if (!u.dynamic)
                continue;
            for (int o : dist_idx) {
                if (i + o >= 0 && i + o < a.nvtx) {
                    EXPECT_EQ(Six(u.dist[o + 2]), Six(v.dist[o + 2])) << i << " offset " << o;
                }
            }
        }
    }

    // Both move alike from here on.
    for (int frame = 0; frame < 50; ++frame) {
        for (polygon *head : {built, replayed}) {
            head->move(0.03f, -0.01f);
            head->rotate(0.002f);
            head->updateVtx();
            head->follow();
        }
    }
    for (size_t n = 0; n < bf.size(); ++n)
        for (int i = 0; i < bf[n]->nvtx; ++i) {
            EXPECT_EQ(Six(bf[n]->vtx[i].x), Six(rf[n]->vtx[i].x)) << n << "/" << i;
            EXPECT_EQ(Six(bf[n]->vtx[i].y), Six(rf[n]->vtx[i].y)) << n << "/" << i;
        }
    delete built;
    delete replayed;
}
