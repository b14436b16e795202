#include "platform/export.h"
#include "qdmp/include/qdmp.h"

#include <algorithm>

QV_EXTERN_C QV_EXPORT void QDMP_Set_Rect(Rect *r, SInt16 left, SInt16 top, SInt16 right, SInt16 bottom)
{
    r->left = left;
    r->top = top;
    r->right = right;
    r->bottom = bottom;
}

QV_EXTERN_C QV_EXPORT void QDMP_Offset_Rect(Rect *r, SInt16 dh, SInt16 dv)
{
    r->top = static_cast<SInt16>(r->top + dv);
    r->bottom = static_cast<SInt16>(r->bottom + dv);
    r->left = static_cast<SInt16>(r->left + dh);
    r->right = static_cast<SInt16>(r->right + dh);
}

QV_EXTERN_C QV_EXPORT void QDMP_Inset_Rect(Rect *r, SInt16 dh, SInt16 dv)
{
    r->top = static_cast<SInt16>(r->top + dv);
    r->bottom = static_cast<SInt16>(r->bottom - dv);
    r->left = static_cast<SInt16>(r->left + dh);
    r->right = static_cast<SInt16>(r->right - dh);
}

QV_EXTERN_C QV_EXPORT int QDMP_Intersect_Rects(const Rect *a, const Rect *b, Rect *out)
{
    Rect w = *a;
    w.top = std::max(w.top, b->top);
    w.bottom = std::min(w.bottom, b->bottom);
    w.left = std::max(w.left, b->left);
    w.right = std::min(w.right, b->right);
    if (out)
        *out = w;
    return (w.top < w.bottom && w.left < w.right) ? 1 : 0;
}

QV_EXTERN_C QV_EXPORT Point QDMP_Set_Point(Point *p, SInt16 h, SInt16 v)
{
    Point pt;
    pt.v = v;
    pt.h = h;
    if (p)
        *p = pt;
    return pt;
}

QV_EXTERN_C QV_EXPORT int QDMP_PointInRect(Point pt, const Rect *r)
{
    if (!r)
        return 0;
    return (pt.h >= r->left && pt.h < r->right && pt.v >= r->top && pt.v < r->bottom) ? 1 : 0;
}

QV_EXTERN_C QV_EXPORT Point QDMP_MidPoint(Point a, Point b)
{
    // Arithmetic shift of the 32-bit sum: halves round toward minus infinity.
    Point mid;
    mid.h = static_cast<SInt16>((SInt32{a.h} + SInt32{b.h}) >> 1);
    mid.v = static_cast<SInt16>((SInt32{a.v} + SInt32{b.v}) >> 1);
    return mid;
}

QV_EXTERN_C QV_EXPORT Point QDMP_MidPointRect(const Rect *r)
{
    Point topLeft, bottomRight;
    topLeft.h = r->left;
    topLeft.v = r->top;
    bottomRight.h = r->right;
    bottomRight.v = r->bottom;
    return QDMP_MidPoint(topLeft, bottomRight);
}
