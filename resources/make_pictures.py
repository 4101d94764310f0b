#!/usr/bin/env python3
"""Draws the program's pictures and writes them next to this script.

    qx700.ico        icon 108, the application icon (16 to 256 pixels)
    qx700_small.ico  icon 109, the small window icon (16 pixels)
    logo.bmp         bitmap 136, the logo at the top left of the main window
                     (165 x 52, 24 bits per pixel)
    logo125.bmp      bitmaps 137 to 139, the same logo drawn for displays
    logo150.bmp      scaled to 125, 150 and 200 % (206 x 65, 248 x 78 and
    logo200.bmp      330 x 104, 24 bits per pixel)

Python 3 standard library only. Every picture is drawn from geometry in this
file; the output is deterministic, so running the script again reproduces the
committed files byte for byte. The PNG-compressed 256-pixel icon image uses a
small deflate encoder of its own rather than the zlib module, whose output
depends on the zlib build that Python happens to link.

Usage:
    make_pictures.py                write the files
    make_pictures.py --check        compare with the files on disk, exit 1 on
                                    any difference
    make_pictures.py --preview DIR  also write PNG previews to DIR (the logos
                                    1:1 and enlarged four times)
"""

import math
import os
import struct
import sys
import zlib  # crc32 and adler32 only: checksums, identical in every build

HERE = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------------------
# Colours (r, g, b) in 0..255.

LABEL_BACKGROUND = (192, 192, 160)  # COLORREF 0xA0C0C0, the window background
LOGO_INK = (128, 32, 0)             # COLORREF 0x002080, the logo caption colour
SUBTITLE_INK = (58, 58, 46)

CASE_TOP = (96, 103, 113)
CASE_BOTTOM = (42, 46, 53)
CASE_EDGE = (16, 18, 21)
CASE_HIGHLIGHT = (150, 158, 168)
SCREEN_TOP = (9, 24, 18)
SCREEN_BOTTOM = (5, 13, 10)
SCREEN_RIM = (0, 0, 0)
GRID = (38, 86, 62)
TRACE = (130, 255, 90)
TRACE_FILL_TOP = (40, 200, 90)
TRACE_FILL_BOTTOM = (20, 110, 60)
TRACE_LOW = (255, 206, 60)       # the trace where it is not above the reference
REFERENCE_DASH = (200, 220, 255)
KNOB_TOP = (120, 126, 136)
KNOB_BOTTOM = (30, 33, 38)
KNOB_TOP_SMALL = (165, 171, 180)  # three pixels across: lighter, or they vanish
KNOB_BOTTOM_SMALL = (72, 77, 85)
LED = (120, 255, 100)


# ---------------------------------------------------------------------------
# Shapes. Each one has a bounding box and a signed distance estimate (negative
# inside) that does not overstate the distance to the outline: a pixel whose
# centre lies farther than 0.71 (half its diagonal) from the outline is wholly
# inside or outside, and only the pixels on the outline are supersampled.

class Shape:
    def union(self, other):
        return Union(self, other)

    def minus(self, other):
        return Difference(self, other)

    def within(self, other):
        return Intersection(self, other)


class Rect(Shape):
    def __init__(self, x0, y0, x1, y1):
        self.x0, self.y0, self.x1, self.y1 = x0, y0, x1, y1
        self.bbox = (x0, y0, x1, y1)

    def sdf(self, x, y):
        dx = max(self.x0 - x, x - self.x1)
        dy = max(self.y0 - y, y - self.y1)
        if dx > 0 and dy > 0:
            return math.hypot(dx, dy)
        return max(dx, dy)


class RoundRect(Shape):
    def __init__(self, x0, y0, x1, y1, r):
        self.cx, self.cy = (x0 + x1) / 2, (y0 + y1) / 2
        self.hx, self.hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
        self.r = r
        self.bbox = (x0, y0, x1, y1)

    def sdf(self, x, y):
        qx = abs(x - self.cx) - self.hx
        qy = abs(y - self.cy) - self.hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - self.r


class Circle(Shape):
    def __init__(self, cx, cy, r):
        self.cx, self.cy, self.r = cx, cy, r
        self.bbox = (cx - r, cy - r, cx + r, cy + r)

    def sdf(self, x, y):
        return math.hypot(x - self.cx, y - self.cy) - self.r


class Capsule(Shape):
    """A straight stroke of the given width with round ends."""

    def __init__(self, x0, y0, x1, y1, width):
        self.x0, self.y0, self.x1, self.y1 = x0, y0, x1, y1
        self.h = width / 2
        self.bbox = (min(x0, x1) - self.h, min(y0, y1) - self.h,
                     max(x0, x1) + self.h, max(y0, y1) + self.h)
        self.dx, self.dy = x1 - x0, y1 - y0
        self.len2 = self.dx * self.dx + self.dy * self.dy

    def sdf(self, x, y):
        px, py = x - self.x0, y - self.y0
        t = 0.0
        if self.len2 > 0:
            t = min(1.0, max(0.0, (px * self.dx + py * self.dy) / self.len2))
        return math.hypot(px - t * self.dx, py - t * self.dy) - self.h


