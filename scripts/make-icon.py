#!/usr/bin/env python3
"""Draws kel-host's icon: two tone peaks of a spectrum over a waterfall in which the two tones run down.

Writes a square RGBA PNG (zlib only, no imaging library):
    python3 scripts/make-icon.py apps/kel-host/kel-host.png [SIZE]
"""
import math
import struct
import sys
import zlib


def waterfall_colour(level):
    """Dark blue through cyan to yellow, as the waterfall shows weak to strong signal."""
    stops = [(0.0, (8, 16, 64)), (0.45, (0, 96, 160)), (0.75, (0, 200, 200)), (1.0, (255, 240, 80))]
    for (a, ca), (b, cb) in zip(stops, stops[1:]):
        if level <= b:
            t = (level - a) / (b - a)
            return tuple(round(x + (y - x) * t) for x, y in zip(ca, cb))
    return stops[-1][1]


def peak(x, centre, width):
    return math.exp(-((x - centre) / width) ** 2)


def draw(size):
    space, mark = 0.36 * size, 0.64 * size
    width = size / 18
    line_top = 0.38 * size  # the spectrum line sits above the waterfall
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            xc = x + 0.5
            tones = max(peak(xc, space, width), peak(xc, mark, width))
            if y < line_top:
                # Spectrum: black ground, the curve and the area under it in green.
                height = line_top - 2 - (line_top - 0.1 * size) * tones
                if abs(y - height) < 1.2:
                    row += bytes((160, 255, 160, 255))
                elif y > height:
                    row += bytes((0, 90, 40, 255))
                else:
                    row += bytes((0, 0, 0, 255))
            else:
                # Waterfall: the keyed tones fade in and out down the rows, over a faint noise floor.
                keyed = 0.6 + 0.4 * math.sin(y * 0.9 + (0 if xc < size / 2 else math.pi))
                noise = 0.12 + 0.08 * math.sin(x * 2.3 + y * 1.7) * math.cos(x * 0.7 - y * 2.9)
                row += bytes(waterfall_colour(min(1.0, noise + tones * keyed)) + (255,))
        rows.append(bytes(row))
    # Rounded corners, transparent outside.
    radius = size / 8
    for y in range(size):
        row = bytearray(rows[y])
        for x in range(size):
            dx = max(radius - x - 0.5, x + 0.5 - (size - radius), 0)
            dy = max(radius - y - 0.5, y + 0.5 - (size - radius), 0)
            if math.hypot(dx, dy) > radius:
                row[4 * x + 3] = 0
        rows[y] = bytes(row)
    return rows


def png(rows, size):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + row for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    size = int(sys.argv[2]) if len(sys.argv) == 3 else 48
    with open(sys.argv[1], "wb") as out:
        out.write(png(draw(size), size))


if __name__ == "__main__":
    main()
