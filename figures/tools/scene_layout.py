#!/usr/bin/env python3
"""Lays out the built-in scene and writes figures/scene.cpp.

The stalks and heads are copies of one authored shape per colour, moved so
that vertex 0 lands on the position given for each copy; all numbers are
six-decimal literals, so the sums are done in Decimal and are exact.
The bands and the dark-green shapes are authored here directly.

    scene_layout.py > figures/scene.cpp
    scene_layout.py --preview out.png   (flat rendering of the authored positions)
"""
import math
import sys
import struct
import zlib
from decimal import Decimal as D

Q = D("0.000001")


def pt(x, y):
    return (D(x).quantize(Q), D(y).quantize(Q))


def col(*c):
    return tuple(D(v).quantize(Q) for v in c)


# --- the shared shapes -------------------------------------------------------
STALK_COLOURS = [
    col("1.0", "0.028037", "0.744548"),
    col("0.0", "0.0", "0.744548"),
    col("0.0", "1.0", "0.0"),
    col("1.0", "0.0", "0.0"),
    col("0.383178", "0.250260", "0.0"),
]
# Vertices 0 to 5 of the first stalk of each colour (index as above).
STALK_SHAPES = [
    [("-7.725857", "0.924195"), ("-7.310488", "0.820353"), ("-7.829699", "2.461060"),
     ("-7.414330", "2.647974"), ("-7.892004", "3.914850"), ("-7.476636", "4.288682")],
    [("5.076594", "0.751142"), ("5.429657", "0.854985"), ("4.868910", "2.204932"),
     ("5.201205", "2.578764"), ("4.868910", "3.637955"), ("5.284279", "4.136396")],
    [("-2.855659", "-0.114226"), ("-2.419522", "-0.051921"), ("-3.001039", "1.401869"),
     ("-2.544133", "1.630322"), ("-2.959501", "2.980270"), ("-2.461060", "3.374870")],
    [("-0.301142", "0.986501"), ("0.051921", "0.986501"), ("-0.321911", "2.253375"),
     ("0.093457", "2.523365"), ("-0.280374", "3.935618"), ("0.114226", "4.330217")],
    [("-3.956387", "0.238837"), ("-3.603323", "0.197300"), ("-3.914849", "1.568017"),
     ("-3.561786", "1.692628"), ("-3.852544", "3.125648"), ("-3.457944", "3.520249")],
]
# Stalk s: (colour index, vertex 0).
STALKS = [
    (0, ("-7.725857", "0.924195")), (1, ("5.076594", "0.751142")),
    (2, ("-2.855659", "-0.114226")), (3, ("-0.301142", "0.986501")),
    (0, ("-1.578402", "2.149533")), (0, ("2.139153", "0.176532")),
    (2, ("1.256489", "2.045691")), (2, ("3.894079", "0.238837")),
    (3, ("-6.075022", "0.343070")), (3, ("3.125778", "1.526610")),
    (1, ("-4.414580", "1.955711")), (1, ("0.756760", "-0.038059")),
    (4, ("-3.956387", "0.238837")), (4, ("-1.194184", "-0.010384")),
]
YELLOW = col("1.0", "0.992731", "0.007269")
ORANGE = col("1.0", "0.522326", "0.007269")
YELLOW_HEAD = [("-7.704912", "4.046104"), ("-7.517996", "4.399168"), ("-8.037207", "4.212252"),
               ("-7.601069", "4.731462"), ("-7.912596", "4.710694"), ("-7.725681", "5.209137")]
ORANGE_HEAD = [("-7.746449", "4.088746"), ("-7.642607", "4.296430"), ("-7.891828", "4.192588"),
               ("-7.684142", "4.504115"), ("-7.829522", "4.545652"), ("-7.746449", "4.836410")]
# Heads 29 to 56: (shape, vertex 0, stalk).
HEADS = [
    ("Y", ("-7.704912", "4.046104"), 0), ("O", ("-7.746449", "4.088746"), 0),
    ("Y", ("-5.875389", "3.380824"), 8), ("Y", ("-4.399300", "5.085606"), 10),
    ("Y", ("-3.650858", "3.235293"), 12), ("Y", ("-2.715307", "3.089763"), 2),
    ("Y", ("-1.551064", "5.251925"), 4), ("Y", ("-0.906576", "3.006603"), 13),
    ("Y", ("-0.095765", "4.025314"), 3), ("Y", ("1.380324", "5.251925"), 6),
    ("Y", ("0.777415", "2.985813"), 11), ("Y", ("2.170347", "3.297664"), 5),
    ("Y", ("3.334585", "4.586645"), 9), ("Y", ("4.062237", "3.443193"), 7),
    ("Y", ("5.080950", "3.858994"), 1),
    ("O", ("-5.896138", "3.423465"), 8), ("O", ("-4.440835", "5.128247"), 10),
    ("O", ("-3.671605", "3.277935"), 12), ("O", ("-2.736055", "3.132404"), 2),
    ("O", ("-1.592602", "5.294567"), 4), ("O", ("-0.927323", "3.028456"), 13),
    ("O", ("-0.116511", "4.067955"), 3), ("O", ("0.756670", "3.028456"), 11),
    ("O", ("1.359581", "5.336147"), 6), ("O", ("2.149601", "3.361095"), 5),
    ("O", ("3.293052", "4.650076"), 9), ("O", ("4.041494", "3.527415"), 7),
    ("O", ("5.060205", "3.880846"), 1),
]


