"""Contact sheet of the icons for a human eye: every icon at every size on a
light and a dark taskbar colour, the 16 px images magnified 8 times, and the
four tray states at 16 px as seen with the common colour-vision deficiencies.
"""

import glyph
import icon_file
import raster

BACKGROUNDS = [(0.933, 0.933, 0.933, 1.0), (0.125, 0.125, 0.125, 1.0)]  # light, dark taskbar
GAP = 12
TRAY = [2, 3, 4, 5]
# Rows of a panel: icon 1 at every size (up to 256 px), the tray icons at every
# size (up to 32 px), every 16 px image magnified 8 times, the tray icons at
# 16 px magnified 3 times for each kind of vision.
PANEL_HEIGHT = GAP + 256 + GAP + 32 + GAP + 16 * 8 + GAP + 16 * 3 + GAP

# Machado, Oliveira and Fernandes (2009), full severity, on linear RGB.
VISION = [
    None,
    ((0.152286, 1.052583, -0.204868), (0.114503, 0.786281, 0.099216),
     (-0.003882, -0.048116, 1.051998)),  # protanopia
    ((0.367322, 0.860646, -0.227968), (0.280085, 0.672501, 0.047413),
     (-0.011820, 0.042940, 0.968881)),  # deuteranopia
    ((1.255528, -0.076749, -0.178779), (-0.078411, 0.930809, 0.147602),
     (0.004733, 0.691367, 0.303900)),  # tritanopia
]


def _linear(c):
    return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4


def _encoded(c):
    c = min(1.0, max(0.0, c))
    return c * 12.92 if c <= 0.0031308 else 1.055 * c ** (1 / 2.4) - 0.055


def _simulate(pixel, matrix):
    r, g, b, a = pixel
    lin = (_linear(r), _linear(g), _linear(b))
    out = [_encoded(sum(m * v for m, v in zip(row, lin))) for row in matrix]
    return (out[0], out[1], out[2], a)


def _place(sheet, image, x0, y0, zoom=1, matrix=None):
    for y in range(image.height * zoom):
        for x in range(image.width * zoom):
            src = image.pixels[(y // zoom) * image.width + x // zoom]
            if src[3] > 0.0:
                if matrix:
                    src = _simulate(src, matrix)
                at = (y0 + y) * sheet.width + x0 + x
                sheet.pixels[at] = raster.over(src, sheet.pixels[at])


def contact_sheet():
    """The sheet as PNG bytes."""
    icons = {n: {s: glyph.icon(n, s) for s in glyph.sizes(n)} for n in [1] + TRAY}
    width = GAP + sum(s + GAP for s in glyph.APP_SIZES)
    width = max(width, GAP + len(VISION) * (len(TRAY) * (48 + GAP // 2) + GAP))
    sheet = raster.Image(width, PANEL_HEIGHT * len(BACKGROUNDS))
    for panel, background in enumerate(BACKGROUNDS):
        top = panel * PANEL_HEIGHT
        sheet.pixels[top * width:(top + PANEL_HEIGHT) * width] = [background] * (
            width * PANEL_HEIGHT)
        x, y = GAP, top + GAP
        for s in glyph.APP_SIZES:
            _place(sheet, icons[1][s], x, y + 256 - s)
            x += s + GAP
        x, y = GAP, y + 256 + GAP
        for n in TRAY:
            for s in glyph.TRAY_SIZES:
                _place(sheet, icons[n][s], x, y + 32 - s)
                x += s + GAP // 2
            x += GAP
        x, y = GAP, y + 32 + GAP
        for n in [1] + TRAY:
            _place(sheet, icons[n][16], x, y, zoom=8)
            x += 128 + GAP
        x, y = GAP, y + 128 + GAP
        for matrix in VISION:
            for n in TRAY:
                _place(sheet, icons[n][16], x, y, zoom=3, matrix=matrix)
                x += 48 + GAP // 2
            x += GAP
    return icon_file.png(width, sheet.height, sheet.rgba8())
