"""PNG and Windows .ico encoding from 8-bit RGBA images.

The deflate stream is written here (fixed Huffman codes, greedy matching)
rather than by zlib.compress, whose output may change with the zlib build:
the icons must come out byte for byte the same on every machine.
"""

import struct
import zlib

_LENGTH_BASE = [3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
                35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258]
_LENGTH_EXTRA = [0] * 8 + [1] * 4 + [2] * 4 + [3] * 4 + [4] * 4 + [5] * 4 + [0]
_DIST_BASE = [1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385, 513, 769,
              1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577]
_DIST_EXTRA = [0, 0, 0, 0] + [n for n in range(1, 14) for _ in (0, 1)]
_WINDOW = 32768
_MAX_MATCH = 258
_CHAIN = 8


class _Bits:
    def __init__(self):
        self.out, self.acc, self.count = bytearray(), 0, 0

    def put(self, value, nbits):
        self.acc |= value << self.count
        self.count += nbits
        while self.count >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.count -= 8

    def huffman(self, code, nbits):
        # Huffman codes go most significant bit first into an LSB-first stream.
        self.put(int(format(code, "0%db" % nbits)[::-1], 2), nbits)

    def flush(self):
        if self.count:
            self.out.append(self.acc & 0xFF)
        return bytes(self.out)


def _symbol(bits, sym):
    if sym < 144:
        bits.huffman(0x30 + sym, 8)
    elif sym < 256:
        bits.huffman(0x190 + sym - 144, 9)
    elif sym < 280:
        bits.huffman(sym - 256, 7)
    else:
        bits.huffman(0xC0 + sym - 280, 8)


def _match(bits, length, distance):
    code = max(i for i, base in enumerate(_LENGTH_BASE) if base <= length)
    _symbol(bits, 257 + code)
    bits.put(length - _LENGTH_BASE[code], _LENGTH_EXTRA[code])
    code = max(i for i, base in enumerate(_DIST_BASE) if base <= distance)
    bits.huffman(code, 5)
    bits.put(distance - _DIST_BASE[code], _DIST_EXTRA[code])


def zlib_stream(data):
    """A zlib stream of data: one fixed-Huffman block, deterministic."""
    bits = _Bits()
    bits.put(1, 1)  # final block
    bits.put(1, 2)  # fixed codes
    recent = {}
    i, n = 0, len(data)
    while i < n:
        best_len, best_dist = 0, 0
        key = data[i:i + 3]
        if len(key) == 3:
            for start in reversed(recent.get(key, ())):
                if i - start > _WINDOW:
                    break
                limit = min(_MAX_MATCH, n - i)
                length = 3
                while length < limit and data[start + length] == data[i + length]:
                    length += 1
                if length > best_len:
                    best_len, best_dist = length, i - start
                    if length == limit:
                        break
            chain = recent.setdefault(key, [])
            chain.append(i)
            del chain[:-_CHAIN]
        if best_len >= 3:
            _match(bits, best_len, best_dist)
            i += best_len
        else:
            _symbol(bits, data[i])
            i += 1
    _symbol(bits, 256)
    return b"\x78\x01" + bits.flush() + struct.pack(">I", zlib.adler32(data))


def png(width, height, rgba):
    """PNG, 8-bit RGBA, every row with the Sub filter."""
    stride = width * 4
    raw = bytearray()
    for y in range(height):
        row = rgba[y * stride:(y + 1) * stride]
        raw.append(1)
        raw += row[:4]
        raw += bytes((row[x] - row[x - 4]) & 0xFF for x in range(4, stride))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib_stream(bytes(raw)))
            + chunk(b"IEND", b""))


def _dib(size, rgba):
    """BITMAPINFOHEADER, bottom-up BGRA colour rows, then the 1-bit AND mask."""
    mask_stride = (size + 31) // 32 * 4
    colour, mask = bytearray(), bytearray()
    for y in reversed(range(size)):
        row_mask = bytearray(mask_stride)
        for x in range(size):
            r, g, b, a = rgba[(y * size + x) * 4:(y * size + x) * 4 + 4]
            colour += bytes((b, g, r, a))
            # Mostly transparent pixels stay out where alpha is ignored.
            if a < 128:
                row_mask[x // 8] |= 0x80 >> (x % 8)
        mask += row_mask
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour) + len(mask),
                         0, 0, 0, 0)
    return header + colour + mask


def ico(images, png_from=256):
    """An .ico file from [(size, rgba bytes)]: bitmaps below png_from, PNG from it on."""
    blobs = [png(s, s, px) if s >= png_from else _dib(s, px) for s, px in images]
    offset = 6 + 16 * len(images)
    out = struct.pack("<HHH", 0, 1, len(images))
    for (size, _), blob in zip(images, blobs):
        dim = size if size < 256 else 0  # 0 stands for 256
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)
