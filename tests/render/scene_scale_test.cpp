// The bass level scales the scene about the centre of the view: a loud
// spectrum grows it towards 2.245, silence brings it back to 1.0.
#include <gtest/gtest.h>

#include <cmath>

#include "support/image_io.h"
#include "render/render_session.h"

namespace rendertest {
namespace {

constexpr int kSize = 400; // square view: 20 units, 20 pixels per unit
constexpr int kSettle = 60;

// The smoothing as designed: an eighth of the way per frame towards
// 1 + level / 16, in single precision.
float NextScale(float scale, float level)
{
    return (scale * 7.0f) / 8.0f + ((level / 16.0f) + 1.0f) / 8.0f;
}

// One render message at `level`, then idle ticks: a single new peak (both
// levels count as one, the peak memory starting below zero), so the motion
// is the same whatever the level and only the scale differs.
Image RunAfterOneMessage(UInt8 level, int idles, RenderSession &session)
{
    session.render(Spectrum::Level(level));
    for (int i = 0; i < idles; ++i)
        session.idle();
    return session.frame();
}

// Share of pixels of `big` that disagree with `small` magnified by `scale`
// about the centre, leaving out the message image's corner.
double MismatchAtScale(const Image &big, const Image &small, double scale)
{
    long compared = 0, differ = 0;
    const double c = kSize / 2.0;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            if (x > kSize - 120 && y > kSize - 50)
                continue;
            const int sx = static_cast<int>(std::floor(c + (x + 0.5 - c) / scale));
            const int sy = static_cast<int>(std::floor(c + (y + 0.5 - c) / scale));
            ++compared;
            differ += ChannelDistance(big.at(x, y), small.at(sx, sy)) > 24;
        }
    }
    return static_cast<double>(differ) / static_cast<double>(compared);
}

TEST(SceneScale, LoudGrowsTowardsTheTopScaleAndSilenceSettlesBack)
{
    FixedClock clock(0);
    const float loudLevel = 40 * 255 / 512.0f; // 19.921875
    float loudScale = 1.0f;
    for (int i = 0; i <= kSettle; ++i) // the show frame has no data yet: level 0, scale 1
        loudScale = NextScale(loudScale, i == 0 ? 0.0f : loudLevel);
    EXPECT_NEAR(loudScale, 2.2451171875f, 0.001f);

    Image loud, loudThenQuiet, quiet, quietLonger;
    {
        ASSERT_TRUE(RenderSession::BundleUnloaded()) << "fresh renderer statics are needed";
        RenderSession session(kSize, kSize);
        ASSERT_TRUE(session.ok());
        ASSERT_EQ(session.show(), noErr);
        loud = RunAfterOneMessage(255, kSettle - 1, session);
        loudThenQuiet = RunAfterOneMessage(0, 200, session);
    }
    {
        ASSERT_TRUE(RenderSession::BundleUnloaded()) << "fresh renderer statics are needed";
        RenderSession session(kSize, kSize);
        ASSERT_TRUE(session.ok());
        ASSERT_EQ(session.show(), noErr);
        quiet = RunAfterOneMessage(0, kSettle - 1, session);
        quietLonger = RunAfterOneMessage(0, 200, session);
    }

    // The loud frame is the quiet one magnified by the smoothed scale, and
    // clearly not by a scale 10% off either way, nor unscaled.
    const double atScale = MismatchAtScale(loud, quiet, loudScale);
    EXPECT_LT(atScale, 0.03);
    EXPECT_LT(atScale * 3, MismatchAtScale(loud, quiet, loudScale * 1.1));
    EXPECT_LT(atScale * 3, MismatchAtScale(loud, quiet, loudScale / 1.1));
    EXPECT_LT(atScale * 3, MismatchAtScale(loud, quiet, 1.0));

    // After 201 quiet frames what is left of the rise, (7/8)^201 of it, is
    // below single precision: the frame matches the run that never was loud,
    // but for a few pixels on the edges of shapes.
    const Comparison settled = Compare(loudThenQuiet, quietLonger, 2);
    EXPECT_LT(settled.beyondTolerance, kSize * kSize / 500) << "largest difference " << settled.largest;
}

} // namespace
} // namespace rendertest
