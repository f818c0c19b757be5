#!/usr/bin/env python3
"""Draws the application icon: a small LED panel showing an "M".

Run it to regenerate marqora-<size>.png; the pictures are committed so the
build needs no Python.
"""
import struct
import zlib

PATTERN = ["X...X",
           "XX.XX",
           "X.X.X",
           "X...X",
           "X...X"]
LIT = (255, 48, 32, 255)
UNLIT = (70, 16, 12, 255)
PANEL = (16, 16, 16, 255)
FRAME = (110, 110, 110, 255)


def draw(size):
    pixels = [[(0, 0, 0, 0)] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            edge = x in (0, size - 1) or y in (0, size - 1)
            pixels[y][x] = FRAME if edge else PANEL
    cell = (size - 2) / 5.0
    radius = cell * 0.38
    for row, line in enumerate(PATTERN):
        for col, mark in enumerate(line):
            cx = 1 + (col + 0.5) * cell
            cy = 1 + (row + 0.5) * cell
            colour = LIT if mark == "X" else UNLIT
            for y in range(size):
                for x in range(size):
                    # a square dot at 16 px reads better than a blurred circle
                    inside = (abs(x + 0.5 - cx) <= radius and abs(y + 0.5 - cy) <= radius) if size <= 16 \
                        else (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= radius ** 2
                    if inside:
                        pixels[y][x] = colour
    return pixels


def png(pixels):
    size = len(pixels)
    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


if __name__ == "__main__":
    for size in (16, 32, 48, 64):
        with open("marqora-%d.png" % size, "wb") as out:
            out.write(png(draw(size)))
