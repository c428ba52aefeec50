#!/usr/bin/env python3
"""Draws the program's button pictures: one flat icon set, 32 x 32 RGBA PNG,
each with a greyed twin (NAME_disabled.png). Pure Python (zlib only), so the
pictures can be made again anywhere: python3 make_icons.py [output folder]."""
import math
import os
import struct
import sys
import zlib

SIZE = 32
SS = 4  # supersampling per axis

INK = (40, 52, 66)
BLUE = (47, 111, 191)
LIGHT_BLUE = (170, 205, 240)
PAPER = (255, 255, 255)
GREEN = (46, 150, 70)
RED = (200, 52, 44)
YELLOW = (236, 186, 74)
GREY = (120, 128, 138)


class Canvas:
    def __init__(self):
        n = SIZE * SS
        self.n = n
        self.px = [[None] * n for _ in range(n)]

    def _put(self, x, y, c):
        if 0 <= x < self.n and 0 <= y < self.n:
            self.px[y][x] = c

    def polygon(self, pts, c):
        """Fills a polygon given in icon pixels (even-odd rule)."""
        p = [(x * SS, y * SS) for x, y in pts]
        ys = [q[1] for q in p]
        for sy in range(max(0, int(min(ys))), min(self.n, int(math.ceil(max(ys))) + 1)):
            yc = sy + 0.5
            xs = []
            for i in range(len(p)):
                (x1, y1), (x2, y2) = p[i], p[(i + 1) % len(p)]
                if (y1 <= yc < y2) or (y2 <= yc < y1):
                    xs.append(x1 + (yc - y1) * (x2 - x1) / (y2 - y1))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                for sx in range(max(0, int(math.ceil(a - 0.5))), min(self.n, int(math.ceil(b - 0.5)))):
                    self._put(sx, sy, c)

    def rect(self, x1, y1, x2, y2, c):
        self.polygon([(x1, y1), (x2, y1), (x2, y2), (x1, y2)], c)

    def frame(self, x1, y1, x2, y2, c, w=1.5, fill=None):
        if fill:
            self.rect(x1, y1, x2, y2, fill)
        self.rect(x1, y1, x2, y1 + w, c)
        self.rect(x1, y2 - w, x2, y2, c)
        self.rect(x1, y1, x1 + w, y2, c)
        self.rect(x2 - w, y1, x2, y2, c)

    def line(self, x1, y1, x2, y2, c, w=2.0):
        dx, dy = x2 - x1, y2 - y1
        L = math.hypot(dx, dy) or 1.0
        nx, ny = -dy / L * w / 2, dx / L * w / 2
        self.polygon([(x1 + nx, y1 + ny), (x2 + nx, y2 + ny), (x2 - nx, y2 - ny), (x1 - nx, y1 - ny)], c)
        self.disc(x1, y1, w / 2, c)
        self.disc(x2, y2, w / 2, c)

    def polyline(self, pts, c, w=2.0):
        for a, b in zip(pts, pts[1:]):
            self.line(a[0], a[1], b[0], b[1], c, w)

    def disc(self, cx, cy, r, c):
        for sy in range(max(0, int((cy - r) * SS)), min(self.n, int((cy + r) * SS) + 2)):
            for sx in range(max(0, int((cx - r) * SS)), min(self.n, int((cx + r) * SS) + 2)):
                if (sx + 0.5 - cx * SS) ** 2 + (sy + 0.5 - cy * SS) ** 2 <= (r * SS) ** 2:
                    self._put(sx, sy, c)

    def ring(self, cx, cy, r, c, w=2.0, fill=None):
        self.disc(cx, cy, r, c)
        self.disc(cx, cy, r - w, fill if fill else None)

    def arc(self, cx, cy, r, a1, a2, c, w=2.0):
        steps = 24
        pts = [(cx + r * math.cos(math.radians(a1 + (a2 - a1) * i / steps)),
                cy - r * math.sin(math.radians(a1 + (a2 - a1) * i / steps))) for i in range(steps + 1)]
        self.polyline(pts, c, w)
        return pts

    def arrow_head(self, x, y, angle, c, size=5.0):
        a = math.radians(angle)
        tip = (x + size * math.cos(a), y - size * math.sin(a))
        l = (x + size * 0.9 * math.cos(a + 2.2), y - size * 0.9 * math.sin(a + 2.2))
        r = (x + size * 0.9 * math.cos(a - 2.2), y - size * 0.9 * math.sin(a - 2.2))
        self.polygon([tip, l, r], c)

    def rgba(self):
        out = []
        for y in range(SIZE):
            row = []
            for x in range(SIZE):
                r = g = b = a = 0
                for j in range(SS):
                    for i in range(SS):
                        c = self.px[y * SS + j][x * SS + i]
                        if c is not None:
                            r += c[0]; g += c[1]; b += c[2]; a += 1
                if a:
                    row.append((r // a, g // a, b // a, a * 255 // (SS * SS)))
                else:
                    row.append((0, 0, 0, 0))
            out.append(row)
        return out


def png_bytes(pix):
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in pix)
    def chunk(t, d):
        return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def greyed(pix):
    out = []
    for row in pix:
        r2 = []
        for r, g, b, a in row:
            v = (r * 30 + g * 59 + b * 11) // 100
            v = 150 + v * 90 // 255  # a pale grey of the same shape
            r2.append((v, v, v, a * 3 // 4))
        out.append(r2)
    return out


# ----------------------------------------------------------------- pictures
def page(c, x1=8, y1=4, x2=24, y2=28, fold=5, fill=PAPER):
    c.polygon([(x1, y1), (x2 - fold, y1), (x2, y1 + fold), (x2, y2), (x1, y2)], INK)
    c.polygon([(x1 + 1.5, y1 + 1.5), (x2 - fold - 0.5, y1 + 1.5), (x2 - 1.5, y1 + fold + 0.5),
               (x2 - 1.5, y2 - 1.5), (x1 + 1.5, y2 - 1.5)], fill)
    c.polygon([(x2 - fold, y1), (x2, y1 + fold), (x2 - fold, y1 + fold)], INK)


def text_lines(c, x1, x2, y1, n, step=3.5):
    for i in range(n):
        c.rect(x1, y1 + i * step, x2 - (i % 2) * 3, y1 + i * step + 1.3, GREY)


def plus(c, cx, cy, col=GREEN, s=5):
    c.disc(cx, cy, s + 1.5, PAPER)
    c.rect(cx - s, cy - 1.2, cx + s, cy + 1.2, col)
    c.rect(cx - 1.2, cy - s, cx + 1.2, cy + s, col)


def cross(c, cx, cy, s=4.5):
    c.disc(cx, cy, s + 2.5, PAPER)
    c.line(cx - s, cy - s, cx + s, cy + s, RED, 2.6)
    c.line(cx - s, cy + s, cx + s, cy - s, RED, 2.6)


def magnifier(c):
    c.line(19, 19, 28, 28, INK, 4)
    c.ring(13, 13, 10, INK, 2.4, LIGHT_BLUE)


def draw_open(c):
    c.polygon([(3, 8), (12, 8), (14, 11), (27, 11), (27, 26), (3, 26)], (180, 130, 40))
    c.polygon([(6, 14), (30, 14), (26, 26), (3, 26)], YELLOW)
    c.polyline([(6, 14), (30, 14), (26, 26), (3, 26), (3, 8), (12, 8), (14, 11), (27, 11), (27, 14)], INK, 1.4)


def draw_save(c):
    c.polygon([(4, 4), (24, 4), (28, 8), (28, 28), (4, 28)], BLUE)
    c.rect(9, 4, 22, 12, PAPER)
    c.rect(18, 5.5, 20.5, 10.5, INK)
    c.rect(8, 17, 24, 28, PAPER)
    text_lines(c, 10, 22, 19.5, 2, 3.5)
    c.polyline([(4, 4), (24, 4), (28, 8), (28, 28), (4, 28), (4, 4)], INK, 1.4)


def draw_print(c):
    c.frame(9, 3, 23, 13, INK, 1.4, PAPER)
    c.polygon([(3, 12), (29, 12), (29, 23), (3, 23)], GREY)
    c.frame(3, 12, 29, 23, INK, 1.4)
    c.disc(25, 16, 1.3, GREEN)
    c.frame(8, 19, 24, 29, INK, 1.4, PAPER)
    text_lines(c, 10.5, 21.5, 22, 2, 3)


def draw_scan(c):
    c.polygon([(3, 15), (29, 15), (29, 26), (3, 26)], GREY)
    c.frame(3, 15, 29, 26, INK, 1.4)
    c.rect(5, 19, 27, 20.6, LIGHT_BLUE)
    c.polygon([(4, 14), (26, 5), (27.5, 8), (6, 16)], INK)
    c.disc(24, 23, 1.3, GREEN)


def draw_undo(c):
    c.arc(16, 18, 9, 160, -60, BLUE, 3.2)
    c.arrow_head(6.5, 13.5, 100, BLUE, 7)


def draw_redo(c):
    c.arc(16, 18, 9, 20, 240, BLUE, 3.2)
    c.arrow_head(25.5, 13.5, 80, BLUE, 7)


def draw_copy(c):
    page(c, 4, 3, 19, 23, 4)
    text_lines(c, 7, 15, 9, 3)
    page(c, 13, 9, 28, 29, 4)
    text_lines(c, 16, 24, 15, 3)


def clipboard(c):
    c.polygon([(5, 6), (27, 6), (27, 30), (5, 30)], (176, 128, 70))
    c.frame(5, 6, 27, 30, INK, 1.4)
    c.rect(11, 3, 21, 9, INK)
    c.rect(13, 4.5, 19, 7, GREY)


def draw_pastenewobject(c):
    clipboard(c)
    c.frame(9, 12, 23, 26, BLUE, 1.6, LIGHT_BLUE)
    for i in range(4):
        c.rect(9 + i * 4, 12, 9 + i * 4 + 2, 13.6, PAPER)


def draw_newfromclipboard(c):
    clipboard(c)
    page(c, 9, 11, 23, 28, 4)
    text_lines(c, 11.5, 19, 17, 3)


def draw_zoom_reduce(c):
    magnifier(c)
    c.rect(8, 11.8, 18, 14.2, INK)


def draw_zoom_actual(c):
    magnifier(c)
    c.rect(9.5, 8, 11.5, 18, INK)
    c.rect(15, 8, 17, 18, INK)
    c.disc(13.2, 10.5, 1.0, INK)
    c.disc(13.2, 15.5, 1.0, INK)


def draw_zoom_enlarge(c):
    magnifier(c)
    c.rect(8, 11.8, 18, 14.2, INK)
    c.rect(11.8, 8, 14.2, 18, INK)


def draw_rotateleft(c):
    page(c, 12, 10, 27, 29, 4)
    c.arc(14, 14, 9, 90, 200, BLUE, 2.8)
    c.arrow_head(5.5, 17.5, -80, BLUE, 6)


def draw_rotateright(c):
    page(c, 5, 10, 20, 29, 4)
    c.arc(18, 14, 9, 90, -20, BLUE, 2.8)
    c.arrow_head(26.5, 17.5, -100, BLUE, 6)


def draw_fliphor(c):
    c.polygon([(3, 24), (13, 8), (13, 24)], BLUE)
    c.polygon([(29, 24), (19, 8), (19, 24)], LIGHT_BLUE)
    c.polyline([(29, 24), (19, 8), (19, 24), (29, 24)], INK, 1.2)
    for y in range(4, 30, 4):
        c.rect(15.3, y, 16.7, y + 2, INK)


def draw_flipvert(c):
    c.polygon([(8, 3), (24, 13), (8, 13)], BLUE)
    c.polygon([(8, 29), (24, 19), (8, 19)], LIGHT_BLUE)
    c.polyline([(8, 29), (24, 19), (8, 19), (8, 29)], INK, 1.2)
    for x in range(4, 30, 4):
        c.rect(x, 15.3, x + 2, 16.7, INK)


def draw_imagesize(c):
    c.frame(3, 3, 29, 29, INK, 1.4, PAPER)
    c.line(9, 23, 23, 9, BLUE, 2.4)
    c.arrow_head(22, 10, 45, BLUE, 6)
    c.arrow_head(10, 22, 225, BLUE, 6)


def draw_crop(c):
    c.rect(8, 3, 10.5, 24, INK)
    c.rect(8, 21.5, 29, 24, INK)
    c.rect(3, 8, 24, 10.5, INK)
    c.rect(21.5, 8, 24, 29, INK)
    c.rect(10.5, 10.5, 21.5, 21.5, LIGHT_BLUE)


def draw_insertpage(c):
    page(c, 6, 3, 24, 27, 5)
    text_lines(c, 9, 19, 10, 3)
    plus(c, 23, 23)


def draw_addmulti(c):
    page(c, 10, 2, 26, 20, 4)
    page(c, 6, 6, 22, 24, 4)
    page(c, 3, 10, 19, 28, 4)
    plus(c, 23, 24)


def draw_remove(c):
    page(c, 6, 3, 24, 27, 5)
    text_lines(c, 9, 19, 10, 3)
    cross(c, 23, 23)


def draw_insertblancpage(c):
    page(c, 6, 3, 24, 27, 5)
    plus(c, 23, 23)


def draw_up(c):
    c.polygon([(16, 4), (27, 16), (20, 16), (20, 28), (12, 28), (12, 16), (5, 16)], BLUE)
    c.polyline([(16, 4), (27, 16), (20, 16), (20, 28), (12, 28), (12, 16), (5, 16), (16, 4)], INK, 1.2)


def draw_down(c):
    c.polygon([(16, 28), (27, 16), (20, 16), (20, 4), (12, 4), (12, 16), (5, 16)], BLUE)
    c.polyline([(16, 28), (27, 16), (20, 16), (20, 4), (12, 4), (12, 16), (5, 16), (16, 28)], INK, 1.2)


def draw_reorder(c):
    page(c, 3, 4, 15, 20, 3)
    page(c, 17, 12, 29, 28, 3)
    c.line(10, 24, 10, 28, BLUE, 2.2)
    c.line(10, 28, 14, 28, BLUE, 2.2)
    c.line(22, 8, 22, 4, BLUE, 2.2)
    c.line(22, 4, 18, 4, BLUE, 2.2)
    c.arrow_head(14, 28, 0, BLUE, 4)
    c.arrow_head(18, 4, 180, BLUE, 4)


def draw_deleteall(c):
    page(c, 10, 2, 26, 20, 4)
    page(c, 6, 6, 22, 24, 4)
    page(c, 3, 10, 19, 28, 4)
    cross(c, 23, 24)


def draw_select(c):
    for x in range(4, 28, 4):
        c.rect(x, 5, x + 2, 6.6, INK)
        c.rect(x, 25.4, x + 2, 27, INK)
    for y in range(5, 27, 4):
        c.rect(4, y, 5.6, y + 2, INK)
        c.rect(26.4, y, 28, y + 2, INK)


def draw_line(c):
    c.line(6, 26, 26, 6, INK, 2.6)
    c.disc(6, 26, 2.2, BLUE)
    c.disc(26, 6, 2.2, BLUE)


def draw_brush(c):
    c.line(14, 18, 27, 4, (150, 100, 50), 3.2)
    c.polygon([(10, 16), (16, 21), (12, 27), (4, 29), (6, 21)], INK)


def draw_fill(c):
    c.polygon([(6, 14), (16, 4), (26, 14), (16, 24)], PAPER)
    c.polyline([(6, 14), (16, 4), (26, 14), (16, 24), (6, 14)], INK, 1.6)
    c.polygon([(8, 14), (24, 14), (16, 22)], BLUE)
    c.disc(27, 22, 3, BLUE)
    c.polygon([(25, 21), (29, 21), (27, 16)], BLUE)


def draw_pipetka(c):
    c.line(8, 24, 20, 12, INK, 3.2)
    c.line(9, 23, 19, 13, LIGHT_BLUE, 1.4)
    c.polygon([(19, 7), (25, 13), (23, 15), (17, 9)], INK)
    c.disc(24, 8, 4, INK)
    c.line(8, 24, 4, 28, INK, 1.6)


def draw_text(c):
    c.rect(6, 5, 26, 9, INK)
    c.rect(14, 5, 18, 27, INK)
    c.rect(11, 25, 21, 27.5, INK)


PICTURES = {
    "open": draw_open, "save": draw_save, "print": draw_print, "scan": draw_scan,
    "undo": draw_undo, "redo": draw_redo, "copy": draw_copy,
    "pastenewobject": draw_pastenewobject, "newfromclipboard": draw_newfromclipboard,
    "zoom_reduce": draw_zoom_reduce, "zoom_actual": draw_zoom_actual, "zoom_enlarge": draw_zoom_enlarge,
    "rotateleft": draw_rotateleft, "rotateright": draw_rotateright,
    "fliphor": draw_fliphor, "flipvert": draw_flipvert, "imagesize": draw_imagesize, "crop": draw_crop,
    "insertpage": draw_insertpage, "addmulti": draw_addmulti, "remove": draw_remove,
    "insertblancpage": draw_insertblancpage, "up": draw_up, "down": draw_down,
    "reorder": draw_reorder, "deleteall": draw_deleteall,
    "select": draw_select, "line": draw_line, "brush": draw_brush, "fill": draw_fill,
    "pipetka": draw_pipetka, "text": draw_text,
}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    for name, fn in PICTURES.items():
        c = Canvas()
        fn(c)
        pix = c.rgba()
        with open(os.path.join(out, name + ".png"), "wb") as f:
            f.write(png_bytes(pix))
        with open(os.path.join(out, name + "_disabled.png"), "wb") as f:
            f.write(png_bytes(greyed(pix)))


if __name__ == "__main__":
    main()
