#!/usr/bin/env python3
"""Draws the program's icon: a black and a white stone on a corner of a Go
board. Writes icons/kirato-<size>.png beside this script, with nothing but
the standard library, so the images can be made again on any machine."""

import math
import os
import struct
import zlib

SIZES = (32, 48, 64, 128, 256)
SAMPLES = 4  # per axis and pixel, for smooth edges

WOOD_LIGHT = (232, 190, 110)
WOOD_DARK = (205, 150, 72)
LINE = (70, 45, 20)
GRID = (0.22, 0.5, 0.78)
LINE_HALF_WIDTH = 0.014
STONE_RADIUS = 0.135
STONES = (  # x, y, colour
    (0.5, 0.5, "black"),
    (0.78, 0.5, "white"),
    (0.5, 0.78, "white"),
    (0.22, 0.22, "black"),
)


def over(dst, src):
    """Puts the colour src (r, g, b, a with a in 0..1) over dst."""
    sr, sg, sb, sa = src
    dr, dg, db, da = dst
    a = sa + da * (1 - sa)
    if a == 0:
        return (0.0, 0.0, 0.0, 0.0)
    mix = lambda s, d: (s * sa + d * da * (1 - sa)) / a
    return (mix(sr, dr), mix(sg, dg), mix(sb, db), a)


def inside_rounded_square(x, y, margin=0.03, radius=0.13):
    lo, hi = margin + radius, 1 - margin - radius
    cx = min(max(x, lo), hi)
    cy = min(max(y, lo), hi)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and margin <= x <= 1 - margin and margin <= y <= 1 - margin


def board(x, y):
    t = (x + y) / 2
    grain = 0.5 + 0.5 * math.sin(y * 40 + math.sin(x * 7) * 2)
    mix = min(1.0, 0.6 * t + 0.25 * grain)
    return tuple(l + (d - l) * mix for l, d in zip(WOOD_LIGHT, WOOD_DARK))


def on_line(x, y):
    lo, hi = GRID[0] - LINE_HALF_WIDTH, GRID[-1] + LINE_HALF_WIDTH
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    return any(abs(x - g) <= LINE_HALF_WIDTH or abs(y - g) <= LINE_HALF_WIDTH for g in GRID)


def stone(x, y, sx, sy, colour):
    """The stone's colour at (x, y), or None outside it. Lit from the upper
    left: a soft highlight on the black stone, a shaded rim on the white."""
    d = math.hypot(x - sx, y - sy) / STONE_RADIUS
    if d > 1:
        return None
    hx, hy = sx - 0.4 * STONE_RADIUS, sy - 0.4 * STONE_RADIUS
    h = min(1.0, math.hypot(x - hx, y - hy) / (1.4 * STONE_RADIUS))
    if colour == "black":
        light = 0.45 * (1 - h) ** 2
        return tuple(20 + 130 * light for _ in range(3))
    shade = 0.28 * h ** 2
    return (248 - 120 * shade, 246 - 120 * shade, 238 - 115 * shade)


def shadow(x, y, sx, sy):
    d = math.hypot(x - sx - 0.018, y - sy - 0.026) / (STONE_RADIUS * 1.04)
    return max(0.0, min(1.0, (1.12 - d) * 4)) * 0.35


def sample(x, y):
    if not inside_rounded_square(x, y):
        return (0.0, 0.0, 0.0, 0.0)
    colour = board(x, y) + (1.0,)
    if on_line(x, y):
        colour = over(colour, LINE + (0.9,))
    for sx, sy, _ in STONES:
        s = shadow(x, y, sx, sy)
        if s > 0:
            colour = over(colour, (0, 0, 0, s))
    for sx, sy, kind in STONES:
        rgb = stone(x, y, sx, sy, kind)
        if rgb is not None:
            colour = over(colour, rgb + (1.0,))
    return colour


def render(size):
    rows = []
    n = SAMPLES * SAMPLES
    for py in range(size):
        row = bytearray([0])  # filter type: none
        for px in range(size):
            r = g = b = a = 0.0
            for j in range(SAMPLES):
                for i in range(SAMPLES):
                    x = (px + (i + 0.5) / SAMPLES) / size
                    y = (py + (j + 0.5) / SAMPLES) / size
                    sr, sg, sb, sa = sample(x, y)
                    r += sr * sa
                    g += sg * sa
                    b += sb * sa
                    a += sa
            if a > 0:
                row += bytes(round(min(255, c / a)) for c in (r, g, b))
            else:
                row += bytes(3)
            row.append(round(255 * a / n))
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons")
    os.makedirs(out, exist_ok=True)
    for size in SIZES:
        with open(os.path.join(out, "kirato-%d.png" % size), "wb") as f:
            f.write(png(size, render(size)))


if __name__ == "__main__":
    main()