def moved(shape, origin):
    """The shape moved as a whole so that its vertex 0 lies on origin."""
    ox, oy = pt(*origin)
    x0, y0 = pt(*shape[0])
    return [(ox + (x - x0), oy + (y - y0)) for x, y in (pt(*v) for v in shape)]


# --- the cake and its decoration --------------------------------------------
# The stalks are candles and the heads their flames; the three large shapes
# are the round cake they stand on, seen from the front and a little above,
# and the dark-green shapes a garland on its side.
CREAM = col("1.0", "0.990654", "0.744548")
SHADE = col("0.670820", "0.682243", "0.744548")
TOP_CREAM = col("0.963655", "0.977155", "0.842160")
DARK_GREEN = col("0.0", "0.5", "0.0")

# Figure 0: the side of the cake, from its left end to its right, alternating
# between its upper edge (hidden under the top, figure 2) and the lower edge
# that curves through the front.
SIDE = [
    ("-8.535826", "0.820353"), ("-8.348909", "-3.312565"),
    ("-7.497403", "0.488058"), ("-7.892004", "-3.997923"),
    ("-6.147456", "0.218068"), ("-5.981309", "-4.890966"),
    ("-4.300000", "-0.080000"), ("-3.800000", "-5.060000"),
    ("-2.000000", "-0.220000"), ("-1.400000", "-5.118000"),
    ("0.400000", "-0.260000"), ("1.000000", "-5.070000"),
    ("2.700000", "-0.120000"), ("3.300000", "-4.870000"),
    ("4.700000", "0.180000"), ("5.300000", "-4.460000"),
    ("6.580000", "0.720000"), ("6.895120", "-3.640000"),
]
# Figure 1: the shaded right part of the side, between the curve where the
# light turns away (from the top right down to the front) and the side's
# right and lower edges, which it follows a little inside.
SHADOW = [
    ("6.479751", "0.114226"), ("6.600000", "0.060000"),
    ("5.900000", "-1.000000"), ("6.620000", "-1.140000"),
    ("5.000000", "-2.200000"), ("6.630000", "-2.500000"),
    ("3.800000", "-3.240000"), ("6.420000", "-3.820000"),
    ("2.400000", "-3.980000"), ("5.200000", "-4.360000"),
    ("0.700000", "-4.480000"), ("3.300000", "-4.800000"),
    ("-1.140000", "-4.800000"), ("1.000000", "-4.910000"),
]
# Figure 2: the top of the cake, in slices from its far edge down, alternating
# between the left and the right half of its outline; the last two vertices
# end the near edge, which covers the upper edge of the side.
TOP = [
    ("-0.318769", "2.806880"),
    ("-4.200000", "2.550000"), ("2.800000", "2.500000"),
    ("-7.400000", "1.850000"), ("5.600000", "1.850000"),
    ("-8.580000", "0.800000"), ("6.640000", "0.700000"),
    ("-7.200000", "0.150000"), ("5.400000", "0.100000"),
    ("-3.600000", "-0.380000"), ("1.600000", "-0.450000"),
]


def swag(x0, y0, x1, y1, depth, pairs, thick):
    """A garland hanging between (x0, y0) and (x1, y1), sagging by depth in the
    middle: pairs of points across it, upper edge first, thickest mid-way."""
    rows = []
    for k in range(pairs):
        u = k / (pairs - 1)
        x = x0 + (x1 - x0) * u
        y = y0 + (y1 - y0) * u - depth * math.sin(math.pi * u)
        t = thick * (0.5 + 0.5 * math.sin(math.pi * u))
        # Across the curve, not straight down, so the steep ends keep their width.
        sx = x1 - x0
        sy = y1 - y0 - depth * math.pi * math.cos(math.pi * u)
        n = math.hypot(sx, sy)
        rows += [(x, y), (x + sy / n * t, y - sx / n * t)]
    return rows


