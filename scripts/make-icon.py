#!/usr/bin/env python3
"""Draws the program icon, a database on a shield, and writes it as a .ico
with 16, 32 and 48 pixel images, each in 256 colours and in 24-bit colour.

Usage: make-icon.py OUTPUT.ico   (Python 3 standard library only)
"""
import math
import struct
import sys

SIZES = (16, 32, 48)
SAMPLES = 4  # per pixel and axis, for smooth edges

NAVY = (16, 38, 92)
BLUE_TOP = (52, 116, 204)
BLUE_BOTTOM = (20, 62, 150)
DISC = (236, 240, 246)
DISC_TOP = (255, 255, 255)
DISC_LINE = (70, 84, 112)


def shield_half_width(v):
    """Half the shield's width at height v (0 top, 1 bottom), or None."""
    if v < 0.05 or v > 0.97:
        return None
    if v <= 0.52:
        return 0.40
    t = (v - 0.52) / 0.45
    return 0.40 * math.sqrt(max(0.0, 1.0 - t * t))


def colour_at(u, v):
    """The colour of the icon at (u, v) in the unit square, or None."""
    half = shield_half_width(v)
    if half is None or abs(u - 0.5) > half:
        return None
    # A dark rim, then a blue fill that darkens downwards.
    inner = shield_half_width(v + 0.06) if v < 0.91 else None
    if v < 0.11 or inner is None or abs(u - 0.5) > min(half - 0.06, inner):
        return NAVY
    # The database: three stacked discs, the top one seen from above.
    cx, rx, ry = 0.5, 0.21, 0.065
    top, bottom = 0.27, 0.70
    du = (u - cx) / rx
    if abs(du) <= 1.0:
        bulge = ry * math.sqrt(1.0 - du * du)
        if top - bulge <= v <= top + bulge:
            edge = (du * du) + ((v - top) / ry) ** 2
            return DISC_LINE if edge > 0.72 else DISC_TOP
        if top <= v <= bottom + bulge:
            for seam in (top + (bottom - top) / 3, top + 2 * (bottom - top) / 3, bottom):
                if abs(v - (seam + bulge)) < 0.022:
                    return DISC_LINE
            if abs(du) > 0.9:
                return DISC_LINE
            return DISC
    t = (v - 0.11) / 0.8
    return tuple(round(a + (b - a) * t) for a, b in zip(BLUE_TOP, BLUE_BOTTOM))


def render(size):
    """Rows top to bottom of (r, g, b) or None for transparent pixels."""
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            hits = []
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    u = (x + (sx + 0.5) / SAMPLES) / size
                    v = (y + (sy + 0.5) / SAMPLES) / size
                    c = colour_at(u, v)
                    if c is not None:
                        hits.append(c)
            if len(hits) * 2 < SAMPLES * SAMPLES:
                row.append(None)
            else:
                row.append(tuple(round(sum(c[i] for c in hits) / len(hits)) for i in range(3)))
        rows.append(row)
    return rows


def palette_for(rows):
    """Up to 256 colours: those of the image, merged by a coarse grid when
    there are more."""
    colours = sorted({c for row in rows for c in row if c is not None})
    step = 1
    while len(colours) > 255:
        step *= 2
        colours = sorted({tuple(min(255, (ch // step) * step + step // 2) for ch in c)
                          for c in colours})
    return [(0, 0, 0)] + colours  # index 0 under the transparent pixels


def nearest(palette, c):
    return min(range(1, len(palette)),
               key=lambda i: sum((palette[i][k] - c[k]) ** 2 for k in range(3)))


def bitmap(rows, bits):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0,
                         256 if bits == 8 else 0, 0)
    body = b""
    if bits == 8:
        palette = palette_for(rows)
        palette += [(0, 0, 0)] * (256 - len(palette))
        body += b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
        cache = {}
    for row in reversed(rows):  # bottom-up
        line = b""
        for c in row:
            if bits == 8:
                if c is None:
                    line += b"\0"
                else:
                    if c not in cache:
                        cache[c] = nearest(palette, c)
                    line += bytes((cache[c],))
            else:
                r, g, b = c if c is not None else (0, 0, 0)
                line += bytes((b, g, r))
        body += line + b"\0" * (-len(line) % 4)
    for row in reversed(rows):  # the AND mask: 1 where transparent
        line = bytearray((size + 31) // 32 * 4)
        for x, c in enumerate(row):
            if c is None:
                line[x // 8] |= 0x80 >> (x % 8)
        body += bytes(line)
    return header + body


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = []
    for size in SIZES:
        rows = render(size)
        for bits in (8, 24):
            images.append((size, bits, bitmap(rows, bits)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, _, data in images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
