#!/usr/bin/env python3
"""Draws the program's button pictures and writes them as 24-bit BMP files
into resources/bitmaps, plus resources/bitmaps.rc that builds them in.

Button strips have two cells side by side: the picture and its disabled
form. The bottom-left pixel of every cell is olive (128, 128, 0), the
transparent colour of the buttons. Run it again after changing a picture and
commit its output.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "bitmaps")
OLIVE = (128, 128, 0)


class Canvas:
    def __init__(self, w, h, fill=OLIVE):
        self.w, self.h = w, h
        self.px = [[fill for _ in range(w)] for _ in range(h)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def shape(self, inside, c):
        """Fills every pixel whose centre satisfies inside(x, y)."""
        for y in range(self.h):
            for x in range(self.w):
                if inside(x + 0.5, y + 0.5):
                    self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        self.shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1, c)

    def circle(self, cx, cy, r, c):
        self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, c)

    def ring(self, cx, cy, r0, r1, c, a0=0, a1=360):
        def inside(x, y):
            d = math.hypot(x - cx, y - cy)
            if not (r0 <= d <= r1):
                return False
            a = math.degrees(math.atan2(cy - y, x - cx)) % 360
            return a0 <= a <= a1 if a0 <= a1 else (a >= a0 or a <= a1)
        self.shape(inside, c)

    def polygon(self, pts, c):
        def inside(x, y):
            n, res = len(pts), False
            j = n - 1
            for i in range(n):
                xi, yi = pts[i]
                xj, yj = pts[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    res = not res
                j = i
            return res
        self.shape(inside, c)

    def line(self, x0, y0, x1, y1, c, width=1.0):
        def inside(x, y):
            dx, dy = x1 - x0, y1 - y0
            L = dx * dx + dy * dy
            t = 0 if L == 0 else max(0, min(1, ((x - x0) * dx + (y - y0) * dy) / L))
            return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= width / 2
        self.shape(inside, c)

    def curve(self, f, x0, x1, c, width=1.6, steps=200):
        pts = [(x0 + (x1 - x0) * i / steps, f(x0 + (x1 - x0) * i / steps)) for i in range(steps + 1)]
        for (a, b), (p, q) in zip(pts, pts[1:]):
            self.line(a, b, p, q, c, width)

    def keep_transparent_corner(self):
        self.px[self.h - 1][0] = OLIVE


def grey(c):
    """Disabled form: grey shades, olive stays."""
    if c == OLIVE:
        return c
    lum = int(0.3 * c[0] + 0.59 * c[1] + 0.11 * c[2])
    return (128, 128, 128) if lum < 150 else (255, 255, 255)


def strip(cell, disabled=True):
    cells = [cell]
    if disabled:
        d = Canvas(cell.w, cell.h)
        d.px = [[grey(c) for c in row] for row in cell.px]
        cells.append(d)
    out = Canvas(cell.w * len(cells), cell.h)
    for i, c in enumerate(cells):
        for y in range(cell.h):
            for x in range(cell.w):
                out.px[y][i * cell.w + x] = c.px[y][x]
    return out


def join(cells):
    out = Canvas(sum(c.w for c in cells), cells[0].h)
    x0 = 0
    for c in cells:
        for y in range(c.h):
            for x in range(c.w):
                out.px[y][x0 + x] = c.px[y][x]
        x0 += c.w
    return out


def write_bmp(name, cv):
    row = cv.w * 3
    pad = (4 - row % 4) % 4
    data = bytearray()
    for y in range(cv.h - 1, -1, -1):
        for x in range(cv.w):
            r, g, b = cv.px[y][x]
            data += bytes((b, g, r))
        data += b"\0" * pad
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, cv.w, cv.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(os.path.join(OUT, name + ".bmp"), "wb") as f:
        f.write(header + info + data)


# --- pictures ---------------------------------------------------------------

def play(active):
    c = Canvas(24, 24)
    fill = (0, 230, 0) if active else (0, 110, 0)
    c.polygon([(6, 3), (21, 12), (6, 21)], (0, 70, 0))
    c.polygon([(7, 5), (19, 12), (7, 19)], fill)
    if active:
        c.polygon([(8, 7), (12, 9), (8, 11)], (180, 255, 180))
    c.keep_transparent_corner()
    return c


def stop():
    c = Canvas(24, 24)
    c.rect(5, 5, 19, 19, (90, 0, 0))
    c.rect(6, 6, 18, 18, (220, 30, 30))
    c.rect(7, 7, 11, 9, (255, 160, 160))
    return c


def record(active):
    c = Canvas(24, 24)
    c.circle(12, 12, 8.5, (90, 0, 0))
    c.circle(12, 12, 7.5, (255, 40, 40) if active else (130, 20, 20))
    if active:
        c.circle(9.5, 9.5, 2, (255, 180, 180))
    return c


def repeat(active):
    c = Canvas(24, 24)
    col = (0, 200, 255) if active else (0, 90, 120)
    c.ring(12, 12, 5.5, 8, col, 30, 330)
    c.polygon([(17, 2), (22, 8), (15, 9)], col)
    if not active:
        c.rect(11, 8, 13, 17, (200, 200, 200))
        c.rect(10, 9, 11, 10, (200, 200, 200))
    return c


def lock(active):
    c = Canvas(16, 16)
    body = (230, 190, 0) if active else (120, 110, 70)
    if active:
        c.ring(8, 7, 3, 4.5, (90, 90, 90), 0, 180)
        c.rect(3.5, 5, 5, 8, (90, 90, 90))
        c.rect(11, 5, 12.5, 8, (90, 90, 90))
    else:
        c.ring(11, 5, 3, 4.5, (90, 90, 90), 0, 180)
        c.rect(14, 3, 15.5, 6, (90, 90, 90))
    c.rect(2, 8, 14, 15, body)
    c.rect(7, 10, 9, 13, (60, 40, 0))
    return c


def led(kind):
    c = Canvas(16, 16)
    c.circle(8, 8, 6, (40, 40, 40))
    if kind == "off":
        c.circle(8, 8, 4.5, (70, 90, 70))
    else:
        c.circle(8, 8, 4.5, (0, 255, 0))
        c.circle(6.5, 6.5, 1.5, (200, 255, 200))
        if kind == "auto":
            c.ring(8, 8, 5, 6, (255, 220, 0))
    return c


def settings():
    c = Canvas(24, 24)
    for i, (x, k) in enumerate([(6, 15), (12, 7), (18, 12)]):
        c.rect(x - 1, 3, x + 1, 21, (70, 70, 70))
        c.rect(x - 3, k - 2, x + 3, k + 2, (0, 160, 255) if i != 1 else (255, 200, 0))
    return c


def signals():
    c = Canvas(24, 24)
    c.rect(2, 3, 22, 21, (0, 0, 64))
    c.line(2, 12, 22, 12, (0, 80, 120))
    c.curve(lambda x: 12 - 6 * math.sin((x - 3) / 18 * 2 * math.pi), 3, 21, (0, 255, 255))
    return c


def exit_picture():
    c = Canvas(24, 24)
    c.ring(12, 13, 6, 8.2, (230, 60, 60), 120, 60)
    c.rect(11, 2, 13.5, 12, (230, 60, 60))
    return c


def folder(dots=False):
    c = Canvas(16, 16)
    c.rect(1, 3, 7, 5, (200, 150, 0))
    c.rect(1, 4, 15, 14, (240, 190, 40))
    c.rect(1, 6, 15, 7, (200, 150, 0))
    if dots:
        for x in (5, 8, 11):
            c.rect(x, 10, x + 2, 12, (60, 40, 0))
    return c


def disk():
    c = Canvas(16, 16)
    c.rect(1, 1, 15, 15, (30, 60, 160))
    c.rect(4, 1, 12, 6, (220, 220, 220))
    c.rect(9, 2, 11, 5, (30, 60, 160))
    c.rect(3, 9, 13, 15, (250, 250, 250))
    return c


def wave_cell(kind):
    c = Canvas(16, 16)
    col = (0, 255, 255)
    if kind == 0:
        c.curve(lambda x: 8 - 5 * math.sin((x - 1) / 14 * 2 * math.pi), 1, 15, col, 1.4)
    elif kind == 1:
        for a in [(1, 3, 8, 3), (8, 3, 8, 13), (8, 13, 15, 13), (1, 3, 1, 8)]:
            c.line(*a, col, 1.4)
    elif kind == 2:
        for a in [(1, 8, 4.5, 3), (4.5, 3, 11.5, 13), (11.5, 13, 15, 8)]:
            c.line(*a, col, 1.4)
    else:
        for a in [(1, 13, 8, 3), (8, 3, 8, 13), (8, 13, 15, 3)]:
            c.line(*a, col, 1.4)
    return c


def output_cell(kind):
    c = Canvas(16, 16)
    col = (0, 255, 255)
    c.polygon([(2, 6), (5, 6), (9, 2), (9, 14), (5, 10), (2, 10)], col if kind else (110, 110, 110))
    if kind == 0:
        c.line(11, 5, 15, 11, (255, 60, 60), 1.6)
        c.line(15, 5, 11, 11, (255, 60, 60), 1.6)
    else:
        letters = {1: "L", 2: "R", 3: "LR"}[kind]
        if "L" in letters:
            c.ring(9, 8, 3, 4.2, col, 300, 60)
        if "R" in letters:
            c.ring(9, 8, 5.5, 6.7, col, 300, 60)
    return c


def background():
    c = Canvas(64, 64)
    for y in range(64):
        for x in range(64):
            t = (x + y) / 126
            c.px[y][x] = (int(10 + 30 * t), int(20 + 40 * t), int(60 + 70 * t))
    return c


PICTURES = {
    "_SignalActive": strip(play(True)),
    "_SignalInactive": strip(play(False)),
    "_Stop": strip(stop()),
    "_WavFileActive": strip(record(True)),
    "_WavFileInactive": strip(record(False)),
    "_RepeatActive": strip(repeat(True)),
    "_RepeatInactive": strip(repeat(False)),
    "_LockLRActive": strip(lock(True)),
    "_LockLRInactive": strip(lock(False)),
    "_Off": strip(led("off")),
    "_On": strip(led("on")),
    "_On1": strip(led("auto")),
    "_Settings": strip(settings()),
    "_Signals": strip(signals()),
    "_Exit": strip(exit_picture()),
    "_Load": strip(folder()),
    "_Save": strip(disk()),
    "_OpenDialog": strip(folder(True)),
    "_WaveImages": join([wave_cell(i) for i in range(4)]),
    "_OutputImages": join([output_cell(i) for i in (0, 1, 2, 3)]),
    "_Background": background(),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    lines = ["// Made by make_bitmaps.py: the program's bitmap resources.", ""]
    for name, cv in PICTURES.items():
        write_bmp(name, cv)
        lines.append('%s BITMAP "bitmaps/%s.bmp"' % (name, name))
    with open(os.path.join(HERE, "bitmaps.rc"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
