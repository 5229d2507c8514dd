#!/usr/bin/env python3
"""Draws the example installer's own icon (a green disc with a white leaf), the icon an author
brands a media file with in examples/installer.json: 16, 32 and 48 pixel bitmaps in 32-bit colour
and a 256 pixel PNG, as current icon editors write them. Run once; the result is committed."""
import struct
import sys
import zlib


def pixel(size, x, y):
    # Coordinates scaled to a 32 x 32 design grid; BGRA.
    u = (x + 0.5) * 32.0 / size
    v = (y + 0.5) * 32.0 / size
    if (u - 16) ** 2 + (v - 16) ** 2 > 14 ** 2:
        return (0, 0, 0, 0)
    # The leaf: the overlap of two discs, with a stem along the diagonal.
    leaf = (u - 12) ** 2 + (v - 12) ** 2 <= 81 and (u - 20) ** 2 + (v - 20) ** 2 <= 81
    stem = abs(u - v) <= 1.0 and 20 <= u <= 25
    if leaf or stem:
        return (255, 255, 255, 255)
    shade = int(50 * (u + v) / 64)
    return (60 - shade // 2, 170 - shade, 40, 255)


def bitmap(size):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        rows.append(b"".join(struct.pack("BBBB", *pixel(size, x, y)) for x in range(size)))
    xor = b"".join(rows)
    and_mask = b"\0" * (((size + 31) // 32) * 4 * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def png(size):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b""
    for y in range(size):
        row = (pixel(size, x, y) for x in range(size))
        raw += b"\0" + b"".join(bytes((r, g, b, a)) for b, g, r, a in row)  # BGRA to RGBA
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
            chunk(b"IEND", b""))


def main(path):
    images = [(16, bitmap(16)), (32, bitmap(32)), (48, bitmap(48)), (256, png(256))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
