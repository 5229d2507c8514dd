#!/usr/bin/env python3
"""Draws the launcher's icon (a box with a downward arrow) and writes it as a Windows .ico
with 16, 32 and 48 pixel images in 32-bit colour. Run once; the result is committed."""
import struct
import sys


def pixel(size, x, y):
    # Coordinates scaled to a 32 x 32 design grid.
    u = (x + 0.5) * 32.0 / size
    v = (y + 0.5) * 32.0 / size
    inside = 2 <= u <= 30 and 2 <= v <= 30
    corner = min(u - 2, 30 - u) < 4 and min(v - 2, 30 - v) < 4
    if corner:
        cx = 6 if u < 16 else 26
        cy = 6 if v < 16 else 26
        inside = inside and (u - cx) ** 2 + (v - cy) ** 2 <= 16
    if not inside:
        return (0, 0, 0, 0)
    shaft = 13 <= u <= 19 and 6 <= v <= 16
    head = 16 <= v <= 24 and abs(u - 16) <= (24 - v) * 1.1
    tray = 25 <= v <= 27 and 8 <= u <= 24
    if shaft or head or tray:
        return (255, 255, 255, 255)
    shade = int(40 * v / 32)
    return (200 - shade, 110 - shade // 2, 30, 255)  # BGRA order: a blue that darkens downwards


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        rows.append(b"".join(struct.pack("BBBB", *pixel(size, x, y)) for x in range(size)))
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def main(path):
    sizes = [16, 32, 48]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
