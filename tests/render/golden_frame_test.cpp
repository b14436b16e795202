// Frame 300 of a fixed run matches the stored reference picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/image_io.h"
#include "render/render_session.h"

namespace rendertest {
namespace {

// The run: a 480 x 270 port, the clock fixed in the third colour slot, and a
// spectrum that swells and falls with a sharp burst every 64 messages, so
// that peaks reverse the drift and the scale rises and settles; every fifth
// message is an idle tick. "show" draws frame 1; 299 messages follow.
constexpr int kFrames = 300;
constexpr time_t kClock = 12;

Spectrum SpectrumFor(int message)
{
    Spectrum s;
    const bool burst = message % 64 < 3;
    for (int i = 0; i < 40; ++i)
        s.bass[i] = static_cast<UInt8>(burst ? 230 - i : (message * 7 + i * 13) % 90);
    return s;
}

// Channels may differ by this much (rounding of a different GL build), and
// this share of pixels by more (the edges of shapes).
constexpr int kTolerance = 3;
constexpr double kEdgeShare = 0.005;

TEST(GoldenFrame, Frame300MatchesReference)
{
    ASSERT_TRUE(RenderSession::BundleUnloaded()) << "fresh renderer statics are needed";
    FixedClock clock(kClock);
    RenderSession session(480, 270);
    ASSERT_TRUE(session.ok());
    ASSERT_EQ(session.show(), noErr);
    for (int message = 1; message < kFrames; ++message) {
        if (message % 5 == 0)
            ASSERT_EQ(session.idle(), noErr);
        else
            ASSERT_EQ(session.render(SpectrumFor(message)), noErr);
    }
    ASSERT_EQ(session.frames().size(), static_cast<size_t>(kFrames));
    const Image actual = session.frame();

    const std::string golden = std::string(QV_RENDER_GOLDEN_DIR) + "/frame300.png";
    if (std::getenv("QV_UPDATE_GOLDEN") != nullptr) {
        ASSERT_TRUE(WritePng(golden, actual));
        GTEST_SKIP() << "reference picture rewritten: " << golden;
    }
    Image expected;
    ASSERT_TRUE(ReadPng(golden, expected)) << golden;
    ASSERT_EQ(actual.width, expected.width);
    ASSERT_EQ(actual.height, expected.height);
    const Comparison c = Compare(actual, expected, kTolerance);
    const long allowed = static_cast<long>(kEdgeShare * static_cast<double>(c.pixels));
    if (c.beyondTolerance > allowed) {
        const std::string dir = OutputDir();
        WritePng(dir + "/frame300.actual.png", actual);
        WritePng(dir + "/frame300.diff.png", Difference(actual, expected, 8));
        ADD_FAILURE() << c.beyondTolerance << " pixels differ by more than " << kTolerance << " (allowed " << allowed
                      << ", largest difference " << c.largest << "); actual and difference images written to "
                      << dir;
    }
}

} // namespace
} // namespace rendertest
