"""Tests of the icon generator: reproducible bytes, .ico structure, the deflate
stream, and the rule that only the attention state differs in shape."""

import os
import random
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib
from math import atan2, pi
from unittest import mock

HERE = os.path.dirname(os.path.abspath(__file__))
# Keep compiled modules out of the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, HERE)

import glyph  # noqa: E402
import icon_file  # noqa: E402
import raster  # noqa: E402


def generate(folder, hash_seed):
    env = dict(os.environ, PYTHONHASHSEED=hash_seed)
    subprocess.run([sys.executable, os.path.join(HERE, "make_icons.py"), "--out", folder],
                   check=True, env=env, cwd=folder)
    icons = {}
    for n in range(1, 6):
        with open(os.path.join(folder, "icon%d.ico" % n), "rb") as f:
            icons[n] = f.read()
    return icons


def png_pixels(data):
    """(width, height, RGBA bytes) of a PNG from icon_file.png; checks every chunk's CRC."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    chunks, at = {}, 8
    while at < len(data):
        length, kind = struct.unpack_from(">I4s", data, at)
        body = data[at + 8:at + 8 + length]
        assert struct.unpack_from(">I", data, at + 8 + length)[0] == zlib.crc32(kind + body)
        chunks[kind], at = body, at + 12 + length
    width, height, depth, colour_type = struct.unpack_from(">IIBB", chunks[b"IHDR"])
    assert (depth, colour_type) == (8, 6) and b"IEND" in chunks
    raw, stride, out = zlib.decompress(chunks[b"IDAT"]), width * 4, bytearray()
    for y in range(height):
        row = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        assert row[0] == 1  # Sub
        line = bytearray(row[1:])
        for x in range(4, stride):
            line[x] = (line[x] + line[x - 4]) & 0xFF
        out += line
    return width, height, bytes(out)


class RasterTest(unittest.TestCase):
    def test_coverage_measures_area(self):
        arc_angle = 2 * atan2(21, 20)
        cases = [
            ("box on pixel edges", raster.box(2, 3, 7, 5), 10.0, 0.0),
            ("box on a half pixel", raster.box(2.5, 3, 7, 5), 9.0, 0.0),
            ("circle", raster.circle(8, 8, 5), pi * 25, 0.3),
            ("arc", raster.arc(3, 8, 6, 2, 20 / 29, 21 / 29), 6 * 2 * arc_angle + pi, 0.3),
        ]
        for name, shape, area, tolerance in cases:
            with self.subTest(name):
                self.assertAlmostEqual(sum(raster.coverage(shape, 16, 8)[0]), area,
                                       delta=tolerance)

    def test_skipping_pixels_far_from_edges_loses_no_edge(self):
        # Holds only while every shape bounds its distance from below.
        for size in glyph.TRAY_SIZES:
            disc, mark = glyph.badge(size)
            for shape in (glyph.glyph(size), raster.subtract(disc, mark)):
                fast = raster.coverage(shape, size, 4, (1.0, 0.0))
                with mock.patch.object(raster, "HALF_DIAGONAL", float("inf")):
                    self.assertEqual(fast, raster.coverage(shape, size, 4, (1.0, 0.0)))

    def test_pixels_keep_straight_alpha(self):
        image = raster.Image(3, 1)
        image.paint([0.5, 1.0, 0.001], (1.0, 0.0, 0.0, 1.0))
        image.paint([1.0, 0.0, 0.0], (0.0, 0.0, 1.0, 0.5))
        self.assertEqual(image.rgba8(), bytes([85, 0, 170, 191, 255, 0, 0, 255, 0, 0, 0, 0]))


class IconsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with tempfile.TemporaryDirectory() as a, tempfile.TemporaryDirectory() as b:
            cls.first, cls.second = generate(a, "1"), generate(b, "2")

    def test_two_runs_write_identical_bytes(self):
        self.assertEqual(self.first, self.second)

    def test_icons_have_the_sizes_and_well_formed_entries(self):
        for n, data in self.first.items():
            with self.subTest(icon=n):
                reserved, kind, count = struct.unpack_from("<HHH", data)
                sizes = glyph.sizes(n)
                self.assertEqual((reserved, kind, count), (0, 1, len(sizes)))
                offset = 6 + 16 * count
                for i, size in enumerate(sizes):
                    w, h, colours, _, planes, bits, length, at = struct.unpack_from(
                        "<BBBBHHII", data, 6 + 16 * i)
                    self.assertEqual((w, h, colours, planes, bits), (size % 256, size % 256, 0, 1, 32))
                    self.assertEqual(at, offset)
                    self.check_image(data[at:at + length], n, size)
                    offset += length
                self.assertEqual(offset, len(data))

    def check_image(self, blob, n, size):
        expected = glyph.icon(n, size).rgba8() if size <= 32 else None
        if size == 256:
            self.assertEqual(png_pixels(blob)[:2], (256, 256))
            return
        header = struct.unpack_from("<IiiHHIIiiII", blob)
        mask_stride = (size + 31) // 32 * 4
        self.assertEqual(header[:6], (40, size, 2 * size, 1, 32, 0))
        self.assertEqual(len(blob), 40 + size * size * 4 + mask_stride * size)
        self.assertEqual(header[6], len(blob) - 40)
        if expected is None:
            return
        # Rows are stored bottom-up, BGRA; the AND mask marks mostly clear pixels.
        for y in range(size):
            row = (size - 1 - y) * size * 4 + 40
            mask = 40 + size * size * 4 + (size - 1 - y) * mask_stride
            for x in range(size):
                b, g, r, a = blob[row + x * 4:row + x * 4 + 4]
                self.assertEqual(bytes((r, g, b, a)), expected[(y * size + x) * 4:(y * size + x + 1) * 4])
                self.assertEqual(bool(blob[mask + x // 8] & (0x80 >> (x % 8))), a < 128)

    def test_only_the_attention_state_changes_the_shape(self):
        for size in glyph.TRAY_SIZES:
            alpha = {n: glyph.icon(n, size).rgba8()[3::4] for n in (2, 3, 4, 5)}
            self.assertEqual(alpha[2], alpha[3])
            self.assertEqual(alpha[2], alpha[4])
            self.assertNotEqual(alpha[2], alpha[5])

    def test_deflate_and_png_round_trip(self):
        rng = random.Random(7)
        cases = [b"", b"a", b"\0" * 70000, bytes(rng.randrange(256) for _ in range(5000)),
                 b"step" * 9000 + b"x" + b"step" * 9000, bytes(range(256)) * 300]
        for data in cases:
            with self.subTest(length=len(data)):
                self.assertEqual(zlib.decompress(icon_file.zlib_stream(data)), data)
        pixels = bytes(rng.randrange(256) for _ in range(5 * 3 * 4))
        self.assertEqual(png_pixels(icon_file.png(5, 3, pixels)), (5, 3, pixels))


if __name__ == "__main__":
    unittest.main()
