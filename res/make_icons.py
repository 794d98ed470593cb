#!/usr/bin/env python3
"""Draws the application icon at several sizes as PNG files.

A blue rounded square with two text lines and an arrow between them: text
going in, text coming out. Run it again after changing the drawing.
"""
import struct
import zlib

SIZES = (16, 24, 32, 48, 64, 128, 256)


def inside_rounded(x, y, size, radius):
    cx = min(max(x, radius), size - radius)
    cy = min(max(y, radius), size - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def pixel(x, y, size):
    u, v = x / size, y / size
    if not inside_rounded(x + 0.5, y + 0.5, size, size * 0.18):
        return (0, 0, 0, 0)
    shade = int(40 * v)
    colour = (30 + shade // 2, 90 + shade, 200 - shade, 255)
    white = (255, 255, 255, 255)
    amber = (255, 196, 60, 255)
    # upper text line, lower (replaced) line
    if 0.18 <= u <= 0.82 and 0.22 <= v <= 0.32:
        return white
    if 0.18 <= u <= 0.82 and 0.68 <= v <= 0.78:
        return amber
    # the arrow: shaft and head pointing down
    if 0.45 <= u <= 0.55 and 0.36 <= v <= 0.52:
        return white
    if 0.50 <= v <= 0.64 and abs(u - 0.5) <= (0.64 - v) * 1.1:
        return white
    return colour


def png(size):
    rows = b"".join(
        b"\x00" + b"".join(struct.pack("BBBB", *pixel(x, y, size)) for x in range(size))
        for y in range(size))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")


if __name__ == "__main__":
    for s in SIZES:
        with open(f"velmora-{s}.png", "wb") as f:
            f.write(png(s))
