#!/usr/bin/env python3
"""Draws the view cursors (32 x 32, black strokes with a white rim) and writes
them as .cur files into resources/cursors. Run from the repository root."""
import math
import os
import struct

SIZE = 32


class Canvas:
    def __init__(self):
        self.ink = [[0] * SIZE for _ in range(SIZE)]  # 0 clear, 1 black

    def dot(self, x, y):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.ink[y][x] = 1

    def line(self, x0, y0, x1, y1):
        n = max(abs(x1 - x0), abs(y1 - y0), 1)
        for k in range(n + 1):
            self.dot(round(x0 + (x1 - x0) * k / n), round(y0 + (y1 - y0) * k / n))

    def circle(self, cx, cy, r, a0=0.0, a1=360.0):
        steps = max(16, int(r * 8))
        for k in range(steps + 1):
            a = math.radians(a0 + (a1 - a0) * k / steps)
            self.dot(round(cx + r * math.cos(a)), round(cy + r * math.sin(a)))

    def arrow(self, x0, y0, x1, y1, head=4):
        self.line(x0, y0, x1, y1)
        a = math.atan2(y1 - y0, x1 - x0)
        for s in (-1, 1):
            b = a + math.pi - s * math.radians(35)
            self.line(x1, y1, round(x1 + head * math.cos(b)), round(y1 + head * math.sin(b)))

    def pixels(self):
        # A white rim around every black pixel keeps the shape visible on dark pages.
        out = [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]
        for y in range(SIZE):
            for x in range(SIZE):
                if self.ink[y][x]:
                    for dy in (-1, 0, 1):
                        for dx in (-1, 0, 1):
                            xx, yy = x + dx, y + dy
                            if 0 <= xx < SIZE and 0 <= yy < SIZE and not self.ink[yy][xx]:
                                out[yy][xx] = (255, 255, 255, 255)
        for y in range(SIZE):
            for x in range(SIZE):
                if self.ink[y][x]:
                    out[y][x] = (0, 0, 0, 255)
        return out


def write_cur(path, canvas, hx, hy):
    px = canvas.pixels()
    xor = bytearray()
    for y in reversed(range(SIZE)):
        for x in range(SIZE):
            r, g, b, a = px[y][x]
            xor += bytes((b, g, r, a))
    andm = bytearray()
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            if px[y][x][3] == 0:
                bits |= 1 << (31 - x)
        andm += struct.pack(">I", bits)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(andm), 0, 0, 0, 0)
    data = info + xor + andm
    head = struct.pack("<HHH", 0, 2, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, hx, hy, len(data), 22)
    with open(path, "wb") as f:
        f.write(head + data)


def cross(c, gap=2, arm=9, cx=15, cy=15):
    c.line(cx - arm, cy, cx - gap, cy)
    c.line(cx + gap, cy, cx + arm, cy)
    c.line(cx, cy - arm, cx, cy - gap)
    c.line(cx, cy + gap, cx, cy + arm)


def badge(c, sign):
    # A small plus or minus at the lower right.
    c.line(21, 25, 27, 25)
    if sign == "+":
        c.line(24, 22, 24, 28)


def magnifier(c, sign):
    c.circle(12, 12, 8)
    c.line(18, 18, 27, 27)
    c.line(19, 18, 28, 27)
    c.line(8, 12, 16, 12)
    if sign == "+":
        c.line(12, 8, 12, 16)


def hand(c):
    for x in (9, 13, 17, 21):
        c.line(x, 6 if x in (13, 17) else 9, x, 17)
        c.line(x + 3, 6 if x in (13, 17) else 9, x + 3, 17)
        c.line(x, 6 if x in (13, 17) else 9, x + 3, 6 if x in (13, 17) else 9)
    c.line(9, 17, 9, 22)
    c.line(24, 17, 24, 22)
    c.line(9, 22, 13, 27)
    c.line(24, 22, 20, 27)
    c.line(13, 27, 20, 27)


