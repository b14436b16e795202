// The per-frame motion as seen in the instance state: bounces, spin
// reversals, and what of the render record turns into a new peak.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "render/render_session.h"

namespace rendertest {
namespace {

// Frame numbers (the show frame is 1) on which the sign of a motion field
// flips, over `frames` frames without audio.
struct Flips {
    std::vector<int> spin, velX;
};

Flips WatchFlips(RenderSession &session, int frames)
{
    Flips f;
    float spin = session.state()->spin, velX = session.state()->velX;
    for (int frame = 2; frame <= frames; ++frame) {
        session.idle();
        const VisualPluginState *s = session.state();
        if ((s->spin < 0) != (spin < 0))
            f.spin.push_back(frame);
        if ((s->velX < 0) != (velX < 0))
            f.velX.push_back(frame);
        spin = s->spin;
        velX = s->velX;
    }
    return f;
}

TEST(Motion, BouncesComeOnTheirFrames)
{
    RenderSession session(48, 32);
    ASSERT_TRUE(session.ok());
    ASSERT_EQ(session.show(), noErr);
    // The show frame already fell once: velY is one step down.
    EXPECT_EQ(session.state()->posY, 3.0f);
    EXPECT_EQ(session.state()->velY, static_cast<float>(0.0f - 0.001));
    const Flips f = WatchFlips(session, 700);
    // Rebound on the floor on frame 78, then every 155 frames, each turning
    // the spin round; side rebounds on frame 201, then every 268 frames.
    EXPECT_EQ(f.spin, (std::vector<int>{78, 233, 388, 543, 698}));
    EXPECT_EQ(f.velX, (std::vector<int>{201, 469}));
    EXPECT_NEAR(session.state()->posY, 1.5, 1.6); // stays between the floor and about 3
}

TEST(Motion, OnlyTheFortyLowestEntriesOfChannelZeroMakeAPeak)
{
    ASSERT_TRUE(RenderSession::BundleUnloaded()) << "fresh renderer statics are needed";
    RenderSession session(48, 32);
    ASSERT_TRUE(session.ok());
    ASSERT_EQ(session.show(), noErr);
    const float velX = session.state()->velX;

    // Without a spectrum channel the record carries no data: no peak, even
    // though the peak memory starts below zero.
    RenderData data{};
    std::memset(data.spectrumData, 255, sizeof data.spectrumData);
    data.numSpectrumChannels = 0;
    ASSERT_EQ(session.render(data), noErr);
    EXPECT_EQ(session.state()->velX, velX);

    // A level of 40 x 100 / 512: the first peak after loading, it reverses.
    std::memset(data.spectrumData, 0, sizeof data.spectrumData);
    std::memset(data.spectrumData[0], 100, 40);
    data.numSpectrumChannels = 2;
    ASSERT_EQ(session.render(data), noErr);
    EXPECT_EQ(session.state()->velX, -velX);

    // Loud bytes beyond entry 39 and in channel 1, silence below: level 0,
    // no new peak.
    std::memset(data.spectrumData, 255, sizeof data.spectrumData);
    std::memset(data.spectrumData[0], 0, 40);
    ASSERT_EQ(session.render(data), noErr);
    EXPECT_EQ(session.state()->velX, -velX);

    // One louder byte among the forty is a new peak.
    data.spectrumData[0][39] = 255;
    std::memset(data.spectrumData[0], 100, 39);
    ASSERT_EQ(session.render(data), noErr);
    EXPECT_EQ(session.state()->velX, velX);

    // A weaker level after the peak has decayed a little is none.
    std::memset(data.spectrumData[0], 100, 40);
    ASSERT_EQ(session.render(data), noErr);
    EXPECT_EQ(session.state()->velX, velX);
}

} // namespace
} // namespace rendertest
