/* The drawing library's tests: worked values (numbers, and pictures of
 * curves), every call at every depth on maps of any layout against a per-pixel
 * reference, and every vector form of the row kernels against the scalar. */
#include "platform/multiprocessing.h"
#include "platform/qd_pixmap.h"
#include "qdmp/include/qdmp.h"
#include "qdmp/internal.h"
#include "qdmp/kernels.h"
#include "support/call_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using Values = std::vector<std::int64_t>;

Rect R(int top, int left, int bottom, int right)
{
    return Rect{SInt16(top), SInt16(left), SInt16(bottom), SInt16(right)};
}

Point P(int h, int v)
{
    return Point{SInt16(v), SInt16(h)};
}

Values operator+(Values a, const Values &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Values vals(const Rect &r)
{
    return {r.top, r.left, r.bottom, r.right};
}

Values vals(Point p)
{
    return {p.h, p.v};
}

Values vals(RGBColor c)
{
    return {c.red, c.green, c.blue};
}

/* A map from the platform's maker, disposed of at the end of the scope. */
struct Map {
    Map(int depth, Rect bounds, CTabHandle table = nullptr) : pm(QVPixMap_New(&bounds, SInt16(depth), 0, table)) {}
    ~Map() { QVPixMap_Dispose(pm); }
    Map(const Map &) = delete;
    operator PixMapHandle() const { return pm; }
    PixMapHandle pm;
};

const RGBColor kBlack{0, 0, 0}, kWhite{65535, 65535, 65535};

/* Each row's values are computed in order, as the table is made. */
TEST(QdmpWorked, Values)
{
    const Rect r = R(10, 20, 30, 60), one = R(0, 0, 1, 1), flat = R(0, 0, 0, 4), thin = R(0, 0, 4, 0);
    const RGBColor a{65535, 0, 1000}, b{0, 65535, 3000};
    const auto offset = [](Rect s, int dh, int dv) { return QDMP_Offset_Rect(&s, SInt16(dh), SInt16(dv)), vals(s); };
    const auto inset = [](Rect s, int dh, int dv) { return QDMP_Inset_Rect(&s, SInt16(dh), SInt16(dv)), vals(s); };
    const auto intersect = [](Rect s, Rect t) { // also without out, and into an input
        Rect o;
        const std::int64_t in[] = {QDMP_Intersect_Rects(&s, &t, nullptr), QDMP_Intersect_Rects(&s, &t, &o),
                           QDMP_Intersect_Rects(&s, &t, &s)};
        return Values{in[0], in[1]} + vals(o) + Values{in[2]} + vals(s);
    };
    const auto mid = [](Point p, Point q) { return vals(QDMP_MidPoint(p, q)); };
    const auto convert = [](RGBColor c) { return Values{RGBColorToColor16(&c), RGBColorToColor32(&c)}; };
    const auto mix = [](RGBColor c1, RGBColor c2, float t) { return vals(QDMP_Mix_RGBColors(c1, c2, t)); };
    const auto distance = [](RGBColor c1, RGBColor c2) { return std::int64_t(QDMP_RGBColorDistance(c1, c2)); };
    const auto blend = [](UInt32 s, UInt32 d) { return std::int64_t(qdmp::blend_pixel(s, d)); };
    // A map's stride plus its first pixel's offset from a 64-byte boundary; -1 for none.
    const auto made = [](PixMapHandle pm) {
        const std::int64_t stride = pm ? GetPixRowBytes(pm) + std::int64_t(std::uintptr_t(GetPixBaseAddr(pm)) % 64) : -1;
        QVPixMap_Dispose(pm);
        return stride;
    };
    // A table's size, and its first and last entries' red; -1 for none.
    const auto table = [](CTabHandle t) {
        const int n = t ? (*t)->ctSize + 1 : -1;
        const Values size = n <= 0 ? Values{n} : Values{n, (*t)->ctTable[0].rgb.red, (*t)->ctTable[n - 1].rgb.red};
        QVColorTable_Dispose(t);
        return size;
    };
    RGBColor entries[16] = {{0, 0, 0}, {1000, 1000, 1000}, {3000, 1000, 1000}, kWhite};
    const Map greys(8, one, QVColorTable_New(entries, 4));
    const auto nearest = [&](RGBColor c) { return std::int64_t(RGBColorToColor8(greys, &c)); };
    for (UInt16 i = 0; i < 16; ++i)
        entries[i] = RGBColor{i, UInt16(100 + i), UInt16(200 + i)};
    const Map sixteen(8, one, QVColorTable_New(entries, 16)), noTable(8, one), wide(16, one), deep(32, one), big(32, r);
    QDMP_Set_Pixel16(wide, 0, 0, 0xBC20);
    QDMP_Set_Pixel32(deep, 0, 0, 0xFF00FF80);
    const Map argb(32, one);
    const auto bytes = [&] { // of argb's pixel, once a colour is set
        const RGBColor c{0x1100, 0x2200, 0x3300};
        const UInt8 *b = (QDMP_Set_Pixel(argb, 0, 0, &c), reinterpret_cast<const UInt8 *>(GetPixBaseAddr(argb)));
        return Values{b[0], b[1], b[2], b[3]};
    };
    PixMapPtr missing = nullptr;
    Rect s;
    Point p;
    const std::int64_t kMax = std::numeric_limits<SInt32>::max();
    const struct {
        const char *what;
        Values got, want;
    } rows[] = {
        {"Set_Point gives h, v", vals(QDMP_Set_Point(nullptr, -3, 4)) + vals(QDMP_Set_Point(&p, 7, 5)), {-3, 4, 7, 5}},
        {"Set_Rect takes left, top, right, bottom; Set_Point stores h, v",
         (QDMP_Set_Rect(&s, 20, 10, 60, 30), vals(s) + vals(p)), {10, 20, 30, 60, 7, 5}},
        {"Offset_Rect, wrapping at 16 bits; Inset_Rect, growing by negative amounts, inverting past half",
         offset(r, 5, -3) + offset(R(32760, 0, 32767, 1), 0, 10) + inset(r, 2, 3) + inset(r, -2, -3) +
             inset(R(0, 0, 4, 4), 3, 3),
         {7, 25, 27, 65, -32766, 0, -32759, 1, 13, 22, 27, 58, 7, 18, 33, 62, 3, 3, 1, 1}},
        {"Intersect_Rects of overlapping rectangles, and of ones touching across or down",
         intersect(r, R(5, 3, 20, 30)) + intersect(r, R(0, 60, 40, 70)) + intersect(r, R(30, 0, 40, 70)),
         {1, 1, 10, 20, 20, 30, 1, 10, 20, 20, 30, 0, 0, 10, 60, 30, 60, 0, 10, 60, 30, 60,
          0, 0, 30, 20, 30, 60, 0, 30, 20, 30, 60}},
        {"PointInRect is half-open",
         {QDMP_PointInRect(P(20, 10), nullptr), QDMP_PointInRect(P(20, 10), &r), QDMP_PointInRect(P(59, 29), &r),
          QDMP_PointInRect(P(60, 29), &r), QDMP_PointInRect(P(59, 30), &r), QDMP_PointInRect(P(19, 10), &r),
          QDMP_PointInRect(P(20, 9), &r)},
         {0, 1, 1, 0, 0, 0, 0}},
        {"MidPoint rounds toward minus infinity without overflow",
         mid(P(-3, -3), P(0, 0)) + mid(P(1, 1), P(2, 2)) + mid(P(32767, -32768), P(32767, 32767)) +
             vals(QDMP_MidPointRect(&r)),
         {-2, -2, 1, 1, 32767, -1, 40, 20}},
        {"colours to 16 and 32 bits: each channel's top bits",
         convert({0xFFFF, 0x8000, 0}) + convert({0x1234, 0x5678, 0x9ABC}) + convert({0x7FF, 0x7FF, 0xFF}),
         {0x7E00, 0xFF8000, 2 << 10 | 10 << 5 | 19, 0x12569A, 0, 0x070700}},
        {"a colour's 32-bit pixel in memory: alpha, red, green, blue on a big-endian machine", bytes(),
         __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? Values{0, 0x11, 0x22, 0x33} : Values{0x33, 0x22, 0x11, 0}},
        {"the nearest table entry, the first of equally near ones; 255 without a map",
         {nearest({3000, 1000, 1000}), nearest({2000, 1000, 1000}), nearest({0xFFFE, 0xFFFF, 0xFFFF}),
          nearest({400, 400, 400}), nearest({0xFFFF, 0, 0xFFFF}), RGBColorToColor8(nullptr, &a),
          RGBColorToColor8(&missing, &a)},
         {2, 1, 3, 0, 3, 255, 255}},
        {"table entries by index modulo the table's size; black without a table",
         vals(FindColorByIndex(sixteen, 20)) + vals(FindColorByIndex(sixteen, -1)) +
             vals(FindColorByIndex(noTable, 3)) + vals(FindColorByIndex(nullptr, 3)),
         {4, 104, 204, 15, 115, 215, 0, 0, 0, 0, 0, 0}},
        {"a fill of 3200 bytes, packed rows filled as one block",
         (QDMP_Fill_Rect32(big, r, 0x12345678), Values{QDMP_Get_Pixel32(big, 20, 10), QDMP_Get_Pixel32(big, 59, 29)}),
         {0x12345678, 0x12345678}},
        {"blends",
         {blend(0x80FF0000, 0x000000FF), blend(0xFFFFFFFF, 0), blend(0xFFFFFFFF, 0xFF123456),
          blend(0x00ABCDEF, 0x80102030), blend(0, 0xFFFFFFFF)},
         {0x7F007E, 0xFEFEFE, 0xFEFEFE, 0x0F1F2F, 0xFEFEFE}},
        {"reductions of a, b above c, d: the halves of each byte's halves, rounded down",
         {qdmp::mip_pixel(0xFFFFFFFF, 0xFFFFFFFF, 0, 0), qdmp::mip_pixel(0x01010101, 0x01010101, 0, 0),
          qdmp::mip_pixel(0xFF01C803, 0xFF016403, 0xFF013200, 0xFF010000)},
         {0x7F7F7F7F, 0, 0xFE005701}},
        {"Mix_RGBColors, in single precision, of the fraction of t only",
         mix(kBlack, kWhite, 0.5f) + mix(a, b, 0.25f) + mix(a, b, 1.25f) + mix(a, b, 1.0f) + mix(a, b, 1e30f) +
             mix({100, 100, 100}, {100, 100, 100}, 0.33f) + mix(kBlack, kWhite, -0.25f) +
             mix(a, b, std::nanf("")) + mix(a, b, std::numeric_limits<float>::infinity()),
         {32767, 32767, 32767, 49151, 16383, 1500, 49151, 16383, 1500, 65535, 0, 1000, 65535, 0, 1000,
          99, 99, 99, 49153, 49153, 49153, 65535, 0, 1000, 65535, 0, 1000}},
        {"RGBColorDistance",
         {distance(kBlack, kWhite), distance(kWhite, kBlack), distance(kBlack, {3, 4, 0}), distance(kBlack, {1, 1, 1}),
          distance({65535, 0, 0}, {0, 65535, 0}), distance({500, 600, 700}, {400, 600, 1000})},
         {113509, 113509, 5, 1, 92680, 316}},
        // The generator has no seeding call, and this is the only row of this
        // program that draws numbers: it starts from the state at load.
        {"RandomSInt16 from load, and ranges: (42, 42) takes one step, (7, 7) three",
         {QDMP_RandomSInt16(), QDMP_RandomSInt16(), QDMP_RandomSInt16(), QDMP_RandomSInt16(), QDMP_RandomSInt16(),
          QDMP_Random_RangeSInt16(1, 7), QDMP_Random_RangeSInt16(5, 6), QDMP_Random_RangeSInt16(10, 5),
          QDMP_Random_RangeSInt16(42, 42), QDMP_RandomSInt16(), QDMP_Random_RangeSInt32(-1000, 1000),
          QDMP_Random_RangeSInt32(7, 7), QDMP_RandomSInt16(), QDMP_Random_RangeSInt32(5, 4),
          QDMP_Random_RangeSInt32(5, 4), QDMP_Random_RangeSInt32(5, 4), QDMP_Random_RangeSInt32(-kMax - 1, kMax),
          QDMP_Random_RangeSInt32(kMax - 3, kMax), QDMP_Random_RangeSInt16(-32768, 32767), QDMP_RandomSInt16()},
         {13332, 11979, 17744, 29613, 3300, 1, 5, 14, 42, -22059, 1, 7, -5931, 4, 4, 5, -983562503, kMax - 3, -20667,
          -18466}},
        {"maps of 8, 16, 32 bits, packed or of a stride given; none without bounds, for empty ones, at 24 "
         "bits, or for a stride too small",
         {made(QVPixMap_New(&r, 8, 0, nullptr)), made(QVPixMap_New(&r, 16, 0, nullptr)),
          made(QVPixMap_New(&r, 32, 0, nullptr)), made(QVPixMap_New(&r, 16, 96, QVColorTable_NewGrayRamp(2))),
          made(QVPixMap_New(nullptr, 32, 0, nullptr)), made(QVPixMap_New(&flat, 32, 0, nullptr)),
          made(QVPixMap_New(&thin, 32, 0, nullptr)), made(QVPixMap_New(&r, 24, 0, nullptr)),
          made(QVPixMap_New(&r, 16, 79, QVColorTable_NewGrayRamp(2)))},
         {40, 80, 160, 96, -1, -1, -1, -1, -1}},
        {"Get_Pixel(P): the table entry, entry 0 outside; each channel widened; black for no map",
         vals(QDMP_Get_Pixel(sixteen, 0, 0)) + vals(QDMP_Get_PixelP(sixteen, P(0, 1))) +
             vals(QDMP_Get_Pixel(noTable, 0, 0)) + vals(QDMP_Get_Pixel(wide, 0, 0)) + vals(QDMP_Get_Pixel(deep, 0, 0)) +
             vals(QDMP_Get_Pixel(&missing, 0, 0)),
         {0, 100, 200, 0, 100, 200, 0, 0, 0, 0x780F, 0x0801, 0, 0, 0xFFFF, 0x8080, 0, 0, 0}},
        {"tables of 0 to 256 entries and grey ramps of 1 to 256, evenly spaced",
         table(QVColorTable_New(entries, 3)) + table(QVColorTable_New(nullptr, 0)) +
             table(QVColorTable_New(nullptr, 256)) + table(QVColorTable_NewGrayRamp(5)) +
             table(QVColorTable_NewGrayRamp(1)) + table(QVColorTable_New(nullptr, 257)) +
             table(QVColorTable_New(nullptr, -1)) + table(QVColorTable_NewGrayRamp(0)) +
             table(QVColorTable_NewGrayRamp(257)),
         {3, 0, 2, 0, 256, 0, 0, 5, 0, 65535, 1, 0, 0, -1, -1, -1, -1}},
        {"QDMP_Init without the services probe", {&_MPIsFullyInitialized == nullptr, QDMP_Init(), gMP_Flag}, {1, 0, 0}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.got, row.want) << row.what;
}

/* Pictures of a 9 x 7 map from (0, 0): rows separated by '/', '#' for a
 * pixel of kInk, '.' for 0. Curves are not among the randomized calls. */
const RGBColor kInk{0, 0, 0x2300}; // '#' at 32 bits

std::string picture(PixMapHandle pm)
{
    std::string out;
    for (int v = 0; v < 7; ++v)
        for (int h = 0; h < 9; ++h) {
            const UInt32 x = QDMP_Get_Pixel32(pm, SInt16(h), SInt16(v));
            out += std::string(v && !h ? "/" : "") + (x == 0 ? '.' : x < 128 ? char(x) : '?');
        }
    return out;
}

TEST(QdmpWorked, Curves)
{
    const struct {
        const char *what;
        std::function<void(PixMapHandle)> draw;
        const char *want;
    } drawings[] = {
        {"a short curve is its four control legs; a curve of one point, that point", [](PixMapHandle d) {
             QDMP_Draw_Curve(d, P(0, 0), P(4, 8), P(8, 0), &kInk);
             QDMP_Draw_Curve(d, P(8, 6), P(8, 6), P(8, 6), &kInk);
         }, "#.......#/#......#./.#.....#./.#....#../..#####../........./........#"},
        {"a curve pulled far is halved until each half spans at most 10 pixels, then drawn as its legs",
         [](PixMapHandle d) { QDMP_Draw_Curve(d, P(0, 6), P(18, -14), P(1, 6), &kInk); },
         "....#.#../....##.../...##..../..#.#..../.#.#...../.##....../##......."},
    };
    for (const auto &drawing : drawings) {
        const Map dst(32, R(0, 0, 7, 9));
        drawing.draw(dst);
        EXPECT_EQ(picture(dst), drawing.want) << drawing.what;
    }
}

TEST(QdmpRandomized, CallsMatchTheReferenceInsideTheGuards)
{
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        std::mt19937 rng(seed);
        const std::function<UInt32()> next = [&rng] { return UInt32(rng()); };
        EXPECT_EQ(qvtest::check_random_calls(next, next, [](int n) { return n < 5000; }), "") << "seed " << seed;
    }
}

/* Every form of each row kernel beside its kind's scalar form (which the
 * worked values and the randomized run pin): random bytes, every length up to
 * two rounds of the widest unrolled loop (a fill's 128 bytes) and more, every
 * offset from the alignment, the bytes around left alone. */
TEST(QdmpKernels, EveryFormMatchesTheScalarOne)
{
    using Run = std::function<void(const char *a, const char *b, char *out, int n)>;
    std::vector<std::vector<std::pair<std::string, Run>>> kinds(3);
    for (const qdmp::FillKernel &k : qdmp::fill_kernels()) // a pattern made from a laid over 2n bytes of out
        kinds[0].push_back({k.name, [k](const char *a, const char *, char *out, int n) {
                                k.run(out, 2 * size_t(n), 0x9E3779B9u * UInt32(a[0]));
                            }});
    for (const qdmp::BlendKernel &k : qdmp::blend_kernels()) // n pixels of a over out
        kinds[1].push_back({k.name, [k](const char *a, const char *, char *out, int n) { k.run(a, out, n); }});
    for (const qdmp::MipKernel &k : qdmp::mip_kernels()) // 2n pixels of a above 2n of b into n of out
        kinds[2].push_back({k.name, k.run});
    std::independent_bits_engine<std::mt19937, 8, unsigned> rng(7);
    for (const auto &forms : kinds)
        for (int n = 0; n <= 136; ++n)
            for (size_t offset = 0; offset < 4; ++offset) {
                std::vector<char> a(8 * size_t(n) + 8), b(a.size()), out(a.size()), want, got;
                for (std::vector<char> *bytes : {&a, &b, &out})
                    std::generate(bytes->begin(), bytes->end(), [&rng] { return char(rng()); });
                forms[0].second(&a[offset], &b[offset], &(want = out)[offset], n);
                for (const auto &form : forms) {
                    form.second(&a[offset], &b[offset], &(got = out)[offset], n);
                    ASSERT_EQ(got, want) << form.first << " on " << n << " at offset " << offset;
                }
            }
}

} // namespace
