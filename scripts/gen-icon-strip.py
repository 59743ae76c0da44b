#!/usr/bin/env python3
"""Draws bitmap 104 of the configuration dialogs: a strip of 51 cells of 16x16 pixels,
24-bit, magenta (the transparent colour) wherever a cell is not drawn.

The dialogs use six cells: 7 an OPC HDA server, 9 a node, 27 a machine, 28 the network,
29 another (not HDA) server, 35 an error item. Usage: gen-icon-strip.py OUTPUT.bmp
"""
import struct
import sys

CELLS, SIZE = 51, 16
MAGENTA = (255, 0, 255)

BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
GREY = (160, 160, 160)
LIGHT = (220, 220, 220)
DARK = (90, 90, 90)
BLUE = (40, 100, 200)
SKY = (140, 190, 240)
GREEN = (30, 160, 60)
YELLOW = (240, 200, 60)
BROWN = (180, 130, 30)
RED = (210, 40, 40)


class Strip:
    def __init__(self):
        self.pixels = [[MAGENTA] * (CELLS * SIZE) for _ in range(SIZE)]

    def put(self, cell, x, y, colour):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.pixels[y][cell * SIZE + x] = colour

    def box(self, cell, x0, y0, x1, y1, fill, edge=None):
        """A rectangle with corners (x0, y0) and (x1, y1) included."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                on_edge = x in (x0, x1) or y in (y0, y1)
                self.put(cell, x, y, edge if (edge and on_edge) else fill)

    def line(self, cell, points, colour):
        for (xa, ya), (xb, yb) in zip(points, points[1:]):
            steps = max(abs(xb - xa), abs(yb - ya), 1)
            for i in range(steps + 1):
                self.put(cell, round(xa + (xb - xa) * i / steps), round(ya + (yb - ya) * i / steps), colour)

    def disc(self, cell, cx, cy, r, fill, edge):
        for y in range(SIZE):
            for x in range(SIZE):
                d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
                if d <= r:
                    self.put(cell, x, y, edge if d > r - 1 else fill)

    def write(self, path):
        width = CELLS * SIZE
        row_bytes = (width * 3 + 3) & ~3
        image = bytearray()
        for row in reversed(self.pixels):  # bottom-up, as BMP stores it
            line = bytearray()
            for r, g, b in row:
                line += bytes((b, g, r))
            image += line + bytes(row_bytes - len(line))
        header = struct.pack("<IiiHHIIiiII", 40, width, SIZE, 1, 24, 0, len(image), 2835, 2835, 0, 0)
        file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(image), 0, 0, 14 + len(header))
        with open(path, "wb") as out:
            out.write(file_header + header + image)


def server_tower(s, cell, front):
    s.box(cell, 3, 1, 12, 14, front, DARK)
    for y in (3, 5):
        s.line(cell, [(5, y), (10, y)], DARK)
    s.put(cell, 10, 12, GREEN)


def draw(s):
    # 7: an OPC HDA server: a tower with a history curve on its front.
    server_tower(s, 7, LIGHT)
    s.box(7, 4, 7, 11, 11, WHITE)
    s.line(7, [(4, 10), (6, 8), (8, 10), (9, 9), (11, 8)], BLUE)
    # 9: a node: a folder.
    s.box(9, 1, 3, 6, 5, YELLOW, BROWN)
    s.box(9, 1, 5, 14, 13, YELLOW, BROWN)
    # 27: a machine: a monitor on a stand.
    s.box(27, 1, 1, 14, 11, SKY, DARK)
    s.box(27, 3, 3, 12, 9, BLUE)
    s.box(27, 6, 12, 9, 12, DARK)
    s.box(27, 3, 13, 12, 14, GREY, DARK)
    # 28: the network: three monitors on a line.
    for x in (0, 5, 10):
        s.box(28, x, 2, x + 5, 6, SKY, DARK)
    s.line(28, [(2, 7), (2, 10)], DARK)
    s.line(28, [(7, 7), (7, 13)], DARK)
    s.line(28, [(12, 7), (12, 10)], DARK)
    s.line(28, [(2, 10), (12, 10)], DARK)
    s.box(28, 5, 13, 9, 14, GREY, DARK)
    # 29: another server: a plain grey tower.
    server_tower(s, 29, GREY)
    # 35: an error item: a red disc with a white cross.
    s.disc(35, 7.5, 7.5, 7, RED, (150, 20, 20))
    s.line(35, [(5, 5), (10, 10)], WHITE)
    s.line(35, [(5, 10), (10, 5)], WHITE)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    strip = Strip()
    draw(strip)
    strip.write(sys.argv[1])


if __name__ == "__main__":
    main()