def column_buckets(items, margin):
    """Sorts items (each with a bounding box) into one list per whole-pixel
    column, each list holding the items that come within `margin` of it."""
    lo = math.floor(min(i.bbox[0] for i in items) - margin)
    hi = math.ceil(max(i.bbox[2] for i in items) + margin)
    buckets = [[] for _ in range(hi - lo + 1)]
    for item in items:
        first = math.floor(item.bbox[0] - margin) - lo
        last = math.floor(item.bbox[2] + margin) - lo
        for c in range(first, last + 1):
            buckets[c].append(item)
    return lo, buckets


class Edge:
    def __init__(self, a, b):
        self.a, self.b = a, b
        self.bbox = (min(a[0], b[0]), min(a[1], b[1]), max(a[0], b[0]), max(a[1], b[1]))


class Polygon(Shape):
    """Even-odd polygon. Edges are kept per pixel column: the inside test
    casts a ray straight up, and distances are only looked for nearby."""

    MARGIN = 1.0

    def __init__(self, points):
        self.points = list(points)
        xs = [p[0] for p in self.points]
        ys = [p[1] for p in self.points]
        self.bbox = (min(xs), min(ys), max(xs), max(ys))
        n = len(self.points)
        edges = [Edge(self.points[i], self.points[(i + 1) % n]) for i in range(n)]
        self.lo, self.buckets = column_buckets(edges, self.MARGIN)

    def sdf(self, x, y):
        c = math.floor(x) - self.lo
        if c < 0 or c >= len(self.buckets):
            return self.MARGIN
        best = self.MARGIN
        inside = False
        for e in self.buckets[c]:
            (ax, ay), (bx, by) = e.a, e.b
            ex, ey = bx - ax, by - ay
            px, py = x - ax, y - ay
            l2 = ex * ex + ey * ey
            t = 0.0 if l2 == 0 else min(1.0, max(0.0, (px * ex + py * ey) / l2))
            d = math.hypot(px - t * ex, py - t * ey)
            if d < best:
                best = d
            if (ax > x) != (bx > x):
                if ay + (x - ax) * ey / ex < y:
                    inside = not inside
        return -best if inside else best


class Union(Shape):
    MARGIN = 1.0

    def __init__(self, *shapes):
        self.shapes = shapes
        self.bbox = (min(s.bbox[0] for s in shapes), min(s.bbox[1] for s in shapes),
                     max(s.bbox[2] for s in shapes), max(s.bbox[3] for s in shapes))
        self.buckets = None
        if len(shapes) > 8:
            self.lo, self.buckets = column_buckets(shapes, self.MARGIN)

    def sdf(self, x, y):
        if self.buckets is None:
            return min(s.sdf(x, y) for s in self.shapes)
        c = math.floor(x) - self.lo
        if c < 0 or c >= len(self.buckets):
            return self.MARGIN
        best = self.MARGIN
        for s in self.buckets[c]:
            d = s.sdf(x, y)
            if d < best:
                best = d
        return best


class Difference(Shape):
    def __init__(self, a, b):
        self.a, self.b = a, b
        self.bbox = a.bbox

    def sdf(self, x, y):
        return max(self.a.sdf(x, y), -self.b.sdf(x, y))


class Intersection(Shape):
    def __init__(self, a, b):
        self.a, self.b = a, b
        self.bbox = (max(a.bbox[0], b.bbox[0]), max(a.bbox[1], b.bbox[1]),
                     min(a.bbox[2], b.bbox[2]), min(a.bbox[3], b.bbox[3]))

    def sdf(self, x, y):
        return max(self.a.sdf(x, y), self.b.sdf(x, y))


class Moved(Shape):
    def __init__(self, shape, dx, dy):
        self.shape, self.dx, self.dy = shape, dx, dy
        x0, y0, x1, y1 = shape.bbox
        self.bbox = (x0 + dx, y0 + dy, x1 + dx, y1 + dy)

    def sdf(self, x, y):
        return self.shape.sdf(x - self.dx, y - self.dy)


# ---------------------------------------------------------------------------
# Paints: a fixed colour with opacity, or a vertical gradient.

def solid(rgb, alpha=1.0):
    col = (rgb[0] / 255, rgb[1] / 255, rgb[2] / 255, alpha)
    return lambda x, y: col


