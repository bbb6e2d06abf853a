#!/usr/bin/env python3
"""Draws the program's images: the application icon (vocatext.png, 256 px, and 48 and
128 px for the desktop; vocatext.svg is the same drawing by hand), the hand
pointer over the push buttons (HAND-M.CUR) and the pointer of the in-list drag
(drag.ico). Pure Python, no image library; run it when a drawing changes and commit
the results."""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def png(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b, a) in 0..255."""
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(bytes(pixel(x, y)))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(rows), 9)))
        f.write(chunk(b"IEND", b""))


def icon_shape(x, y):
    """The icon at a point of the unit square: (r, g, b, a) as floats."""
    def rounded_rect(px, py, x0, y0, x1, y1, r):
        cx = min(max(px, x0 + r), x1 - r)
        cy = min(max(py, y0 + r), y1 - r)
        return (px - cx) ** 2 + (py - cy) ** 2 <= r * r

    colour = None
    if rounded_rect(x, y, 0.04, 0.04, 0.96, 0.96, 0.18):
        t = y
        colour = (31 + 20 * t, 122 - 30 * t, 140 - 20 * t, 255)  # teal, darker downwards
    # A page with a folded corner.
    if 0.16 <= x <= 0.54 and 0.18 <= y <= 0.82 and not (x > 0.44 and y < 0.28 and (x - 0.44) > (y - 0.18)):
        colour = (250, 250, 246, 255)
        if x > 0.44 and y < 0.28:
            colour = (214, 222, 224, 255)
        for line in (0.36, 0.46, 0.56, 0.66):
            if line <= y <= line + 0.035 and 0.22 <= x <= (0.48 if line != 0.66 else 0.40):
                colour = (120, 140, 150, 255)
    # Three sound waves.
    cx, cy = 0.55, 0.50
    d = math.hypot(x - cx, y - cy)
    angle = math.atan2(y - cy, x - cx)
    if abs(angle) < 0.75:
        for radius in (0.14, 0.24, 0.34):
            if abs(d - radius) < 0.032:
                colour = (255, 255, 255, 255)
    return colour


def draw_icon(path, size=256, samples=4):
    def pixel(px, py):
        acc = [0.0, 0.0, 0.0, 0.0]
        for sy in range(samples):
            for sx in range(samples):
                c = icon_shape((px + (sx + 0.5) / samples) / size, (py + (sy + 0.5) / samples) / size)
                if c:
                    a = c[3] / 255.0
                    acc[0] += c[0] * a
                    acc[1] += c[1] * a
                    acc[2] += c[2] * a
                    acc[3] += a
        n = samples * samples
        alpha = acc[3] / n
        if alpha == 0:
            return (0, 0, 0, 0)
        return (int(acc[0] / acc[3]), int(acc[1] / acc[3]), int(acc[2] / acc[3]), int(alpha * 255))

    png(path, size, size, pixel)


HAND = """
.....XX.........................
....XooX........................
....XooX........................
....XooX........................
....XooX........................
....XooXXX......................
....XooXooXXX...................
....XooXooXooXX.................
....XooXooXooXoX................
XX..XooooooooXooX...............
XoX.XoooooooooooX...............
XooXXoooooooooooX...............
.XooXoooooooooooX...............
..XoooooooooooooX...............
..XoooooooooooooX...............
...XooooooooooooX...............
...XoooooooooooX................
....XooooooooooX................
....XooooooooooX................
.....XooooooooX.................
.....XooooooooX.................
.....XXXXXXXXXX.................
""".strip("\n").split("\n")

DRAG = """
X...............................
XX..............................
XoX.............................
XooX............................
XoooX...........................
XooooX..........................
XoooooX.........................
XooooooX........................
XoooooooX.......................
XooooooooX......................
XoooooXXXXX.....................
XooXooX.........................
XoX.XooX........................
XX..XooX........................
X....XooX.......................
.....XooX.......................
......XX........................
.........XXXXXXXXXXXXXX.........
.........XooooooooooooX.........
.........XoXXXXXXXXXXoX.........
.........XooooooooooooX.........
.........XoXXXXXXXXoooX.........
.........XooooooooooooX.........
.........XXXXXXXXXXXXXX.........
""".strip("\n").split("\n")


def pointer(path, art, kind, hot_x, hot_y):
    """A 32 x 32 icon (kind 1) or cursor (kind 2) with an alpha channel and an AND mask."""
    size = 32
    grid = [row.ljust(size, ".") for row in art] + ["." * size] * (size - len(art))
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):  # bottom-up
        bits = 0
        row_mask = bytearray()
        for x in range(size):
            c = grid[y][x]
            if c == "X":
                xor += bytes((0, 0, 0, 255))
            elif c == "o":
                xor += bytes((255, 255, 255, 255))
            else:
                xor += bytes((0, 0, 0, 0))
            bits = (bits << 1) | (1 if c == "." else 0)
            if x % 8 == 7:
                row_mask.append(bits)
                bits = 0
        mask += row_mask
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    planes_or_x, bits_or_y = (hot_x, hot_y) if kind == 2 else (1, 32)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, kind, 1))
        f.write(struct.pack("<BBBBHHII", size, size, 0, 0, planes_or_x, bits_or_y, len(image), 6 + 16))
        f.write(image)


if __name__ == "__main__":
    draw_icon(os.path.join(HERE, "vocatext.png"))
    for size in (48, 128):  # the desktop's smaller icon sizes
        draw_icon(os.path.join(HERE, "vocatext-%d.png" % size), size)
    pointer(os.path.join(HERE, "HAND-M.CUR"), HAND, 2, 5, 0)
    pointer(os.path.join(HERE, "drag.ico"), DRAG, 1, 0, 0)
