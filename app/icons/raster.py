"""Signed-distance shapes and an anti-aliasing rasteriser for the icons.

Coordinates are pixels of the target image, y pointing down. A shape is a
function (x, y) -> signed distance: negative inside. Every primitive returns a
lower bound of the true distance, so a pixel whose centre is further than half
a diagonal from the edge is wholly in or out and only edge pixels are
supersampled. Only + - * / and sqrt are used (no pow, no trigonometry), which
IEEE arithmetic rounds identically everywhere: the same output on every
machine.
"""

from math import sqrt

HALF_DIAGONAL = 0.7072  # a hair over sqrt(2) / 2


def circle(cx, cy, r):
    def d(x, y):
        px, py = x - cx, y - cy
        return sqrt(px * px + py * py) - r

    return d


def box(x0, y0, x1, y1, r=0.0):
    """Axis-aligned box with corners rounded by r."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def d(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        if qx > 0.0 and qy > 0.0:
            return sqrt(qx * qx + qy * qy) - r
        return (qx if qx > qy else qy) - r

    return d


def arc(cx, cy, radius, width, ux, uy):
    """Stroke along a circle, symmetric about the +x axis, round ends.

    (ux, uy) is the direction of the lower end, a unit vector given exactly
    (e.g. 0.6, 0.8) so that no trigonometry enters the result.
    """
    ex, ey = radius * ux, radius * uy
    half = width / 2

    def d(x, y):
        px, py = x - cx, abs(y - cy)
        if px * uy > py * ux:  # inside the opening angle
            return abs(sqrt(px * px + py * py) - radius) - half
        qx, qy = px - ex, py - ey
        return sqrt(qx * qx + qy * qy) - half

    return d


def union(*shapes):
    return lambda x, y: min([s(x, y) for s in shapes])


def smooth_union(a, b, k):
    """Union with the seam filled over a band of width k (quadratic blend).

    The blend's gradient is a convex mix of the two, so it stays a lower bound.
    """

    def d(x, y):
        da, db = a(x, y), b(x, y)
        h = max(k - abs(da - db), 0.0) / k
        return min(da, db) - h * h * k * 0.25

    return d


def subtract(shape, cut):
    return lambda x, y: max(shape(x, y), -cut(x, y))


def grow(shape, amount):
    return lambda x, y: shape(x, y) - amount


def coverage(shape, size, samples, levels=(0.0,)):
    """Fraction of each pixel where shape < level, one list per level.

    Lists are row-major, top row first. A level above 0 covers the shape grown
    by that much, so a rim costs no second pass over the samples. samples x
    samples points per edge pixel make every value an exact multiple of
    1 / samples^2.
    """
    step = 1.0 / samples
    offsets = [(i + 0.5) * step for i in range(samples)]
    total = float(samples * samples)
    out = [[] for _ in levels]
    for py in range(size):
        for px in range(size):
            d = shape(px + 0.5, py + 0.5)
            if all(abs(d - level) >= HALF_DIAGONAL for level in levels):
                for cover, level in zip(out, levels):
                    cover.append(1.0 if d < level else 0.0)
                continue
            ds = [shape(px + ox, py + oy) for oy in offsets for ox in offsets]
            for cover, level in zip(out, levels):
                cover.append(sum(1 for v in ds if v < level) / total)
    return out


class Image:
    """Straight (not premultiplied) RGBA, channels 0..1, row-major, top row first."""

    def __init__(self, width, height, fill=(0.0, 0.0, 0.0, 0.0)):
        self.width, self.height = width, height
        self.pixels = [fill] * (width * height)

    def paint(self, cover, colour):
        """Composites colour through a coverage mask of the image's size, source over.

        colour is (r, g, b, a) or a function of the pixel row giving one.
        """
        for i, c in enumerate(cover):
            if c > 0.0:
                r, g, b, a = colour(i // self.width) if callable(colour) else colour
                self.pixels[i] = over((r, g, b, a * c), self.pixels[i])

    def rgba8(self):
        """Bytes R, G, B, A per pixel; transparent pixels are all zero."""
        out = bytearray()
        for r, g, b, a in self.pixels:
            if to8(a) == 0:
                out += b"\0\0\0\0"
            else:
                out += bytes((to8(r), to8(g), to8(b), to8(a)))
        return bytes(out)


def over(src, dst):
    sr, sg, sb, sa = src
    dr, dg, db, da = dst
    keep = da * (1.0 - sa)
    a = sa + keep
    if a <= 0.0:
        return (0.0, 0.0, 0.0, 0.0)
    return ((sr * sa + dr * keep) / a, (sg * sa + dg * keep) / a, (sb * sa + db * keep) / a, a)


def to8(v):
    return min(255, max(0, int(v * 255.0 + 0.5)))