def swag_between(left, right, y0, y1, depth, pairs, thick):
    """A swag whose outline spans exactly left to right in x: the ends of its
    lower edge reach past the ends of the upper, so the ends are moved in."""
    x0, x1 = left, right
    for _ in range(20):
        rows = swag(x0, y0, x1, y1, depth, pairs, thick)
        xs = [x for x, _ in rows]
        x0 += left - min(xs)
        x1 += right - max(xs)
    return swag(x0, y0, x1, y1, depth, pairs, thick)


def bow(x, y):
    """A ribbon bow: two wings pinched at the knot, pairs across it left to right."""
    rows = [(-0.52, 0.24), (-0.52, -0.22), (-0.28, 0.16), (-0.28, -0.13), (0.00, 0.07),
            (0.00, -0.07), (0.28, 0.16), (0.28, -0.13), (0.52, 0.24), (0.52, -0.22)]
    return [(x + dx, y + dy) for dx, dy in rows]


def drop(x, y, length, halves):
    """An icing drop hanging from (x, y): pairs across it from the pointed top
    down to the rounded bottom, with the given half-widths."""
    rows = []
    n = len(halves)
    for k, h in enumerate(halves):
        u = k / (n - 1)
        yy = y - length * (u ** 0.85)
        rows += [(x - h, yy), (x + h, yy)]
    return rows


def leaf(x0, y0, x1, y1, width):
    """A leaf from its stem (x0, y0) to its tip (x1, y1): stem, the two edges
    at their widest, tip."""
    dx, dy = x1 - x0, y1 - y0
    n = math.hypot(dx, dy)
    nx, ny = -dy / n * width / 2, dx / n * width / 2
    mx, my = x0 + 0.4 * dx, y0 + 0.4 * dy
    return [(x0, y0), (mx + nx, my + ny), (mx - nx, my - ny), (x1, y1)]


def fmt(v):
    return str(D(v).quantize(Q)) if isinstance(v, (str, D)) else "%.6f" % v


KNOT_L = (-2.700000, -0.850000)
KNOT_R = (1.200000, -0.850000)
GREEN_SHAPES = [
    # 17: a drop hanging from the middle of the left garland.
    drop(-4.780000, -2.900000, 1.490000, [0.040000, 0.300000, 0.160000]),
    # 18: a leaf below the left end of the garland.
    [("-6.514398", "-2.236924"), ("-5.744321", "-2.302931"),
     ("-6.470393", "-2.412942"), ("-5.766323", "-2.544955")],
    # 19, 20: one bow, tied where the garlands meet.
    bow(*KNOT_L),
    bow(*KNOT_R),
    # 21: a leaf below the right end of the garland.
    leaf(4.520000, -2.300000, 5.300000, -2.560000, 0.360000),
    # 22, 23, 24: the garlands: middle, left, right.
    swag(KNOT_L[0] + 0.32, -0.900000, KNOT_R[0] - 0.32, -0.900000, 1.300000, 6, 0.480000),
    swag_between(-6.870000, KNOT_L[0] - 0.32, -1.150000, -0.900000, 1.600000, 8, 0.520000),
    swag_between(KNOT_R[0] + 0.32, 5.380000, -0.900000, -1.350000, 1.500000, 8, 0.520000),
    # 25: a drop hanging from the middle garland.
    drop(-0.750000, -2.500000, 1.300000, [0.040000, 0.150000, 0.250000, 0.270000, 0.140000]),
    # 26, 27: leaves on either side of the middle drop.
    leaf(-1.050000, -2.450000, -1.760000, -2.900000, 0.360000),
    leaf(-0.450000, -2.450000, 0.260000, -2.900000, 0.360000),
    # 28: a drop hanging from the right garland.
    drop(3.300000, -2.900000, 1.300000, [0.040000, 0.220000, 0.270000, 0.130000]),
]

def figures():
    """All 57 figures in construction order:
    (kind, colour, [(x, y, dynamic)], stalk index or tie stalk)."""
    figs = []
    P = lambda rows: [pt(*v) for v in rows]
    figs.append(("band", CREAM, [(x, y, False) for x, y in P(SIDE)], None))
    figs.append(("band", SHADE, [(x, y, False) for x, y in P(SHADOW)], None))
    figs.append(("band", TOP_CREAM, [(x, y, False) for x, y in P(TOP)], None))
    for s, (c, origin) in enumerate(STALKS):
        vs = moved(STALK_SHAPES[c], origin)
        figs.append(("stalk", STALK_COLOURS[c], [(x, y, i >= 2) for i, (x, y) in enumerate(vs)], s))
    for shape in GREEN_SHAPES:
        vs = [pt(fmt(x), fmt(y)) for x, y in shape]
        figs.append(("green", DARK_GREEN, [(x, y, False) for x, y in vs], None))
    for kind, origin, s in HEADS:
        shape, colour = (YELLOW_HEAD, YELLOW) if kind == "Y" else (ORANGE_HEAD, ORANGE)
        vs = moved(shape, origin)
        figs.append(("head", colour, [(x, y, i >= 1) for i, (x, y) in enumerate(vs)], s))
    return figs


