#include "qdmp/include/qdmp.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace {

/* The generator's state belongs to the loaded library and has no seeding
 * call. Each check that starts "from the initial state" runs in a child
 * process forked from this one, which never draws a number itself. */
std::vector<long> from_initial_state(const std::function<std::vector<long>()> &draw)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::vector<long> values = draw();
        const ssize_t want = static_cast<ssize_t>(values.size() * sizeof(long));
        const ssize_t wrote = values.empty() ? 0 : write(fds[1], values.data(), static_cast<size_t>(want));
        _exit(wrote == want ? 0 : 1);
    }
    close(fds[1]);
    std::vector<long> values;
    long v;
    while (read(fds[0], &v, sizeof v) == static_cast<ssize_t>(sizeof v))
        values.push_back(v);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return values;
}

const std::vector<long> kFirstValues = {13332, 11979, 17744, 29613, 3300};

TEST(QdmpRandom, SequenceFromLoad)
{
    EXPECT_EQ(from_initial_state([] {
                  std::vector<long> out;
                  for (int i = 0; i < 5; ++i)
                      out.push_back(QDMP_RandomSInt16());
                  return out;
              }),
              kFirstValues);
}

TEST(QdmpRandom, WorkedRanges)
{
    EXPECT_EQ(from_initial_state([] {
                  std::vector<long> out;
                  for (int i = 0; i < 5; ++i)
                      out.push_back(QDMP_Random_RangeSInt16(1, 7));
                  return out;
              }),
              (std::vector<long>{2, 5, 4, 5, 2}));
    EXPECT_EQ(from_initial_state([] {
                  std::vector<long> out;
                  for (int i = 0; i < 3; ++i)
                      out.push_back(QDMP_Random_RangeSInt32(-1000, 1000));
                  return out;
              }),
              (std::vector<long>{-155, -544, 233}));
}

TEST(QdmpRandom, DegenerateRangesGiveTheirEndAndStillAdvance)
{
    // hi == lo would divide by zero: lo comes back and one step is used.
    EXPECT_EQ(from_initial_state([] {
                  const long a = QDMP_Random_RangeSInt16(42, 42);
                  return std::vector<long>{a, QDMP_RandomSInt16()};
              }),
              (std::vector<long>{42, kFirstValues[1]}));
    // (7, 7) gives 7 and uses three steps.
    EXPECT_EQ(from_initial_state([] {
                  const long a = QDMP_Random_RangeSInt32(7, 7);
                  return std::vector<long>{a, QDMP_RandomSInt16()};
              }),
              (std::vector<long>{7, kFirstValues[3]}));
    // The full 32-bit range has 2^32 values: the span wraps to 0 and every
    // drawn word is taken as it is, offset by lo.
    const UInt32 x = (static_cast<UInt32>(kFirstValues[0]) << 16) ^ (static_cast<UInt32>(kFirstValues[1]) << 8) ^
                     static_cast<UInt32>(kFirstValues[2]);
    const long full = static_cast<long>(static_cast<SInt32>(x + 0x80000000u));
    EXPECT_EQ(from_initial_state([] {
                  return std::vector<long>{QDMP_Random_RangeSInt32(std::numeric_limits<SInt32>::min(),
                                                                   std::numeric_limits<SInt32>::max())};
              }),
              (std::vector<long>{full}));
}

TEST(QdmpRandom, RangesStayInside)
{
    const std::vector<long> checks = from_initial_state([] {
        std::vector<long> bad;
        std::vector<int> seen(6, 0);
        for (int i = 0; i < 20000; ++i) {
            const SInt16 a = QDMP_Random_RangeSInt16(0, 6);
            if (a < 0 || a > 5)
                bad.push_back(a);
            else
                seen[static_cast<size_t>(a)]++;
            if (QDMP_Random_RangeSInt16(5, 6) != 5)
                bad.push_back(1000);
            const SInt16 r = QDMP_Random_RangeSInt16(10, 5); // reversed: 10 .. 14
            if (r < 10 || r > 14)
                bad.push_back(r);
            const SInt32 w = QDMP_Random_RangeSInt32(-5, 1000000);
            if (w < -5 || w > 1000000)
                bad.push_back(w);
            const SInt32 rev = QDMP_Random_RangeSInt32(5, 4); // span wraps to 0
            if (rev != 5 && rev != 4)
                bad.push_back(rev);
            const SInt32 top = QDMP_Random_RangeSInt32(std::numeric_limits<SInt32>::max() - 3,
                                                       std::numeric_limits<SInt32>::max());
            if (top < std::numeric_limits<SInt32>::max() - 3)
                bad.push_back(top);
        }
        for (int count : seen)
            if (count == 0)
                bad.push_back(-1); // some value of 0..5 never came up
        return bad;
    });
    EXPECT_TRUE(checks.empty()) << checks.size() << " values out of range, first " << (checks.empty() ? 0 : checks[0]);
}

bool same(RGBColor a, RGBColor b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

TEST(QdmpMix, WorkedValues)
{
    const RGBColor black{0, 0, 0}, white{65535, 65535, 65535};
    const RGBColor a{65535, 0, 1000}, b{0, 65535, 3000};
    const RGBColor hundred{100, 100, 100};
    struct Case {
        const char *what;
        RGBColor c1, c2;
        float t;
        RGBColor out;
    } const cases[] = {
        {"halfway", black, white, 0.5f, {32767, 32767, 32767}},
        {"a quarter", a, b, 0.25f, {49151, 16383, 1500}},
        {"t = 1 counts as 0", a, b, 1.0f, a},
        {"t = 0", a, b, 0.0f, a},
        {"only the fraction counts", a, b, 1.25f, {49151, 16383, 1500}},
        {"single precision weights", hundred, hundred, 0.33f, {99, 99, 99}},
        {"negative t extrapolates and wraps", black, white, -0.25f, {49153, 49153, 49153}},
        {"not a number leaves c1", a, b, std::nanf(""), a},
        {"infinity leaves c1", a, b, std::numeric_limits<float>::infinity(), a},
        {"huge t has no fraction", a, b, 1e30f, a},
    };
    for (const Case &c : cases) {
        const RGBColor got = QDMP_Mix_RGBColors(c.c1, c.c2, c.t);
        EXPECT_TRUE(same(got, c.out)) << c.what << ": " << got.red << "," << got.green << "," << got.blue;
    }
}

TEST(QdmpMix, InUnitIntervalStaysBetweenTheInputs)
{
    const RGBColor c1{0, 65535, 40000}, c2{65535, 0, 40001};
    for (int i = 0; i < 1000; ++i) {
        const float t = static_cast<float>(i) / 1000.0f;
        const RGBColor m = QDMP_Mix_RGBColors(c1, c2, t);
        EXPECT_LE(m.blue, 40001) << t;
        EXPECT_GE(m.blue, 39999) << t;
    }
}

TEST(QdmpDistance, WorkedValues)
{
    const RGBColor black{0, 0, 0}, white{65535, 65535, 65535};
    struct Case {
        RGBColor a, b;
        UInt32 d;
    } const cases[] = {
        {black, white, 113509},
        {white, black, 113509},
        {black, {3, 4, 0}, 5},
        {black, {1, 1, 1}, 1},
        {{65535, 0, 0}, {0, 65535, 0}, 92680}, // 65535 * sqrt(2) = 92680.2
        {{500, 600, 700}, {500, 600, 700}, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(QDMP_RGBColorDistance(c.a, c.b), c.d);
        EXPECT_EQ(QDMP_RGBColorDistance(c.b, c.a), c.d) << "symmetric";
    }
}

} // namespace