def vertical(y0, rgb0, y1, rgb1, alpha0=1.0, alpha1=None):
    if alpha1 is None:
        alpha1 = alpha0

    def paint(x, y):
        t = 0.0 if y1 == y0 else min(1.0, max(0.0, (y - y0) / (y1 - y0)))
        return tuple((a + (b - a) * t) / 255 for a, b in zip(rgb0, rgb1)) + (
            alpha0 + (alpha1 - alpha0) * t,)
    return paint


# ---------------------------------------------------------------------------
# Canvas: premultiplied floating-point RGBA, y downwards, pixel (i, j) covers
# the square [i, i+1] x [j, j+1].

SUPERSAMPLE = 8


class Canvas:
    def __init__(self, width, height, background=None):
        self.w, self.h = width, height
        if background is None:
            px = (0.0, 0.0, 0.0, 0.0)
        else:
            px = tuple(c / 255 for c in background) + (1.0,)
        self.px = [list(px) for _ in range(width * height)]

    def coverage(self, shape, x, y):
        d = shape.sdf(x + 0.5, y + 0.5)
        if d <= -0.71:
            return 1.0
        if d >= 0.71:
            return 0.0
        n = SUPERSAMPLE
        hits = 0
        for sy in range(n):
            yy = y + (sy + 0.5) / n
            for sx in range(n):
                if shape.sdf(x + (sx + 0.5) / n, yy) < 0:
                    hits += 1
        return hits / (n * n)

    def fill(self, shape, paint):
        x0, y0, x1, y1 = shape.bbox
        for y in range(max(0, math.floor(y0)), min(self.h, math.ceil(y1))):
            for x in range(max(0, math.floor(x0)), min(self.w, math.ceil(x1))):
                cov = self.coverage(shape, x, y)
                if cov > 0:
                    r, g, b, a = paint(x + 0.5, y + 0.5)
                    self.blend(x, y, r, g, b, a * cov)

    def blend(self, x, y, r, g, b, a):
        p = self.px[y * self.w + x]
        k = 1.0 - a
        p[0] = r * a + p[0] * k
        p[1] = g * a + p[1] * k
        p[2] = b * a + p[2] * k
        p[3] = a + p[3] * k

    def set_pixel(self, x, y, rgb, alpha=1.0):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.blend(x, y, rgb[0] / 255, rgb[1] / 255, rgb[2] / 255, alpha)

    def rgba_rows(self):
        """Rows from the top, each a list of (r, g, b, a) bytes, straight alpha."""
        rows = []
        for y in range(self.h):
            row = []
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                ab = to_byte(a)
                if ab == 0:
                    row.append((0, 0, 0, 0))
                else:
                    row.append((to_byte(r / a), to_byte(g / a), to_byte(b / a), ab))
            rows.append(row)
        return rows


def to_byte(v):
    return max(0, min(255, int(v * 255 + 0.5)))


# ---------------------------------------------------------------------------
# The spectrum drawn on the instrument's screen: a falling noise floor with a
# strong line, two weaker ones and some ripple. x and the result are in 0..1,
# 1 being the top of the screen.

def analysis_level(x):
    def peak(c, w):
        return math.exp(-((x - c) / w) ** 2)
    floor = 0.16 + 0.22 * math.exp(-2.6 * x)
    ripple = 0.025 * math.sin(41 * x + 0.3) + 0.018 * math.sin(97 * x + 1.1)
    return floor + ripple + 0.58 * peak(0.30, 0.045) + 0.30 * peak(0.56, 0.040) \
        + 0.17 * peak(0.80, 0.035)


def reference_level(x):
    return 0.11 + 0.17 * math.exp(-2.6 * x) + 0.012 * math.sin(53 * x + 0.7)


# ---------------------------------------------------------------------------
# The instrument: a dark case with a screen above a strip holding a lamp and
# two knobs. Small sizes are laid out on whole pixels so that they stay sharp.

def instrument_layout(size):
    """Pixel metrics for one drawn size."""
    s = size
    if s <= 16:
        return dict(margin=0, radius=2.5, bezel=2, strip=0, grid=(3, 2))
    if s <= 20:
        return dict(margin=0, radius=3.0, bezel=2, strip=0, grid=(4, 3))
    if s <= 24:
        return dict(margin=1, radius=3.0, bezel=2, strip=5, grid=(4, 3))
    if s <= 32:
        return dict(margin=1, radius=4.0, bezel=3, strip=6, grid=(4, 3))
    if s <= 48:
        return dict(margin=2, radius=6.0, bezel=4, strip=9, grid=(5, 4))
    u = s / 48
    return dict(margin=round(2 * u), radius=6 * u, bezel=round(4 * u),
                strip=round(9 * u), grid=(5, 4))