def write_source(out):
    figs = figures()
    w = out.write
    w(HEADER)
    for n, (kind, colour, verts, s) in enumerate(figs):
        if n == 3:
            w("\tn = 0;\n")
        w("{ \n\tpolygon *p = new (std::nothrow) polygon;\n\tif (!p)\n\t\tgoto out_of_memory;\n")
        if kind == "stalk":
            w("\tstalk[n] = p;\n\tn++;\n")
        w("\tp->next = polys;\n\tpolys = p;\n")
        for name, v in zip("rgb", colour):
            w("\tp->%s = %s;\n" % (name, v))
        w("\tp->a = 1.000000;\n")
        for x, y, dyn in verts:
            w("\tp->add(%s,%s,%s);\n" % (x, y, "true" if dyn else "false"))
        if kind == "head":
            w("\tp->setFollow(0, stalk[%d], 4);\n" % s)
        w("}\n")
    w(FOOTER)


HEADER = """\
/* The built-in scene, in the form polygon::dump writes (one block per figure,
 * each pushed at the head of the list), with three additions: the `stalk`
 * table of the fourteen stalks, the tie of every head's vertex 0 to the
 * midpoint of its stalk's top pair, and one calcDists on the finished list.
 *
 * The picture is a round cake seen from the front and a little above, with
 * candles on it. Figures 0 to 2 are the cake: its side, the shaded right part
 * of the side, and its top. Figures 3 to 16 are the stalks, the candles (one
 * shape per colour, moved), 17 to 28 the dark-green garland on the side of
 * the cake (three swags, two bows, three drops, four leaves), and 29 to 56
 * the heads, the flames: a yellow and then an orange one on every stalk.
 *
 * Generated by figures/tools/scene_layout.py. */
#include "figures/scene.h"

#include <new>

#include "figures/polygon.h"

namespace {

/* Unlinks and destroys the figures pushed in front of `base`. */
void DestroyBuilt(polygon *polys, polygon *base)
{
    if (polys == base)
        return;
    polygon *last = polys;
    while (last->next != base)
        last = last->next;
    last->next = nullptr;
    delete polys;
}

} // namespace

bool BuildScene(polygon **list)
{
    polygon *const base = *list;
    polygon *polys = base;
    polygon *stalk[14];
    int n = 0;

"""

FOOTER = """\
\tpolys->calcDists();
\t*list = polys;
\treturn true;

out_of_memory:
\tDestroyBuilt(polys, base);
\t*list = base;
\treturn false;
}
"""


# --- preview -----------------------------------------------------------------
def preview(path, x0=-9.2, x1=7.6, y0=-5.6, y1=7.0, ppu=60):
    W, H = int((x1 - x0) * ppu), int((y1 - y0) * ppu)
    img = [bytearray(b"\x00\x95\xe0" * W) for _ in range(H)]  # first background colour
    for kind, colour, verts, s in figures():
        rgb = bytes(int(float(c) * 255 + 0.5) for c in colour)
        pts = [((float(x) - x0) * ppu, (y1 - float(y)) * ppu) for x, y, _ in verts]
        for i in range(len(pts) - 2):
            (ax, ay), (bx, by), (cx, cy) = pts[i:i + 3]
            area = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax)
            if area == 0:
                continue
            lo_x, hi_x = max(0, int(min(ax, bx, cx))), min(W - 1, int(max(ax, bx, cx)) + 1)
            lo_y, hi_y = max(0, int(min(ay, by, cy))), min(H - 1, int(max(ay, by, cy)) + 1)
            for py in range(lo_y, hi_y + 1):
                row = img[py]
                yc = py + 0.5
                for px in range(lo_x, hi_x + 1):
                    xc = px + 0.5
                    w0 = (bx - ax) * (yc - ay) - (by - ay) * (xc - ax)
                    w1 = (cx - bx) * (yc - by) - (cy - by) * (xc - bx)
                    w2 = (ax - cx) * (yc - cy) - (ay - cy) * (xc - cx)
                    if (w0 >= 0 and w1 >= 0 and w2 >= 0) or (w0 <= 0 and w1 <= 0 and w2 <= 0):
                        row[3 * px:3 * px + 3] = rgb
    raw = b"".join(b"\x00" + bytes(r) for r in img)
    chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--preview":
        preview(sys.argv[2])
    else:
        write_source(sys.stdout)
