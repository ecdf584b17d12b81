#!/usr/bin/env python3
"""Draws the resource library's pictures: paper previews in both orientations
and their grayscale variants, layouts, posters, staple and punch marks,
zoomed pages, device drawings, the combo-box icons and the cursor. Plain,
clear drawings; every file is written from scratch (BMP, ICO, CUR).

usage: make_pictures.py <output folder>   (writes the files and pictures.rc)
"""
import math
import os
import struct
import sys

# ---------------------------------------------------------------- palette

BASE16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
          (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
          (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, DARK, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER, GRAY, RED, LIME, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(16)
FACE = SILVER  # the dialog face behind the pictures


def palette(bits):
    colours = list(BASE16)
    if bits == 8:
        colours += [(v, v, v) for v in range(0, 256, 256 // 240)][:240]
    return colours


class Canvas:
    def __init__(self, w, h, fill=FACE):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(self.h, y1)):
            row = self.px[y]
            for x in range(max(0, x0), min(self.w, x1)):
                row[x] = c

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1):
            self.put(x, y0, c)
            self.put(x, y1 - 1, c)
        for y in range(y0, y1):
            self.put(x0, y, c)
            self.put(x1 - 1, y, c)

    def line(self, x0, y0, x1, y1, c):
        n = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(n + 1):
            self.put(round(x0 + (x1 - x0) * i / n), round(y0 + (y1 - y0) * i / n), c)

    def disc(self, cx, cy, r, c):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.put(x, y, c)


# ---------------------------------------------------------------- drawings

def sheet(cv, x0, y0, x1, y1, ink=BLACK, paper=WHITE, fold=True):
    """A sheet of paper with a folded corner."""
    cv.rect(x0 + 2, y0 + 2, x1 + 2, y1 + 2, GRAY)  # shadow
    cv.rect(x0, y0, x1, y1, paper)
    cv.frame(x0, y0, x1, y1, ink)
    if fold:
        f = max(3, min(x1 - x0, y1 - y0) // 6)
        for i in range(f):
            cv.line(x1 - f + i, y0, x1 - 1, y0 + f - i, FACE if i == 0 else paper)
        cv.line(x1 - f, y0, x1 - 1, y0 + f - 1, ink)
        cv.line(x1 - f, y0, x1 - f, y0 + f - 1, ink)
        cv.line(x1 - f, y0 + f - 1, x1 - 1, y0 + f - 1, ink)


def text_lines(cv, x0, y0, x1, y1, colour):
    """Lines of text and a picture block: a page's content."""
    w, h = x1 - x0, y1 - y0
    if w < 6 or h < 6:
        cv.rect(x0, y0, x1, y1, colour)
        return
    step = max(2, h // 10)
    cv.rect(x0, y0, x0 + w // 2, y0 + max(1, h // 4), colour)  # heading picture
    y = y0 + h // 4 + step
    while y < y1 - 1:
        cv.line(x0, y, x1 - 1 - (w // 4 if (y // step) % 3 == 2 else 0), y, colour)
        y += step


def page_with_content(cv, landscape, gray, content=None, margin=0.12):
    w, h = cv.w, cv.h
    mx, my = int(w * 0.08), int(h * 0.08)
    sheet(cv, mx, my, w - mx - 2, h - my - 2)
    ink = GRAY if gray else BLUE
    cx0, cy0 = mx + int(w * margin), my + int(h * margin)
    cx1, cy1 = w - mx - 2 - int(w * margin), h - my - 2 - int(h * margin)
    if content is None:
        text_lines(cv, cx0, cy0, cx1, cy1, ink)
    else:
        content(cv, cx0, cy0, cx1, cy1, ink)


def grid(cols, rows):
    def draw(cv, x0, y0, x1, y1, ink):
        cw, ch = (x1 - x0) / cols, (y1 - y0) / rows
        for r in range(rows):
            for c in range(cols):
                a, b = int(x0 + c * cw) + 1, int(y0 + r * ch) + 1
                e, f = int(x0 + (c + 1) * cw) - 1, int(y0 + (r + 1) * ch) - 1
                cv.frame(a, b, e, f, GRAY)
                text_lines(cv, a + 2, b + 2, e - 2, f - 2, ink)
    return draw


def arrow(cv, x0, y0, x1, y1, c):
    cv.line(x0, y0, x1, y1, c)
    dx, dy = (x1 > x0) - (x1 < x0), (y1 > y0) - (y1 < y0)
    for i in range(1, 4):
        cv.line(x1 - dx * i - dy * i, y1 - dy * i - dx * i, x1 - dx * i + dy * i, y1 - dy * i + dx * i, c)


def order(direction):
    def draw(cv, x0, y0, x1, y1, ink):
        grid(2, 2)(cv, x0, y0, x1, y1, ink)
        mx, my = (x0 + x1) // 2, (y0 + y1) // 2
        a = {0: (x0 + 4, my, x1 - 4, my), 1: (x1 - 4, my, x0 + 4, my), 2: (mx, y0 + 4, mx, y1 - 4),
             3: (mx, y1 - 4, mx, y0 + 4)}[direction % 4]
        arrow(cv, *a, RED)
    return draw


def staple(corner):
    def draw(cv, x0, y0, x1, y1, ink):
        text_lines(cv, x0, y0, x1, y1, ink)
        s = max(4, (x1 - x0) // 8)
        spots = {0: [(x0 - 6, y0 - 6, x0 - 6 + s, y0 - 6 + s)], 1: [(x1 + 6 - s, y0 - 6, x1 + 6, y0 - 6 + s)],
                 2: [(x0 - 8, y0 + 8, x0 - 6, y0 + 8 + s), (x0 - 8, y1 - 8 - s, x0 - 6, y1 - 8)],
                 3: [(x1 + 6, y0 + 8, x1 + 8, y0 + 8 + s), (x1 + 6, y1 - 8 - s, x1 + 8, y1 - 8)],
                 4: [(x0 + 8, y0 - 8, x0 + 8 + s, y0 - 6), (x1 - 8 - s, y0 - 8, x1 - 8, y0 - 6)],
                 5: [((x0 + x1) // 2 - 1, y0, (x0 + x1) // 2 + 1, y1)]}[corner % 6]
        for a, b, c, d in spots:
            cv.rect(a, b, c + 1, d + 1, DARK)
    return draw


def punch(edge, holes):
    def draw(cv, x0, y0, x1, y1, ink):
        text_lines(cv, x0, y0, x1, y1, ink)
        for i in range(holes):
            t = (i + 1) / (holes + 1)
            if edge == 0:
                cv.disc(x0 - 5, int(y0 + (y1 - y0) * t), 2, BLACK)
            elif edge == 1:
                cv.disc(int(x0 + (x1 - x0) * t), y0 - 5, 2, BLACK)
            else:
                cv.disc(x1 + 5, int(y0 + (y1 - y0) * t), 2, BLACK)
    return draw


def zoomed(scale):
    def draw(cv, x0, y0, x1, y1, ink):
        w, h = int((x1 - x0) * scale), int((y1 - y0) * scale)
        cv.frame(x0, y0, x0 + min(w, x1 - x0), y0 + min(h, y1 - y0), GRAY)
        text_lines(cv, x0 + 1, y0 + 1, x0 + min(w, x1 - x0) - 1, y0 + min(h, y1 - y0) - 1, ink)
    return draw


def printer(cv, trays=2, finisher=False):
    w, h = cv.w, cv.h
    bx0, by0, bx1, by1 = w // 6, h // 5, w * 5 // 6 - (w // 8 if finisher else 0), h * 9 // 10
    cv.rect(bx0, by0, bx1, by1, WHITE)
    cv.frame(bx0, by0, bx1, by1, BLACK)
    cv.rect(bx0 + 4, by0 - h // 12, bx1 - 4, by0, SILVER)  # output tray
    cv.frame(bx0 + 4, by0 - h // 12, bx1 - 4, by0, BLACK)
    cv.rect(bx1 - (bx1 - bx0) // 4, by0 + 6, bx1 - 6, by0 + 6 + h // 14, TEAL)  # panel
    th = (by1 - by0) // (trays + 3)
    for t in range(trays):
        y = by1 - (t + 1) * th
        cv.frame(bx0 + 6, y + 2, bx1 - 6, y + th - 2, GRAY)
        cv.rect((bx0 + bx1) // 2 - 8, y + th // 2 - 1, (bx0 + bx1) // 2 + 8, y + th // 2 + 1, BLACK)
    if finisher:
        cv.rect(bx1, by0 + h // 10, w * 19 // 20, by1, WHITE)
        cv.frame(bx1, by0 + h // 10, w * 19 // 20, by1, BLACK)
        cv.rect(w * 19 // 20, by0 + h // 5, w - 2, by0 + h // 5 + 3, GRAY)


# ---------------------------------------------------------------- file writers

def bmp(path, cv, bits):
    colours = palette(bits)
    if bits == 4:
        colours = colours[:16]
    row = ((cv.w * bits + 31) // 32) * 4
    data = bytearray()
    for y in range(cv.h - 1, -1, -1):
        line = bytearray(row)
        for x in range(cv.w):
            c = cv.px[y][x]
            if bits == 8:
                line[x] = c
            else:
                line[x // 2] |= (c & 15) << (4 if x % 2 == 0 else 0)
        data += line
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in colours)
    info = struct.pack('<IiiHHIIiiII', 40, cv.w, cv.h, 1, bits, 0, len(data), 2835, 2835, len(colours), 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pal) + len(data), 0, 0, 14 + len(info) + len(pal))
    with open(path, 'wb') as f:
        f.write(head + info + pal + data)


def icon_image(cv, transparent):
    """A 32-bit image with its mask, as an icon or cursor directory holds it."""
    colours = palette(8)
    xor = bytearray()
    for y in range(cv.h - 1, -1, -1):
        for x in range(cv.w):
            c = cv.px[y][x]
            r, g, b = colours[c]
            xor += struct.pack('<BBBB', b, g, r, 0 if c == transparent else 255)
    mrow = ((cv.w + 31) // 32) * 4
    mask = bytearray()
    for y in range(cv.h - 1, -1, -1):
        line = bytearray(mrow)
        for x in range(cv.w):
            if cv.px[y][x] == transparent:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    info = struct.pack('<IiiHHIIiiII', 40, cv.w, cv.h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def ico(path, cv, kind=1, hotspot=(0, 0)):
    image = icon_image(cv, FACE)
    planes, bits = (1, 32) if kind == 1 else hotspot
    head = struct.pack('<HHH', 0, kind, 1)
    entry = struct.pack('<BBBBHHII', cv.w % 256, cv.h % 256, 0, 0, planes, bits, len(image), 6 + 16)
    with open(path, 'wb') as f:
        f.write(head + entry + image)


# ---------------------------------------------------------------- the set

def preview_ids():
    """{id: (landscape, grayscale, content)} of the preview pane's pictures."""
    pics = {}
    def four(base, content):
        # base portrait, portrait grayscale, landscape, landscape grayscale
        for i, (land, gray) in enumerate([(False, False), (False, True), (True, False), (True, True)]):
            pics[base + i] = (land, gray, content)
    pics[2540], pics[2541] = (True, False, None), (False, False, None)          # plain sheet, duplex
    pics[2550], pics[2551] = (True, False, 'sheet'), (False, False, 'sheet')   # sheet alone
    for base in (2560, 2564, 2568, 2572, 2576, 2580, 2584):
        n = {2560: 1, 2564: 2, 2568: 4, 2572: 6, 2576: 8, 2580: 9, 2584: 16}[base]
        cols, rows = {1: (1, 1), 2: (1, 2), 4: (2, 2), 6: (2, 3), 8: (2, 4), 9: (3, 3), 16: (4, 4)}[n]
        for i, (land, gray) in enumerate([(True, False), (True, True), (False, False), (False, True)]):
            pics[base + i] = (land, gray, grid(rows, cols) if land else grid(cols, rows))
    for i in range(12):  # page orders
        pics[2600 + i] = (i in (2, 3) or i >= 8, False, order(i))
    for base, (c, r) in zip((2630, 2634, 2638, 2642), ((1, 2), (2, 2), (3, 3), (4, 4))):
        for i, (land, gray) in enumerate([(False, False), (False, True), (True, False), (True, True)]):
            pics[base + i] = (land, gray, grid(c, r))
    for i in range(12):  # staple positions, landscape even and portrait odd
        pics[2800 + i] = (i % 2 == 0, False, staple(i // 2))
    for i in range(18):  # punch holes by edge and count, 4-bit
        pics[2851 + i] = (i % 2 == 0, False, punch((i // 6) % 3, 2 + (i // 2) % 3))
    return pics


def zoom_sizes():
    """Twelve growing sizes of each orientation for the zoomed-page pictures."""
    land = [(round(33 * (472 / 33) ** (k / 11)), round(20 * (283 / 20) ** (k / 11))) for k in range(12)]
    port = [(round(22 * (311 / 22) ** (k / 11)), round(32 * (458 / 32) ** (k / 11))) for k in range(12)]
    ids_land = [2651, 2652, 2655, 2656, 2659, 2660, 2663, 2664, 2667, 2668, 2671, 2672]
    ids_port = [2653, 2654, 2657, 2658, 2661, 2662, 2665, 2666, 2669, 2670, 2673, 2674]
    out = {}
    for k in range(12):
        out[ids_land[k]] = (land[k], k % 2 == 1)
        out[ids_port[k]] = (port[k], k % 2 == 1)
    return out


ICON_IDS = [2100, 2101, 2102, 2103, 2104, 2105, 2106, 2107, 2108, 2110, 2111, 2112, 2113, 2114, 2115, 2116, 2117,
            2118, 2119, 2130, 2131, 2132, 2133, 2134, 2150, 2151, 2152, 2153, 2154, 2155, 2156, 2157, 2158, 2159,
            2160, 2161, 2162, 2163, 2164, 2165, 2166, 2167, 2170, 2171, 2172, 2173, 2174, 2180, 2181, 2190, 2191,
            2200, 2201, 2202, 2203, 2204, 2205, 2210, 2211, 2212, 2213, 2214, 2215, 2216, 2217, 2218, 2230, 2231,
            2240, 2241, 2242, 2243, 2244, 2245, 2246, 2247, 2248, 2250, 2251, 2261, 2262, 2263, 2264, 2265, 2270,
            2271, 2273, 2274, 2275, 2276, 2277, 2278, 2279, 2280, 2281, 2282, 2283, 2284, 2285, 2286, 2287, 2288,
            2289, 2290, 2291, 2292, 2293, 2294, 2295, 2296, 2300, 2301, 2302, 2303, 2304, 2305, 2306, 2307, 2320,
            2321, 2322, 2323, 2324, 2325, 2326, 2327, 2328, 2329, 2340, 2341, 2342, 2343, 2344, 2345]


def layout_picture(i):
    """The Basic page's layout buttons, each its own layout: one page, pages
    per sheet, an open booklet, a page fitted to a larger sheet, a page zoomed
    and a poster of tiles."""
    cv = Canvas(32, 32)
    kind = i - 2200
    if kind == 2:  # booklet: two facing pages, bound in the middle
        sheet(cv, 2, 6, 16, 26, fold=False)
        sheet(cv, 16, 6, 30, 26, fold=False)
        text_lines(cv, 4, 9, 14, 23, BLUE)
        text_lines(cv, 18, 9, 28, 23, BLUE)
        cv.line(16, 5, 16, 27, RED)
        return cv
    if kind == 5:  # poster: one picture over a grid of tiles
        sheet(cv, 2, 2, 28, 28, fold=False)
        cv.rect(5, 5, 25, 25, TEAL)
        for k in (11, 18):
            cv.line(k, 3, k, 27, WHITE)
            cv.line(3, k, 27, k, WHITE)
        return cv
    sheet(cv, 5, 2, 27, 29, fold=kind == 0)
    if kind == 0:  # none: a page as it is
        text_lines(cv, 8, 6, 23, 25, BLUE)
    elif kind == 1:  # pages per sheet
        grid(2, 2)(cv, 7, 4, 25, 27, BLUE)
    elif kind == 3:  # fit: a smaller page grown to the sheet
        cv.frame(11, 10, 21, 21, GRAY)
        text_lines(cv, 13, 12, 19, 19, BLUE)
        for x0, y0, x1, y1 in ((10, 9, 7, 5), (22, 9, 25, 5), (10, 22, 7, 26), (22, 22, 25, 26)):
            cv.line(x0, y0, x1, y1, RED)
    else:  # zoom: part of the page under a lens
        text_lines(cv, 8, 6, 23, 25, BLUE)
        cv.disc(18, 17, 7, WHITE)
        cv.rect(14, 14, 22, 20, BLUE)
        for a in range(0, 360, 6):
            cv.put(18 + round(7 * math.cos(math.radians(a))), 17 + round(7 * math.sin(math.radians(a))), BLACK)
        cv.line(23, 22, 28, 27, BLACK)
    return cv


def centre_picture():
    """The watermark dialog's "Move to center" button: a small page with four
    arrows pointing at its middle, 16 x 16 to sit beside the button's text."""
    cv = Canvas(16, 16)
    sheet(cv, 1, 1, 14, 14, fold=False)
    cv.rect(6, 6, 9, 9, RED)
    for x0, y0, x1, y1 in ((3, 7, 5, 7), (12, 7, 10, 7), (7, 3, 7, 5), (7, 12, 7, 10)):
        cv.line(x0, y0, x1, y1, BLUE)
    return cv


def icon_picture(i):
    """A 32 x 32 sheet whose marks tell the icons apart: orientation, content
    kind and a count of marks taken from the id."""
    if 2200 <= i <= 2205:
        return layout_picture(i)
    if i == 2180:
        return centre_picture()
    cv = Canvas(32, 32)
    land = (i // 3) % 2 == 1
    if land:
        sheet(cv, 2, 7, 28, 25, fold=False)
        x0, y0, x1, y1 = 5, 10, 25, 22
    else:
        sheet(cv, 7, 2, 25, 28, fold=False)
        x0, y0, x1, y1 = 10, 5, 22, 25
    kind = (i // 10) % 4
    if kind == 0:
        text_lines(cv, x0, y0, x1, y1, BLUE)
    elif kind == 1:
        grid(2, 2)(cv, x0, y0, x1, y1, BLUE)
    elif kind == 2:
        cv.rect(x0, y0, x1, y1, [RED, GREEN, NAVY, TEAL, PURPLE][i % 5])
    else:
        arrow(cv, x0, (y0 + y1) // 2, x1, (y0 + y1) // 2, RED)
    for k in range(i % 10):
        cv.rect(2 + 3 * k, 29, 4 + 3 * k, 31, BLACK)
    return cv


def main(out):
    os.makedirs(out, exist_ok=True)
    lines = ['// Generated by make_pictures.py: the pictures of the resource library.']
    def add(kind, rid, name):
        path = os.path.join(out, name).replace('\\', '/')
        lines.append(f'{rid} {kind} "{path}"')
    for rid, (land, gray, content) in sorted(preview_ids().items()):
        small = rid in (2560, 2561, 2562, 2563)
        w, h = ((142, 88) if land else (96, 138)) if small else ((162, 108) if land else (116, 158))
        cv = Canvas(w, h)
        if content == 'sheet':
            sheet(cv, int(w * 0.08), int(h * 0.08), w - int(w * 0.08) - 2, h - int(h * 0.08) - 2)
        else:
            page_with_content(cv, land, gray, content)
        bmp(os.path.join(out, f'b{rid}.bmp'), cv, 4 if 2851 <= rid <= 2868 else 8)
        add('BITMAP', rid, f'b{rid}.bmp')
    for rid, ((w, h), gray) in sorted(zoom_sizes().items()):
        cv = Canvas(w, h)
        page_with_content(cv, w > h, gray, zoomed(0.8))
        bmp(os.path.join(out, f'b{rid}.bmp'), cv, 8)
        add('BITMAP', rid, f'b{rid}.bmp')
    # The panes stay left of their templates' controls: 2511, the layout
    # dialogs', is as wide as its row of status icons (250 pixels); 2510, the
    # pages', fits the 158 dialog units before the pages' controls (a row's
    # seventh icon is cut at its edge).
    singles = {2500: (38, 63), 2510: (236, 374), 2511: (250, 338), 2512: (215, 227), 2521: (289, 254),
               2530: (8, 8), 2620: (36, 48), 2621: (36, 48), 2680: (48, 48)}
    for rid, (w, h) in singles.items():
        cv = Canvas(w, h)
        if rid == 2500:  # paper feed direction
            sheet(cv, 4, 4, w - 6, h - 6, fold=False)
            arrow(cv, w // 2, h - 12, w // 2, 12, RED)
        elif rid in (2510, 2511, 2521):
            printer(cv, trays=4 if rid == 2510 else 2, finisher=rid == 2521)
        elif rid == 2512:
            printer(cv, trays=3)
        elif rid == 2530:  # the pane's background pattern
            for y in range(h):
                for x in range(w):
                    cv.put(x, y, WHITE if (x + y) % 2 else SILVER)
        elif rid in (2620, 2621):  # a page, with or without a watermark
            sheet(cv, 3, 3, w - 5, h - 5)
            text_lines(cv, 7, 9, w - 9, h - 9, BLUE)
            if rid == 2621:
                cv.line(6, h - 10, w - 8, 8, RED)
        else:
            sheet(cv, 8, 4, 40, 44)
            grid(2, 2)(cv, 12, 10, 36, 40, BLUE)
        bmp(os.path.join(out, f'b{rid}.bmp'), cv, 4 if rid == 2680 else 8)
        add('BITMAP', rid, f'b{rid}.bmp')
    for rid in ICON_IDS:
        ico(os.path.join(out, f'i{rid}.ico'), icon_picture(rid))
        add('ICON', rid, f'i{rid}.ico')
    cur = Canvas(32, 32)  # a hand pointing up-left for the preview's hot spots
    arrow(cur, 20, 20, 2, 2, BLACK)
    cur.rect(14, 14, 26, 30, WHITE)
    cur.frame(14, 14, 26, 30, BLACK)
    ico(os.path.join(out, 'c2000.cur'), cur, kind=2, hotspot=(2, 2))
    add('CURSOR', 2000, 'c2000.cur')
    with open(os.path.join(out, 'pictures.rc'), 'w') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main(sys.argv[1])