def draw_instrument(cv, ox, oy, size):
    L = instrument_layout(size)
    m = L["margin"]
    u = size / 48
    x0, y0, x1, y1 = ox + m, oy + m, ox + size - m, oy + size - m

    # Case, with a one-pixel dark rim and a light top edge.
    case = RoundRect(x0, y0, x1, y1, L["radius"])
    cv.fill(case, solid(CASE_EDGE))
    rim = max(1.0, round(u))
    inner = RoundRect(x0 + rim, y0 + rim, x1 - rim, y1 - rim, max(0.5, L["radius"] - rim))
    cv.fill(inner, vertical(y0, CASE_TOP, y1, CASE_BOTTOM))
    if size >= 20:
        lip = RoundRect(x0 + rim, y0 + rim, x1 - rim, y0 + rim + 2 * L["radius"],
                        max(0.5, L["radius"] - rim))
        shine = lip.minus(Moved(lip, 0, rim))
        cv.fill(shine, solid(CASE_HIGHLIGHT, 0.8))

    # Screen.
    b = L["bezel"]
    sx0, sy0 = x0 + b, y0 + b
    sx1, sy1 = x1 - b, y1 - b - L["strip"]
    screen_r = 0.0 if size <= 20 else max(1.0, 1.5 * u)
    screen = RoundRect(sx0, sy0, sx1, sy1, screen_r) if screen_r else Rect(sx0, sy0, sx1, sy1)
    cv.fill(screen, solid(SCREEN_RIM))
    t = 1 if size >= 24 else 0
    glass = Rect(sx0 + t, sy0 + t, sx1 - t, sy1 - t)
    if screen_r:
        glass = RoundRect(sx0 + t, sy0 + t, sx1 - t, sy1 - t, max(0.5, screen_r - t))
    cv.fill(glass, vertical(sy0, SCREEN_TOP, sy1, SCREEN_BOTTOM))
    gx0, gy0, gx1, gy1 = glass.bbox

    # Grid: whole-pixel lines between the screen's edges.
    cols, rows = L["grid"]
    line = max(1, round(u * 0.75))
    for i in range(1, cols):
        x = round(gx0 + (gx1 - gx0) * i / cols - line / 2)
        cv.fill(Rect(x, gy0, x + line, gy1), solid(GRID, 0.85))
    for j in range(1, rows):
        y = round(gy0 + (gy1 - gy0) * j / rows - line / 2)
        cv.fill(Rect(gx0, y, gx1, y + line), solid(GRID, 0.85))

    if size <= 32:
        draw_pixel_spectrum(cv, int(gx0), int(gy0), int(gx1), int(gy1))
    else:
        draw_smooth_spectrum(cv, glass, gx0, gy0, gx1, gy1, u)

    # Control strip: a lamp on the left, two knobs on the right. Up to 32
    # pixels the parts have odd diameters and sit on pixel centres.
    if L["strip"]:
        if size <= 32:
            cy = math.floor((sy1 + y1 - b) / 2) + 0.5
            kr = 1.5 if size <= 24 else 2.5
            lr = 1.5
            gap = 2
            drop = 1.0
        else:
            cy = (sy1 + y1 - b) / 2
            kr = L["strip"] * 0.34
            lr = L["strip"] * 0.17
            gap = 1.4 * kr
            drop = max(0.5, u * 0.6)
        right = x1 - b - kr
        for kx in (right, right - 2 * kr - gap):
            cv.fill(Circle(kx, cy + drop, kr), solid(CASE_EDGE, 0.7))
            top, bottom = (KNOB_TOP, KNOB_BOTTOM) if size > 24 else (KNOB_TOP_SMALL, KNOB_BOTTOM_SMALL)
            cv.fill(Circle(kx, cy, kr), vertical(cy - kr, top, cy + kr, bottom))
            if size >= 32:
                cv.fill(Capsule(kx, cy - kr * 0.2, kx, cy - kr * 0.85, max(1.0, u)),
                        solid((225, 230, 235)))
        lx = x0 + b + lr + (0 if size <= 24 else max(1, round(u)))
        if size >= 32:
            cv.fill(Circle(lx, cy, lr * 2.2), solid(LED, 0.18))
        cv.fill(Circle(lx, cy, lr), solid(LED))


THRESHOLD = 0.14


def above_threshold(x):
    """Whether the analysis lies clearly above the reference at x: those parts
    of the trace are drawn green, the rest yellow, as on the instrument."""
    return analysis_level(x) - reference_level(x) >= THRESHOLD


def draw_pixel_spectrum(cv, gx0, gy0, gx1, gy1):
    """The spectrum column by column on whole pixels, for the small sizes: a
    one-pixel trace joined vertically between columns, over a dim fill."""
    w, h = gx1 - gx0, gy1 - gy0
    tops = []
    for i in range(w):
        level = analysis_level((i + 0.5) / w)
        tops.append(min(gy1 - 1, max(gy0, gy1 - 1 - int(level * (h - 1) + 0.5))))
    for i in range(w):
        x = gx0 + i
        top = tops[i]
        lower = max(tops[max(0, i - 1)], tops[min(w - 1, i + 1)])
        end = max(top, lower - 1)
        for y in range(end + 1, gy1):
            t = (y - end) / max(1, gy1 - end)
            cv.set_pixel(x, y, TRACE_FILL_TOP if t < 0.5 else TRACE_FILL_BOTTOM, 0.42)
        colour = TRACE if above_threshold((i + 0.5) / w) else TRACE_LOW
        for y in range(top, end + 1):
            cv.set_pixel(x, y, colour)


