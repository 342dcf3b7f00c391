#!/usr/bin/env python3
"""Draw the caption bar's expand and collapse icons.

Writes icon_expand.png and icon_collapse.png (32x32 RGBA): a dark magnifying glass on a
transparent ground, lens at the upper left, handle running to the lower right, with a plus
or a minus in the lens. Uses only the standard library, so the icons can be remade anywhere:

    tools/make_icons.py [output directory]

The default output directory is controls/decodedtextview/resources.
"""

import math
import os
import struct
import sys
import zlib

SIZE = 32
SUPERSAMPLE = 8

INK = (0x22, 0x2a, 0x33)          # dark slate, readable on light and mid-grey bars
GLASS = (0xdc, 0xe8, 0xf2, 0x50)  # faint tint so the lens reads as glass on any ground

LENS_CENTRE = (12.5, 12.5)
LENS_RADIUS = 8.6      # middle of the rim
RIM_WIDTH = 2.6
HANDLE_FROM = (19.4, 19.4)
HANDLE_TO = (28.0, 28.0)
HANDLE_WIDTH = 4.6
SIGN_HALF_LENGTH = 4.5
SIGN_WIDTH = 3.0


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def ink_at(x, y, plus):
    cx, cy = LENS_CENTRE
    r = math.hypot(x - cx, y - cy)
    if abs(r - LENS_RADIUS) <= RIM_WIDTH / 2:
        return True
    if segment_distance(x, y, *HANDLE_FROM, *HANDLE_TO) <= HANDLE_WIDTH / 2:
        return True
    # Square-ended bars of the sign.
    half = SIGN_WIDTH / 2
    if abs(y - cy) <= half and abs(x - cx) <= SIGN_HALF_LENGTH:
        return True
    if plus and abs(x - cx) <= half and abs(y - cy) <= SIGN_HALF_LENGTH:
        return True
    return False


def glass_at(x, y):
    cx, cy = LENS_CENTRE
    return math.hypot(x - cx, y - cy) < LENS_RADIUS


def render(plus):
    rows = []
    n = SUPERSAMPLE * SUPERSAMPLE
    for py in range(SIZE):
        row = bytearray()
        for px in range(SIZE):
            ink = glass = 0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = px + (sx + 0.5) / SUPERSAMPLE
                    y = py + (sy + 0.5) / SUPERSAMPLE
                    if ink_at(x, y, plus):
                        ink += 1
                    elif glass_at(x, y):
                        glass += 1
            a_ink = ink / n
            a_glass = glass / n * GLASS[3] / 255
            alpha = a_ink + a_glass
            if alpha <= 0:
                row += bytes(4)
                continue
            colour = [(INK[i] * a_ink + GLASS[i] * a_glass) / alpha for i in range(3)]
            row += bytes(round(c) for c in colour) + bytes([round(min(alpha, 1.0) * 255)])
        rows.append(bytes(row))
    return rows


def png(rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xffffffff)

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    raw = b"".join(b"\x00" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        here, "..", "controls", "decodedtextview", "resources")
    os.makedirs(out, exist_ok=True)
    for name, plus in (("icon_expand.png", True), ("icon_collapse.png", False)):
        with open(os.path.join(out, name), "wb") as f:
            f.write(png(render(plus)))


if __name__ == "__main__":
    main()
