#include "call_driver.h"

#include "qdmp/include/qdmp.h"
#include "qdmp/internal.h"
#include "reference.h"

#include <utility>

namespace qdmp_test {

CallDriver::CallDriver(Source choices, Source pixels) : rng_(std::move(choices))
{
    for (int depth : {8, 16, 32, 32, 16, 8, 32}) {
        MapLayout l;
        l.depth = depth;
        l.bounds = randomBounds();
        l.padBytes = static_cast<int>(rng_() % 8);
        l.bottomUp = rng_() % 4 == 0;
        l.misalign = static_cast<int>(rng_() % 4);
        l.tableEntries = depth == 8 ? static_cast<int>(rng_() % 40) - 2 : -1; // -2, -1: no table
        if (l.tableEntries < -1)
            l.tableEntries = -1;
        lib_.push_back(std::make_unique<GuardedMap>(l));
        lib_.back()->fillRandom(pixels);
        ref_.push_back(std::make_unique<GuardedMap>(*lib_.back()));
    }
}

/* Truncates a value to the pixel type of a depth. */
namespace {

UInt32 fit(int depth, UInt32 x)
{
    return depth == 8 ? (x & 0xFF) : depth == 16 ? (x & 0xFFFF) : x;
}

} // namespace

std::string CallDriver::step()
{
    const int op = static_cast<int>(rng_() % 12);
    const int i = pick();
    GuardedMap &L = lib(i), &F = ref(i);
    const PixMapHandle pm = L.handle();
    written_ = i;
    readMismatch_.clear();
    std::string what;
    switch (op) {
    case 0: { // per-depth pixel write, then reads
        const int depth = depthFor(i);
        const SInt16 x = h(i), y = v(i);
        const UInt32 val = fit(depth, value());
        if (depth == 8)
            QDMP_Set_Pixel8(pm, x, y, static_cast<UInt8>(val));
        else if (depth == 16)
            QDMP_Set_Pixel16(pm, x, y, static_cast<UInt16>(val));
        else
            QDMP_Set_Pixel32(pm, x, y, val);
        if (depth == F.depth() && F.contains(x, y))
            F.set(x, y, val);
        const UInt32 want = depth == F.depth() && F.contains(x, y) ? F.get(x, y) : 0;
        const UInt32 got = depth == 8    ? QDMP_Get_Pixel8(pm, x, y)
                           : depth == 16 ? QDMP_Get_Pixel16(pm, x, y)
                                         : QDMP_Get_Pixel32(pm, x, y);
        if (got != want)
            readMismatch_ = "read back " + std::to_string(got) + ", expected " + std::to_string(want);
        what = "Set_Pixel" + std::to_string(depth);
        break;
    }
    case 1: { // colour pixel write
        const RGBColor c = colour();
        const RGBColor *cp = rng_() % 20 ? &c : nullptr;
        const SInt16 x = h(i), y = v(i);
        QDMP_Set_Pixel(pm, x, y, cp);
        UInt32 px;
        if (qdmp_test::ref_pixel_of(F, cp, &px) && F.contains(x, y))
            F.set(x, y, px);
        what = "Set_Pixel";
        break;
    }
    case 2: { // line
        const int depth = depthFor(i);
        const SInt16 a = h(i), b = v(i), c = h(i), d = v(i);
        const UInt32 val = fit(depth, value());
        if (rng_() % 4 == 0) {
            const RGBColor col = colour();
            QDMP_Draw_Line(pm, a, b, c, d, &col);
            UInt32 px;
            if (qdmp_test::ref_pixel_of(F, &col, &px))
                qdmp_test::ref_line(F, a, b, c, d, px);
        } else {
            if (depth == 8)
                QDMP_Draw_Line8(pm, a, b, c, d, static_cast<UInt8>(val));
            else if (depth == 16)
                QDMP_Draw_Line16(pm, a, b, c, d, static_cast<UInt16>(val));
            else
                QDMP_Draw_Line32(pm, a, b, c, d, val);
            if (depth == F.depth())
                qdmp_test::ref_line(F, a, b, c, d, val);
        }
        what = "Draw_Line " + std::to_string(a) + "," + std::to_string(b) + " " + std::to_string(c) + "," +
               std::to_string(d);
        break;
    }
    case 3: { // filled rectangle or span
        const int depth = depthFor(i);
        const Rect r = rect(i);
        const UInt32 val = fit(depth, value());
        if (rng_() % 3 == 0) {
            if (depth == 8)
                Draw_Scan8(pm, r.top, r.left, r.right, static_cast<UInt8>(val));
            else if (depth == 16)
                Draw_Scan16(pm, r.top, r.left, r.right, static_cast<UInt16>(val));
            else
                Draw_Scan32(pm, r.top, r.left, r.right, val);
            if (depth == F.depth())
                qdmp_test::ref_span(F, r.top, r.left, r.right, val);
            what = "Draw_Scan";
        } else {
            if (depth == 8)
                QDMP_Fill_Rect8(pm, r, static_cast<UInt8>(val));
            else if (depth == 16)
                QDMP_Fill_Rect16(pm, r, static_cast<UInt16>(val));
            else
                QDMP_Fill_Rect32(pm, r, val);
            if (depth == F.depth())
                qdmp_test::ref_fill_rect(F, r, val);
            what = "Fill_Rect";
        }
        what += " " + std::to_string(r.top) + "," + std::to_string(r.left) + "," + std::to_string(r.bottom) + "," +
                std::to_string(r.right);
        break;
    }
    case 4: { // circles
        const SInt16 x = h(i), y = v(i);
        const UInt16 rad = radius();
        const RGBColor c = colour();
        UInt32 px;
        const bool fill = rng_() % 2;
        if (fill)
            QDMP_Fill_Circle(pm, x, y, rad, &c);
        else
            QDMP_Draw_Circle(pm, x, y, rad, &c);
        if (qdmp_test::ref_pixel_of(F, &c, &px)) {
            if (fill)
                qdmp_test::ref_fill_circle(F, x, y, rad, px);
            else
                qdmp_test::ref_draw_circle(F, x, y, rad, px);
        }
        what = std::string(fill ? "Fill" : "Draw") + "_Circle r " + std::to_string(rad);
        break;
    }
    case 5:
    case 6: { // rectangle and scan copies between maps of any depths
        const int j = pick();
        GuardedMap &S = lib(j), &SF = ref(j);
        const Rect sr = rect(j), dr = rng_() % 2 ? rect(i) : Rect{static_cast<SInt16>(v(i)), static_cast<SInt16>(h(i)),
                                                                   static_cast<SInt16>(v(i) + (sr.bottom - sr.top)),
                                                                   static_cast<SInt16>(h(i) + (sr.right - sr.left))};
        const bool match = S.depth() == L.depth();
        if (op == 5) {
            QDMP_Copy_Rect(S.handle(), pm, &sr, &dr);
            if (match)
                qdmp_test::ref_copy_rect(SF, F, sr, dr);
            what = "Copy_Rect";
        } else {
            const SInt16 h1 = sr.left, h2 = sr.right, d1 = static_cast<SInt16>(dr.left);
            const SInt16 d2 = static_cast<SInt16>(rng_() % 2 ? d1 + (h2 - h1) : dr.right);
            QDMP_Copy_Scan(S.handle(), pm, sr.top, h1, h2, dr.top, d1, d2);
            if (match)
                qdmp_test::ref_copy_scan(SF, F, sr.top, h1, h2, dr.top, d1, d2);
            what = "Copy_Scan";
        }
        what += " from map " + std::to_string(j);
        break;
    }
    case 7:
    case 8: { // blends between 32-bit maps
        const int j = pick();
        GuardedMap &S = lib(j), &SF = ref(j);
        const Rect sr = rect(j);
        Rect d;
        d.top = v(i);
        d.left = rng_() % 2 ? h(i) : sr.left;
        d.bottom = static_cast<SInt16>(d.top + (sr.bottom - sr.top) + static_cast<int>(rng_() % 3) - 1);
        d.right = static_cast<SInt16>(d.left + (sr.right - sr.left));
        const bool both32 = S.depth() == 32 && L.depth() == 32;
        if (op == 7) {
            QDMP_Copy_Rect32A(S.handle(), pm, &sr, &d);
            if (both32)
                qdmp_test::ref_copy_rect32a(SF, F, sr, d);
            what = "Copy_Rect32A";
        } else {
            QDMP_Copy_Scan32A(S.handle(), pm, sr.top, sr.left, sr.right, d.top, d.left, d.right);
            if (both32)
                qdmp_test::ref_copy_scan32a(SF, F, sr.top, sr.left, sr.right, d.top, d.left, d.right);
            what = "Copy_Scan32A";
        }
        what += " from map " + std::to_string(j);
        break;
    }
    case 9: { // reduction
        const int j = pick();
        QDMP_DownMip32A(lib(j).handle(), pm);
        if (lib(j).depth() == 32 && L.depth() == 32)
            qdmp_test::ref_down_mip(ref(j), F);
        what = "DownMip32A from map " + std::to_string(j);
        break;
    }
    case 10: { // curves: no independent statement; both sides drawn alike
        Point p[3];
        for (Point &q : p) {
            q.h = h(i);
            q.v = v(i);
            if (rng_() % 3)
                q.h = static_cast<SInt16>(L.bounds().left + static_cast<int>(rng_() % 50) - 5),
                q.v = static_cast<SInt16>(L.bounds().top + static_cast<int>(rng_() % 30) - 5);
        }
        const RGBColor c = colour();
        QDMP_Draw_Curve(pm, p[0], p[1], p[2], &c);
        QDMP_Draw_Curve(F.handle(), p[0], p[1], p[2], &c);
        what = "Draw_Curve";
        break;
    }
    default: { // colour reads
        const SInt16 x = h(i), y = v(i);
        const RGBColor got = QDMP_Get_Pixel(pm, x, y);
        // Outside the map the pixel reads as 0.
        const UInt32 px = F.contains(x, y) ? F.get(x, y) : 0;
        RGBColor want{0, 0, 0};
        if (F.depth() == 8) {
            const auto &colors = F.colors();
            if (F.layout().tableEntries >= 0 && !colors.empty())
                want = colors[px % colors.size()];
        } else if (F.depth() == 16) {
            const auto c5 = [&](int shift) { return static_cast<UInt16>(((px >> shift) & 31) * 0x0801); };
            want = RGBColor{c5(10), c5(5), c5(0)};
        } else {
            const auto c8 = [&](int shift) { return static_cast<UInt16>(((px >> shift) & 255) * 0x0101); };
            want = RGBColor{c8(16), c8(8), c8(0)};
        }
        if (got.red != want.red || got.green != want.green || got.blue != want.blue)
            readMismatch_ = "colour read at " + std::to_string(x) + "," + std::to_string(y);
        written_ = -1;
        what = "Get_Pixel";
        break;
    }
    }
    return what;
}

std::string CallDriver::verifyLast()
{
    if (!readMismatch_.empty())
        return readMismatch_;
    if (written_ < 0)
        return {};
    if (!lib(written_).guardsIntact())
        return "guard bytes of map " + std::to_string(written_) + " changed";
    if (lib(written_).pixels() != ref(written_).pixels())
        return "map " + std::to_string(written_) + " differs from the reference";
    return {};
}

std::string CallDriver::verifyAll()
{
    for (int m = 0; m < maps(); ++m) {
        if (!lib(m).guardsIntact())
            return "guard bytes of map " + std::to_string(m) + " changed";
        if (lib(m).pixels() != ref(m).pixels())
            return "map " + std::to_string(m) + " differs from the reference";
    }
    return {};
}

} // namespace qdmp_test