def draw_smooth_spectrum(cv, glass, gx0, gy0, gx1, gy1, u):
    w, h = gx1 - gx0, gy1 - gy0
    pad = max(1.0, 1.2 * u)
    steps = max(24, int(w))

    def points(level_of):
        pts = []
        for i in range(steps + 1):
            x = i / steps
            pts.append((gx0 + x * w, gy1 - pad - level_of(x) * (h - 2 * pad)))
        return pts

    trace = points(analysis_level)
    area = Polygon(trace + [(gx1, gy1 + 1), (gx0, gy1 + 1)]).within(glass)
    cv.fill(area, vertical(gy0 + h * 0.2, TRACE_FILL_TOP, gy1, TRACE_FILL_BOTTOM, 0.45, 0.15))

    # The reference, thin and dashed.
    ref = points(reference_level)
    dash = max(2, steps // 40)
    ref_shape = Union(*[Capsule(a[0], a[1], b[0], b[1], max(0.8, 0.7 * u))
                        for k, (a, b) in enumerate(zip(ref, ref[1:])) if (k // dash) % 2 == 0])
    cv.fill(ref_shape.within(glass), solid(REFERENCE_DASH, 0.55))

    width = max(1.0, 1.4 * u)
    for colour, wanted in ((TRACE, True), (TRACE_LOW, False)):
        segs = [(a, b) for k, (a, b) in enumerate(zip(trace, trace[1:]))
                if above_threshold((k + 0.5) / steps) == wanted]
        if not segs:
            continue
        if u >= 1.5:
            glow = Union(*[Capsule(a[0], a[1], b[0], b[1], width * 2.6) for a, b in segs])
            cv.fill(glow.within(glass), solid(colour, 0.14))
        line = Union(*[Capsule(a[0], a[1], b[0], b[1], width) for a, b in segs])
        cv.fill(line.within(glass), solid(colour))


def draw_icon(size):
    cv = Canvas(size, size)
    draw_instrument(cv, 0, 0, size)
    return cv


# ---------------------------------------------------------------------------
# Lettering. The wordmark is built from strokes and rounded rectangles; the
# small lines use a 5 x 7 pixel font so that they stay sharp.

PIXEL_FONT = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "01010", "01010", "00100"],
    "Y": ["10001", "10001", "01010", "00100", "00100", "00100", "00100"],
    "Z": ["11111", "00001", "00010", "00100", "01000", "10000", "11111"],
    " ": ["000", "000", "000", "000", "000", "000", "000"],
}


def scaled(v, scale):
    """v pixels at 96 DPI on a display scaled by `scale`, rounded as MulDiv
    rounds them (halves away from zero), so that the pictures have the sizes
    the program computes for them."""
    return math.floor(v * scale + 0.5)


def cell_edges(n, scale):
    """Whole-pixel edges (from 0) of n font pixels of side `scale` in a row.
    Each font pixel becomes a block of whole pixels, so the lettering stays
    sharp at any scale; where the blocks cannot all be equal, the wider ones
    are placed so that the widths read the same from either end (a symmetric
    glyph stays symmetric), the row comes as close as it can to n * scale,
    and of two such rows the narrower is taken (the text keeps its air)."""
    if scale == int(scale):
        return [i * int(scale) for i in range(n + 1)]
    best = None
    for k in range(-8, 8):  # the row's phase, in sixteenths of a pixel
        phase = k / 16
        edges = [math.floor(i * scale + phase + 0.5) for i in range(n + 1)]
        edges = [e - edges[0] for e in edges]
        widths = [b - a for a, b in zip(edges, edges[1:])]
        key = (widths != widths[::-1], min(widths) < 1, abs(edges[-1] - n * scale),
               edges[-1], abs(phase))
        if best is None or key < best[0]:
            best = (key, edges)
    return best[1]


def pixel_text_layout(text, spacing=1, bold=False, scale=1.0):
    """Where each glyph of `text` starts, in whole pixels from the text's
    origin, and where the next one would start. A glyph starts at its place
    on the scaled grid of font pixels rounded to a whole pixel, and all its
    font pixels follow the same pattern of blocks (cell_edges): every
    instance of a letter looks alike."""
    starts = []
    units = 0
    for c in text:
        starts.append(scaled(units, scale))
        units += len(PIXEL_FONT[c][0]) + spacing + (1 if bold else 0)
    return starts, scaled(units, scale)


def pixel_text_width(text, spacing=1, bold=False, scale=1.0):
    """The inked width: from the first glyph's left edge to the last one's
    right edge."""
    starts, _ = pixel_text_layout(text, spacing, bold, scale)
    columns = len(PIXEL_FONT[text[-1]][0]) + (1 if bold else 0)
    return starts[-1] + cell_edges(columns, scale)[-1]


def draw_pixel_text(cv, x, y, text, rgb, spacing=1, bold=False, scale=1.0):
    """Sets `text` in the pixel font at the whole-pixel origin (x, y), each
    font pixel a block of about `scale` pixels. Returns where the next glyph
    would start."""
    starts, end = pixel_text_layout(text, spacing, bold, scale)
    rows_at = cell_edges(7, scale)
    paint = solid(rgb)
    for c, start in zip(text, starts):
        rows = PIXEL_FONT[c]
        columns = len(rows[0]) + (1 if bold else 0)
        cols_at = [x + start + e for e in cell_edges(columns, scale)]
        for j, row in enumerate(rows):
            top, bottom = y + rows_at[j], y + rows_at[j + 1]
            for i, bit in enumerate(row):
                if bit == "1":
                    for k in ((i, i + 1) if bold else (i,)):
                        cv.fill(Rect(cols_at[k], top, cols_at[k + 1], bottom), paint)
    return x + end


GLYPH_WIDTH = {"0": 1.0, "Q": 1.0, "7": 1.0, "X": 1.0, "-": 0.6}


def wordmark_glyph(ch, x, top, H, W, stroke, scale=1.0):
    """One glyph of the wordmark in the box (x, top, W wide, H high), drawn
    for a display scaled by `scale`."""
    bottom = top + H
    w = round(W * GLYPH_WIDTH[ch])
    box = Rect(x, top, x + w, bottom)
    if ch in "0Q":
        r = w * 0.42
        ring = RoundRect(x, top, x + w, bottom, r).minus(
            RoundRect(x + stroke, top + stroke, x + w - stroke, bottom - stroke,
                      max(0.5, r - stroke)))
        if ch == "Q":
            # The tail crosses the ring's lower right and stops one pixel
            # (at 96 DPI) below the baseline.
            d = stroke * 0.55
            reach = 1.2 * scale
            tail = Polygon([(x + w * 0.52 - d, bottom - H * 0.32 + d),
                            (x + w * 0.52 + d, bottom - H * 0.32 - d),
                            (x + w + reach, bottom - 0.5 * scale),
                            (x + w + reach - 2 * d, bottom + 1 * scale)])
            ring = ring.union(tail)
        return ring
    if ch == "X":
        d = stroke * 0.6
        a = Polygon([(x - d, top), (x + d, top), (x + w + d, bottom), (x + w - d, bottom)])
        b = Polygon([(x + w - d, top), (x + w + d, top), (x + d, bottom), (x - d, bottom)])
        return a.union(b).within(box)
    if ch == "7":
        d = stroke * 0.62
        stem = Polygon([(x + w - 2 * d, top + stroke * 0.5), (x + w, top + stroke * 0.5),
                        (x + w * 0.40 + d, bottom), (x + w * 0.40 - d, bottom)])
        return Rect(x, top, x + w, top + stroke).union(stem.within(box))
    if ch == "-":
        mid = top + round(H * 0.55)
        return Rect(x, mid - stroke // 2, x + w, mid - stroke // 2 + stroke)
    raise ValueError(ch)


def draw_wordmark(cv, text, left, top, H, W, stroke, width, rgb, scale=1.0):
    """Sets `text` on whole pixels so that it spans exactly `width` pixels,
    spreading the spare pixels over the gaps from the left. All the measures
    are whole pixels; `scale` is the display's, for the finer details."""
    inked = sum(round(W * GLYPH_WIDTH[c]) for c in text)
    gaps = len(text) - 1
    spare = width - inked
    shapes = []
    x = left
    for i, ch in enumerate(text):
        shapes.append(wordmark_glyph(ch, x, top, H, W, stroke, scale))
        x += round(W * GLYPH_WIDTH[ch])
        if i < gaps:
            x += spare // gaps + (1 if i < spare % gaps else 0)
    cv.fill(Union(*shapes), solid(rgb))


def draw_logo(scale=1.0):
    """Bitmaps 136 to 139: the instrument on the left; the maker's name, the
    model name and what it is on the right, on the window's background. Other
    scales draw the same logo afresh for a display scaled by `scale`, in a
    box of 165 x 52 pixels scaled as the program scales it (206 x 65 at
    125 %, 248 x 78 at 150 %, 330 x 104 at 200 %): every measure is scaled
    and put on whole pixels, so that the logo never has to be stretched."""
    def px(v):
        return scaled(v, scale)

    cv = Canvas(px(165), px(52), LABEL_BACKGROUND)
    draw_instrument(cv, px(4), px(6), px(40))

    subtitle = "SPECTRUM ANALYZER"
    left = px(53)
    width = pixel_text_width(subtitle, scale=scale)
    name_top = px(4)
    end = draw_pixel_text(cv, left, name_top, "TEVRA", LOGO_INK, spacing=2, scale=scale)
    # A hairline from the maker's name to the right end of the wordmark, in
    # line with the middle bars of the name's letters.
    rows_at = cell_edges(7, scale)
    cv.fill(Rect(end + px(3), name_top + rows_at[3], left + width, name_top + rows_at[4]),
            solid(LOGO_INK, 0.45))
    draw_wordmark(cv, "QX-700", left, px(14), px(22), px(15), px(4), width, LOGO_INK, scale)
    draw_pixel_text(cv, left, px(40), subtitle, SUBTITLE_INK, scale=scale)
    return cv


# ---------------------------------------------------------------------------
# File formats.

def bmp24(cv):
    """A bottom-up 24-bit BMP file."""
    stride = (cv.w * 3 + 3) & ~3
    rows = cv.rgba_rows()
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b, a in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        data += line
    header = struct.pack("<IiiHHIIiiII", 40, cv.w, cv.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    offset = 14 + len(header)
    return struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset) + header + data


def ico_bitmap(cv):
    """An icon image in the classic form: 32-bit BGRA with its AND mask."""
    rows = cv.rgba_rows()
    xor = bytearray()
    mask = bytearray()
    mask_stride = ((cv.w + 31) // 32) * 4
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (r, g, b, a) in enumerate(row):
            xor += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, cv.w, 2 * cv.h, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def ico_file(canvases, png_from=256):
    images = []
    for cv in canvases:
        data = png(cv) if cv.w >= png_from else ico_bitmap(cv)
        images.append((cv.w, cv.h, data))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for w, h, data in images:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return out


def png(cv, scale=1, background=None, compress=None):
    """A PNG file (8-bit RGBA), optionally enlarged by pixel repetition and
    laid over an opaque background. Previews pass zlib.compress, which is
    faster; the icon uses the deterministic encoder below."""
    rows = cv.rgba_rows()
    raw_rows = []
    for row in rows:
        line = bytearray()
        for r, g, b, a in row:
            if background is not None:
                k = a / 255
                r = int(r * k + background[0] * (1 - k) + 0.5)
                g = int(g * k + background[1] * (1 - k) + 0.5)
                b = int(b * k + background[2] * (1 - k) + 0.5)
                a = 255
            line += bytes((r, g, b, a)) * scale
        for _ in range(scale):
            raw_rows.append(bytes(line))
    width, height = cv.w * scale, cv.h * scale

    filtered = bytearray()
    prev = bytes(width * 4)
    for line in raw_rows:
        filtered += best_filter(line, prev, 4)
        prev = line

    def chunk(kind, payload):
        body = kind + payload
        return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", (compress or zlib_stream)(bytes(filtered))) + chunk(b"IEND", b""))


def best_filter(line, prev, bpp):
    """The PNG row filter with the smallest sum of absolute differences."""
    n = len(line)
    candidates = []
    sub = bytearray(n)
    up = bytearray(n)
    avg = bytearray(n)
    paeth = bytearray(n)
    for i in range(n):
        a = line[i - bpp] if i >= bpp else 0
        b = prev[i]
        c = prev[i - bpp] if i >= bpp else 0
        sub[i] = (line[i] - a) & 0xFF
        up[i] = (line[i] - b) & 0xFF
        avg[i] = (line[i] - (a + b) // 2) & 0xFF
        p = a + b - c
        pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
        pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
        paeth[i] = (line[i] - pred) & 0xFF
    for kind, data in ((0, line), (1, sub), (2, up), (3, avg), (4, paeth)):
        cost = sum(v if v < 128 else 256 - v for v in data)
        candidates.append((cost, kind, data))
    cost, kind, data = min(candidates, key=lambda c: (c[0], c[1]))
    return bytes((kind,)) + bytes(data)


# Deflate with the fixed Huffman codes and greedy LZ77 matching (RFC 1951).

LENGTH_BASE = [3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59,
               67, 83, 99, 115, 131, 163, 195, 227, 258]
LENGTH_EXTRA = [0] * 8 + [1] * 4 + [2] * 4 + [3] * 4 + [4] * 4 + [5] * 4 + [0]
DIST_BASE = [1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385, 513,
             769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577]
DIST_EXTRA = [0, 0, 0, 0] + [k for k in range(1, 14) for _ in (0, 1)]


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def bits(self, value, count):
        """Writes `count` bits of `value`, least significant first."""
        self.acc |= value << self.n
        self.n += count
        while self.n >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.n -= 8

    def code(self, value, count):
        """Writes a Huffman code, most significant bit first."""
        rev = 0
        for _ in range(count):
            rev = (rev << 1) | (value & 1)
            value >>= 1
        self.bits(rev, count)

    def flush(self):
        if self.n:
            self.out.append(self.acc & 0xFF)
        self.acc = self.n = 0
        return bytes(self.out)


def fixed_literal(w, sym):
    if sym < 144:
        w.code(0x30 + sym, 8)
    elif sym < 256:
        w.code(0x190 + sym - 144, 9)
    elif sym < 280:
        w.code(sym - 256, 7)
    else:
        w.code(0xC0 + sym - 280, 8)


def deflate(data):
    w = BitWriter()
    w.bits(1, 1)  # final block
    w.bits(1, 2)  # fixed Huffman codes
    heads = {}
    window = 32768
    n = len(data)
    i = 0
    while i < n:
        best_len = best_dist = 0
        if i + 3 <= n:
            key = data[i:i + 3]
            chain = heads.get(key)
            if chain:
                limit = min(258, n - i)
                for j in reversed(chain[-48:]):
                    if i - j > window:
                        break
                    k = 3
                    while k < limit and data[j + k] == data[i + k]:
                        k += 1
                    if k > best_len:
                        best_len, best_dist = k, i - j
                        if k == limit:
                            break
        if best_len >= 3:
            li = max(k for k in range(29) if LENGTH_BASE[k] <= best_len)
            fixed_literal(w, 257 + li)
            w.bits(best_len - LENGTH_BASE[li], LENGTH_EXTRA[li])
            di = max(k for k in range(30) if DIST_BASE[k] <= best_dist)
            w.code(di, 5)
            w.bits(best_dist - DIST_BASE[di], DIST_EXTRA[di])
            step = best_len
        else:
            fixed_literal(w, data[i])
            step = 1
        for p in range(i, min(i + step, n - 2)):
            heads.setdefault(data[p:p + 3], []).append(p)
        i += step
    fixed_literal(w, 256)
    return w.flush()


def zlib_stream(data):
    return b"\x78\x01" + deflate(data) + struct.pack(">I", zlib.adler32(data) & 0xFFFFFFFF)


# ---------------------------------------------------------------------------

# Icon 108 is also the file's icon in the shell, which asks for any size from
# 16 to 256. Icon 109 is the class's small icon; it is loaded with LoadIconW,
# which always asks for the system's large size (SM_CXICON), and is then drawn
# at the small size. With the 16-pixel image alone that is an exact doubling
# and halving at 100 %; a 20- or 24-pixel image would be picked instead and
# come out blurred.
LARGE_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
SMALL_SIZES = (16,)


# The logo for each display scale the program has a bitmap for: bitmaps 136
# to 139 at 100, 125, 150 and 200 %.
LOGO_SCALES = ((1.0, "logo"), (1.25, "logo125"), (1.5, "logo150"), (2.0, "logo200"))


def build():
    icons = {s: draw_icon(s) for s in sorted(set(LARGE_SIZES + SMALL_SIZES))}
    logos = {name: draw_logo(scale) for scale, name in LOGO_SCALES}
    files = {
        "qx700.ico": ico_file([icons[s] for s in LARGE_SIZES]),
        "qx700_small.ico": ico_file([icons[s] for s in SMALL_SIZES]),
    }
    for name, logo in logos.items():
        files[name + ".bmp"] = bmp24(logo)
    return files, icons, logos


def main(argv):
    check = "--check" in argv
    preview = None
    if "--preview" in argv:
        preview = argv[argv.index("--preview") + 1]
    files, icons, logos = build()
    status = 0
    for name, data in files.items():
        path = os.path.join(HERE, name)
        if check:
            try:
                with open(path, "rb") as f:
                    same = f.read() == data
            except FileNotFoundError:
                same = False
            print(("same      " if same else "DIFFERENT ") + name)
            status |= 0 if same else 1
        else:
            with open(path, "wb") as f:
                f.write(data)
    if preview:
        os.makedirs(preview, exist_ok=True)
        for s, cv in icons.items():
            scale = max(1, 256 // s) if s < 256 else 1
            for bg_name, bg in (("light", (240, 240, 240)), ("dark", (32, 32, 32))):
                with open(os.path.join(preview, "icon%d_%s.png" % (s, bg_name)), "wb") as f:
                    f.write(png(cv, scale, bg, zlib.compress))
        for name, logo in logos.items():
            with open(os.path.join(preview, name + "_x4.png"), "wb") as f:
                f.write(png(logo, 4, None, zlib.compress))
            with open(os.path.join(preview, name + ".png"), "wb") as f:
                f.write(png(logo, 1, None, zlib.compress))
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
