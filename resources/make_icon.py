#!/usr/bin/env python3
"""Writes app.ico: ten images, 16 to 256 pixels, of one simple mark.

The mark is a rounded blue square holding a white downward arrow over a bar ("install").
Every image is drawn at its own size (supersampled for smooth edges) and stored as PNG,
which Windows Vista and later accept inside icon files. Run: python3 make_icon.py [out.ico]
"""
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 96, 128, 256)
BLUE = (0x1F, 0x5F, 0xB4)
WHITE = (0xFF, 0xFF, 0xFF)
SUPERSAMPLE = 4


def inside_rounded_square(x, y):
    margin, radius = 0.04, 0.18
    lo, hi = margin + radius, 1 - margin - radius
    cx, cy = min(max(x, lo), hi), min(max(y, lo), hi)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and margin <= x <= 1 - margin and margin <= y <= 1 - margin


def inside_mark(x, y):
    shaft = 0.42 <= x <= 0.58 and 0.18 <= y <= 0.52
    head = 0.50 <= y <= 0.70 and abs(x - 0.5) <= (0.70 - y) * 1.2
    bar = 0.22 <= x <= 0.78 and 0.76 <= y <= 0.84
    return shaft or head or bar


def render(size):
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = bytearray([0])  # PNG filter: none
        for px in range(size):
            cover = mark = 0
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    if inside_rounded_square(x, y):
                        cover += 1
                        mark += inside_mark(x, y)
            if cover == 0:
                row += bytes(4)
                continue
            t = mark / cover
            rgb = [round(b + (w - b) * t) for b, w in zip(BLUE, WHITE)]
            row += bytes(rgb + [round(255 * cover / (n * n))])
        rows.append(bytes(row))
    return png(size, b"".join(rows))


def png(size, raw):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "app.ico"
    images = [render(size) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        side = 0 if size == 256 else size  # 0 means 256 in an icon directory
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(out, "wb") as f:
        f.write(directory + b"".join(images))


if __name__ == "__main__":
    main()
