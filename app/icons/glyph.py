"""The product glyph and the five icons drawn from it.

The glyph is a bare right footprint with two sound arcs beside it: a step
that is heard. It is laid out on a 16-unit grid and every edge is rounded to
whole pixels at each size, so at 16 px the toes and strokes sit on pixels.
"""

import raster


def _rgb(hex_text, alpha=1.0):
    v = int(hex_text, 16)
    return ((v >> 16) / 255.0, ((v >> 8) & 0xFF) / 255.0, (v & 0xFF) / 255.0, alpha)


# A dark rim under every tray glyph carries near-white and grey on a light
# taskbar; on a dark taskbar it vanishes and the fill carries itself.
RIM = _rgb("000000", 0.55)

TRAY_FILLS = {
    2: _rgb("E63629"),  # red: on and processing
    3: _rgb("F4F4F4"),  # near-white: on, waiting for the game
    4: _rgb("A8A8A8"),  # mid-grey: off, lighter than the red for every eye
    5: _rgb("FFB000"),  # amber: needs the user, also badged
}
ATTENTION = 5

# The application icon: the red of "processing", lighter at the top.
APP_TOP, APP_BOTTOM = _rgb("FF6A4D"), _rgb("D81E2C")
APP_RIM = _rgb("000000", 0.35)

TRAY_SIZES = [16, 20, 24, 32]
APP_SIZES = [16, 20, 24, 32, 40, 48, 64, 96, 128, 256]

# Lower end of each sound arc, 46 degrees below the axis: an exact
# 20-21-29 triangle keeps trigonometry (and its last-bit differences between
# machines) out of the pixels.
ARC_END = (20 / 29, 21 / 29)


class _Grid:
    """Design units (16 per icon side) to pixels, edges rounded to whole pixels."""

    def __init__(self, size):
        self.k = size / 16.0

    def edge(self, v):
        return float(round(v * self.k))

    def length(self, v):
        return v * self.k

    def box(self, x0, y0, x1, y1, r):
        return raster.box(self.edge(x0), self.edge(y0), self.edge(x1), self.edge(y1),
                          self.length(r))

    def arc(self, cx, cy, inner, outer):
        """Sound arc about (cx, cy) whose stroke crosses the axis from inner to outer."""
        a, b = self.edge(inner), self.edge(outer)
        centre = self.length(cx)
        return raster.arc(centre, self.length(cy), (a + b) / 2 - centre, b - a, *ARC_END)


def glyph(size):
    g = _Grid(size)
    blend = g.length(1.5)
    ball = g.box(1, 5, 8, 11, 3)
    arch = g.box(3.5, 9, 7, 13, 1.5)  # the outer edge; the inner side stays hollow
    heel = g.box(2, 11, 6.5, 15, 2.25)
    sole = raster.smooth_union(raster.smooth_union(ball, arch, blend), heel, blend)
    toes = raster.union(g.box(1, 1, 4, 4, 1.5), g.box(5, 1, 7, 3, 1), g.box(7, 3, 9, 5, 1))
    return raster.union(sole, toes, g.arc(7, 9, 10, 12), g.arc(7, 9, 13, 15))


def badge(size):
    """Attention badge, lower right: a disc and the exclamation mark cut from it."""
    g = _Grid(size)
    disc = raster.circle(g.length(12.5), g.length(12.5), g.length(3.5))
    mark = raster.union(g.box(12, 10, 13, 13, 0), g.box(12, 14, 13, 15, 0))
    return disc, mark


SAMPLES = 8  # per side of an edge pixel: 65 steps of coverage


def tray_icon(number, size):
    """Icons 2 to 5: the glyph in the state's colour over a dark rim."""
    rim = float(max(1, size // 16))
    fill = TRAY_FILLS[number]
    shape = glyph(size)
    image = raster.Image(size, size)
    if number == ATTENTION:
        disc, mark = badge(size)
        shape = raster.subtract(shape, raster.grow(disc, 2 * rim))
    outline, body = raster.coverage(shape, size, SAMPLES, (rim, 0.0))
    image.paint(outline, RIM)
    image.paint(body, fill)
    if number == ATTENTION:
        # The mark shows the rim through the disc: dark on either taskbar.
        image.paint(raster.coverage(disc, size, SAMPLES, (rim,))[0], RIM)
        image.paint(raster.coverage(raster.subtract(disc, mark), size, SAMPLES)[0], fill)
    return image


def app_icon(size):
    """Icon 1: the glyph in a red gradient with a faint rim for light backgrounds."""
    outline, body = raster.coverage(glyph(size), size, SAMPLES, (max(1.0, size / 64.0), 0.0))
    image = raster.Image(size, size)
    image.paint(outline, APP_RIM)

    def gradient(y):
        t = (y + 0.5) / size
        return tuple(top + (bottom - top) * t for top, bottom in zip(APP_TOP, APP_BOTTOM))

    image.paint(body, gradient)
    return image


def icon(number, size):
    return app_icon(size) if number == 1 else tray_icon(number, size)


def sizes(number):
    return APP_SIZES if number == 1 else TRAY_SIZES
