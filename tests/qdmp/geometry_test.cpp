#include "qdmp/include/qdmp.h"

#include <gtest/gtest.h>

namespace {

Rect R(int top, int left, int bottom, int right)
{
    Rect r;
    r.top = static_cast<SInt16>(top);
    r.left = static_cast<SInt16>(left);
    r.bottom = static_cast<SInt16>(bottom);
    r.right = static_cast<SInt16>(right);
    return r;
}

Point P(int h, int v)
{
    Point p;
    p.h = static_cast<SInt16>(h);
    p.v = static_cast<SInt16>(v);
    return p;
}

bool same(const Rect &a, const Rect &b)
{
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

TEST(QdmpGeometry, SetRectStoresArgumentsInFieldOrderUnchecked)
{
    Rect r;
    QDMP_Set_Rect(&r, 20, 10, 60, 30); // left, top, right, bottom
    EXPECT_TRUE(same(r, R(10, 20, 30, 60)));
    QDMP_Set_Rect(&r, 50, 40, 5, 4); // inverted: kept as given
    EXPECT_TRUE(same(r, R(40, 50, 4, 5)));
}

TEST(QdmpGeometry, OffsetAndInset)
{
    struct Case {
        const char *what;
        bool inset;
        Rect in;
        int dh, dv;
        Rect out;
    };
    const Case cases[] = {
        {"offset moves all sides", false, R(10, 20, 30, 60), 5, -3, R(7, 25, 27, 65)},
        {"offset wraps at 16 bits", false, R(32760, 0, 32767, 1), 0, 10, R(-32766, 0, -32759, 1)},
        {"inset shrinks", true, R(10, 20, 30, 60), 2, 3, R(13, 22, 27, 58)},
        {"negative inset grows", true, R(10, 20, 30, 60), -2, -3, R(7, 18, 33, 62)},
        {"inset past half inverts", true, R(0, 0, 4, 4), 3, 3, R(3, 3, 1, 1)},
    };
    for (const Case &c : cases) {
        Rect r = c.in;
        if (c.inset)
            QDMP_Inset_Rect(&r, static_cast<SInt16>(c.dh), static_cast<SInt16>(c.dv));
        else
            QDMP_Offset_Rect(&r, static_cast<SInt16>(c.dh), static_cast<SInt16>(c.dv));
        EXPECT_TRUE(same(r, c.out)) << c.what << ": " << r.top << "," << r.left << "," << r.bottom << "," << r.right;
    }
}

TEST(QdmpGeometry, IntersectRects)
{
    struct Case {
        const char *what;
        Rect a, b;
        int result;
        Rect stored;
    };
    const Case cases[] = {
        {"overlap", R(0, 0, 10, 10), R(5, 3, 20, 8), 1, R(5, 3, 10, 8)},
        {"inside", R(-5, -5, 5, 5), R(-1, -2, 1, 2), 1, R(-1, -2, 1, 2)},
        {"touching edge a.right == b.left", R(0, 0, 10, 10), R(0, 10, 10, 20), 0, R(0, 10, 10, 10)},
        {"disjoint stores inverted", R(0, 0, 5, 5), R(10, 10, 20, 20), 0, R(10, 10, 5, 5)},
        {"extreme coordinates", R(-32768, -32768, 32767, 32767), R(32766, -32768, 32767, -32767), 1,
         R(32766, -32768, 32767, -32767)},
    };
    for (const Case &c : cases) {
        Rect out = R(1, 2, 3, 4);
        EXPECT_EQ(QDMP_Intersect_Rects(&c.a, &c.b, &out), c.result) << c.what;
        EXPECT_TRUE(same(out, c.stored)) << c.what;
        EXPECT_EQ(QDMP_Intersect_Rects(&c.a, &c.b, nullptr), c.result) << c.what << " (no out)";
        Rect a = c.a; // out may be one of the inputs
        EXPECT_EQ(QDMP_Intersect_Rects(&a, &c.b, &a), c.result) << c.what;
        EXPECT_TRUE(same(a, c.stored)) << c.what << " (out is a)";
        Rect b = c.b;
        EXPECT_EQ(QDMP_Intersect_Rects(&c.a, &b, &b), c.result) << c.what;
        EXPECT_TRUE(same(b, c.stored)) << c.what << " (out is b)";
    }
}

TEST(QdmpGeometry, PointInRectIsHalfOpen)
{
    const Rect r = R(10, 20, 30, 60);
    struct Case {
        Point p;
        int in;
    } const cases[] = {
        {P(20, 10), 1}, {P(59, 29), 1}, {P(60, 29), 0}, {P(59, 30), 0},
        {P(60, 30), 0}, {P(19, 10), 0}, {P(20, 9), 0},  {P(-32768, -32768), 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(QDMP_PointInRect(c.p, &r), c.in) << c.p.h << "," << c.p.v;
    EXPECT_EQ(QDMP_PointInRect(P(20, 10), nullptr), 0);
}

TEST(QdmpGeometry, SetPointAndMidpoints)
{
    Point stored = P(9, 9);
    const Point p = QDMP_Set_Point(&stored, 7, 5);
    EXPECT_EQ(p.h, 7);
    EXPECT_EQ(p.v, 5);
    EXPECT_EQ(stored.h, 7);
    EXPECT_EQ(stored.v, 5);
    EXPECT_EQ(QDMP_Set_Point(nullptr, -3, 4).v, 4);

    struct Case {
        Point a, b, mid;
    } const cases[] = {
        {P(-3, -3), P(0, 0), P(-2, -2)},
        {P(1, 1), P(2, 2), P(1, 1)},
        {P(32767, 32767), P(32767, 32767), P(32767, 32767)}, // no overflow in the sum
        {P(-32768, 32767), P(-32768, -32768), P(-32768, -1)},
        {P(10, -10), P(-10, 10), P(0, 0)},
    };
    for (const Case &c : cases) {
        const Point m = QDMP_MidPoint(c.a, c.b);
        EXPECT_EQ(m.h, c.mid.h) << c.a.h << "+" << c.b.h;
        EXPECT_EQ(m.v, c.mid.v) << c.a.v << "+" << c.b.v;
    }
    const Rect r = R(-3, 1, 0, 2); // (left, top) = (1, -3), (right, bottom) = (2, 0)
    const Point m = QDMP_MidPointRect(&r);
    EXPECT_EQ(m.h, 1);
    EXPECT_EQ(m.v, -2);
}

} // namespace