def pen(c):
    c.line(2, 29, 6, 21)
    c.line(2, 29, 10, 25)
    c.line(6, 21, 24, 3)
    c.line(10, 25, 28, 7)
    c.line(24, 3, 28, 7)


def eraser(c):
    for k in range(6):
        c.line(4 + k, 20 + k, 16 + k, 8 + k)
    c.line(16, 8, 26, 18)
    c.line(10, 26, 20, 26)
    c.line(21, 24, 26, 18)


def move4(c):
    c.arrow(15, 15, 15, 3)
    c.arrow(15, 15, 15, 27)
    c.arrow(15, 15, 3, 15)
    c.arrow(15, 15, 27, 15)


def two_way(c, x0, y0, x1, y1):
    mx, my = (x0 + x1) // 2, (y0 + y1) // 2
    c.arrow(mx, my, x0, y0)
    c.arrow(mx, my, x1, y1)


def rot(c, quadrant):
    # A turning arc around the centre, opening toward its quadrant.
    start = {1: 200, 2: 110, 3: 290, 4: 20}[quadrant]
    c.circle(15, 15, 9, start, start + 250)
    a = math.radians(start + 250)
    ex, ey = round(15 + 9 * math.cos(a)), round(15 + 9 * math.sin(a))
    t = a + math.pi / 2
    for s in (-1, 1):
        b = t + math.pi - s * math.radians(40)
        c.line(ex, ey, round(ex + 5 * math.cos(b)), round(ey + 5 * math.sin(b)))
    c.dot(15, 15)


def numbered(c, n):
    # The numbered entries: a cross with a row of marks telling them apart.
    cross(c)
    for k in range(n % 8 + 1):
        c.dot(3 + 2 * k, 29)


def build():
    out = {}

    def make(name, hot, draw):
        c = Canvas()
        draw(c)
        out[name] = (c, hot)

    make("ZOOMMENO", (12, 12), lambda c: magnifier(c, "-"))
    make("ZOOMPIU", (12, 12), lambda c: magnifier(c, "+"))
    make("CROCE", (15, 15), lambda c: cross(c, 0, 12))
    make("GOMMA", (5, 21), eraser)
    make("MANO", (16, 16), hand)
    make("PENNA", (2, 29), pen)
    make("CROCE1", (15, 15), lambda c: (cross(c, 3, 12), c.circle(15, 15, 3)))
    make("CROCE3", (15, 15), lambda c: cross(c))
    make("MOVE2", (15, 15), lambda c: two_way(c, 5, 5, 25, 25))
    make("MOVEY", (15, 15), lambda c: two_way(c, 15, 3, 15, 27))
    make("MOVE1", (15, 15), lambda c: two_way(c, 25, 5, 5, 25))
    make("MOVEX", (15, 15), lambda c: two_way(c, 3, 15, 27, 15))
    make("MOVE", (15, 15), move4)
    make("CROCE3+", (15, 15), lambda c: (cross(c), badge(c, "+")))
    make("CROCE3-", (15, 15), lambda c: (cross(c), badge(c, "-")))
    make("CROCE2", (15, 15), lambda c: (cross(c, 0, 6), c.circle(15, 15, 7)))
    make("CROCE2+", (15, 15), lambda c: (cross(c, 0, 6), c.circle(15, 15, 7), badge(c, "+")))
    make("CROCE2-", (15, 15), lambda c: (cross(c, 0, 6), c.circle(15, 15, 7), badge(c, "-")))
    for n in (1795, 1796, 1797, 1798, 1799, 1800, 1801, 1802, 1803, 1805, 1806, 1807, 1808):
        make(str(n), (15, 15), lambda c, n=n: numbered(c, n))
    for q in (1, 2, 3, 4):
        make("ROT%d" % q, (15, 15), lambda c, q=q: rot(c, q))
    return out


if __name__ == "__main__":
    folder = os.path.join("resources", "cursors")
    os.makedirs(folder, exist_ok=True)
    for name, (canvas, (hx, hy)) in build().items():
        write_cur(os.path.join(folder, name + ".cur"), canvas, hx, hy)
