#!/usr/bin/env python3
"""Writes tarrowick.ico: one 32x32, 16-colour icon of an alarm clock.

The artwork is drawn here from circles and lines, so the icon can be made
again byte for byte: python3 resources/make_icon.py resources/tarrowick.ico
"""
import math
import struct
import sys

# The standard 16-colour palette, as (blue, green, red, reserved).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]  # given as (red, green, blue); written out in BGR order below
BLACK, DARK_RED, GREY, RED, YELLOW, WHITE = 0, 1, 8, 9, 11, 15
SIZE = 32
TRANSPARENT = None


def draw():
    px = [[TRANSPARENT] * SIZE for _ in range(SIZE)]

    def disc(cx, cy, r, colour):
        for y in range(SIZE):
            for x in range(SIZE):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    px[y][x] = colour

    def line(x0, y0, x1, y1, colour, width=1.0):
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 4) + 1
        for i in range(steps + 1):
            t = i / steps
            x, y = x0 + (x1 - x0) * t, y0 + (y1 - y0) * t
            for yy in range(SIZE):
                for xx in range(SIZE):
                    if (xx + 0.5 - x) ** 2 + (yy + 0.5 - y) ** 2 <= (width / 2) ** 2:
                        px[yy][xx] = colour

    # legs, then the bells and their striker, then the case and the face
    line(9, 26, 6, 30, BLACK, 2.2)
    line(23, 26, 26, 30, BLACK, 2.2)
    disc(7, 7, 5.2, BLACK)
    disc(7, 7, 4.0, YELLOW)
    disc(25, 7, 5.2, BLACK)
    disc(25, 7, 4.0, YELLOW)
    line(16, 2, 16, 6, BLACK, 2.0)
    line(12, 2, 20, 2, BLACK, 2.0)
    disc(16, 17.5, 12.5, BLACK)
    disc(16, 17.5, 11.3, RED)
    disc(16, 17.5, 9.0, DARK_RED)
    disc(16, 17.5, 8.2, WHITE)
    for hour in range(12):
        a = hour * math.pi / 6
        x, y = 16 + 6.8 * math.sin(a), 17.5 - 6.8 * math.cos(a)
        px[int(y)][int(x)] = GREY if hour % 3 else BLACK
    line(16, 17.5, 16, 12, BLACK, 1.6)      # minute hand at twelve
    line(16, 17.5, 19.5, 19.5, BLACK, 1.6)  # hour hand past four
    px[17][16] = RED
    return px


def ico(px):
    stride = 16  # 32 pixels at 4 bits, already a multiple of 4 bytes
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bitmaps run bottom-up
        row = [c if c is not None else BLACK for c in px[y]]
        xor += bytes((row[x] << 4) | row[x + 1] for x in range(0, SIZE, 2))
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if px[y][x] is None else 0)
        mask += struct.pack(">I", bits)  # 4 bytes a row, already aligned
    assert len(xor) == stride * SIZE
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "tarrowick.ico"
    with open(out, "wb") as f:
        f.write(ico(draw()))
