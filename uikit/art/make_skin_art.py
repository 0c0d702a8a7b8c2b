#!/usr/bin/env python3
"""Draws the skin of the GUI programs: frame pieces, caption buttons, button
faces, header strips and icon sets, as 24-bit BMP and 32-bit ICO files, and
writes skin_art.rc, which names each at its resource id.

Usage: make_skin_art.py OUTPUT_DIR
"""
import math
import os
import struct
import sys

KEY = (255, 0, 255)           # transparent key of the button faces
BORDER = (0x5B, 0x6F, 0x8A)   # outer frame line
FILL = (0xEE, 0xF2, 0xF7)     # caption and edges
ACCENT = (0x3D, 0x7B, 0xD9)   # stripe along the top
INNER = (0xC9, 0xD3, 0xE0)    # line around the client area
GLYPH = (0x44, 0x54, 0x6A)


class Image:
    def __init__(self, w, h, color=(0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[color for _ in range(w)] for _ in range(h)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                self.px[y][x] = c

    def crop(self, x, y, w, h):
        out = Image(w, h)
        out.px = [row[x:x + w] for row in self.px[y:y + h]]
        return out

    def bmp(self):
        stride = (self.w * 3 + 3) & ~3
        rows = []
        for y in range(self.h - 1, -1, -1):
            row = b"".join(struct.pack("BBB", b, g, r) for (r, g, b) in self.px[y])
            rows.append(row + b"\0" * (stride - len(row)))
        data = b"".join(rows)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
        head = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
        return head + info + data


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


# --- the frame: drawn whole, then cut into its pieces ----------------------

def frame_image(W=200, H=120, cap=40, side=10, bottom=17):
    im = Image(W, H, FILL)
    im.rect(side, cap, W - side, H - bottom, (255, 255, 255))
    im.rect(1, 1, W - 1, 4, ACCENT)
    for x in range(W):
        im.set(x, 0, BORDER)
        im.set(x, H - 1, BORDER)
    for y in range(H):
        im.set(0, y, BORDER)
        im.set(W - 1, y, BORDER)
    # Rounded top corners follow the window region (ellipse of 14).
    for cy in range(7):
        for cx in range(7):
            d = math.hypot(cx + 0.5 - 7, cy + 0.5 - 7)
            if d >= 6.2:
                im.set(cx, cy, BORDER)
                im.set(W - 1 - cx, cy, BORDER)
            elif cy >= 1:
                im.set(cx, cy, ACCENT if cy < 4 else FILL)
                im.set(W - 1 - cx, cy, ACCENT if cy < 4 else FILL)
    # The line around the client area.
    for x in range(side - 1, W - side + 1):
        im.set(x, cap - 1, INNER)
        im.set(x, H - bottom, INNER)
    for y in range(cap - 1, H - bottom + 1):
        im.set(side - 1, y, INNER)
        im.set(W - side, y, INNER)
    # A size grip of three dot rows in the bottom-right corner.
    for i in range(3):
        for j in range(i + 1):
            x, y = W - 5 - 3 * j, H - 5 - 3 * (i - j)
            im.rect(x - 1, y - 1, x + 1, y + 1, INNER)
    return im


def frame_pieces():
    W, H = 200, 120
    im = frame_image(W, H)
    return {
        216: im.crop(0, 0, 10, 40),          # top-left
        214: im.crop(100, 0, 1, 40),         # caption strip
        217: im.crop(W - 10, 0, 10, 40),     # top-right
        221: im.crop(0, 60, 10, 1),          # left edge
        222: im.crop(0, H - 17, 16, 17),     # bottom-left
        220: im.crop(100, H - 17, 1, 17),    # bottom edge
        224: im.crop(W - 16, H - 17, 16, 17),  # bottom-right
        223: im.crop(W - 10, 60, 10, 1),     # right edge
    }


# --- caption buttons -------------------------------------------------------

def coverage(fn, x, y, n=4):
    hits = 0
    for sy in range(n):
        for sx in range(n):
            if fn(x + (sx + 0.5) / n, y + (sy + 0.5) / n):
                hits += 1
    return hits / (n * n)


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def caption_glyph(role):
    cx, cy = 13.0, 10.0
    if role == "min":
        return lambda x, y: 9 <= x <= 17 and 12.5 <= y <= 14
    if role == "max":
        def f(x, y):
            inside = 8.5 <= x <= 17.5 and 5.5 <= y <= 14.5
            hole = 10 <= x <= 16 and 8.5 <= y <= 13
            return inside and not hole
        return f
    if role == "restore":
        def box(x, y, x0, y0):
            return (x0 <= x <= x0 + 7 and y0 <= y <= y0 + 7) and not (x0 + 1.5 <= x <= x0 + 5.5 and y0 + 2.5 <= y <= y0 + 5.5)
        def f(x, y):
            front = box(x, y, 8.5, 8)
            back = box(x, y, 11, 5.5) and not (8.5 <= x <= 15.5 and 8 <= y <= 15)
            return front or back
        return f
    def f(x, y):  # close
        return (seg_dist(x, y, cx - 4, cy - 4, cx + 4, cy + 4) <= 1.1 or
                seg_dist(x, y, cx - 4, cy + 4, cx + 4, cy - 4) <= 1.1)
    return f


def caption_button(role, state):
    w, h = 26, 18
    if role == "close" and state != "normal":
        back = (0xE0, 0x46, 0x3B) if state == "hot" else (0xB8, 0x32, 0x2A)
        ink = (255, 255, 255)
    else:
        back = {"normal": FILL, "hot": (0xD8, 0xE4, 0xF3), "pressed": (0xB9, 0xCD, 0xE8)}[state]
        ink = GLYPH
    im = Image(w, h, back)
    im.rect(0, 0, w, 1, BORDER)
    im.rect(0, 1, w, 4, ACCENT)
    glyph = caption_glyph(role)
    for y in range(h):
        for x in range(w):
            c = coverage(glyph, x, y)
            if c > 0:
                im.set(x, y, mix(im.px[y][x], ink, c))
    return im


CAPTION_BUTTONS = {
    ("min", "normal"): 206, ("max", "normal"): 203, ("restore", "normal"): 209, ("close", "normal"): 200,
    ("min", "pressed"): 207, ("max", "pressed"): 204, ("restore", "pressed"): 210, ("close", "pressed"): 201,
    ("min", "hot"): 208, ("max", "hot"): 205, ("restore", "hot"): 211, ("close", "hot"): 202,
}


# --- button faces and header strips -----------------------------------------

def rounded_face(w, h, radius, fill, border):
    im = Image(w, h, KEY)
    for y in range(h):
        for x in range(w):
            # distance outside the rounded rectangle's inner box
            qx = max(radius - (x + 0.5), 0, (x + 0.5) - (w - radius))
            qy = max(radius - (y + 0.5), 0, (y + 0.5) - (h - radius))
            d = math.hypot(qx, qy)
            if d <= radius - 1:
                im.set(x, y, fill)
            elif d <= radius:
                im.set(x, y, border)
    return im


def strip(h, top, bottom, line):
    im = Image(1, h)
    for y in range(h):
        im.set(0, y, mix(top, bottom, y / max(1, h - 2)))
    im.set(0, h - 1, line)
    return im


# --- icons ------------------------------------------------------------------

def poly_inside(x, y, pts):
    inside = False
    j = len(pts) - 1
    for i in range(len(pts)):
        xi, yi = pts[i]
        xj, yj = pts[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def glyph_fn(kind):
    # Coordinates in units of the icon: 0..1.
    if kind == "disk":
        return lambda x, y: 0.14 <= math.hypot(x - 0.5, y - 0.5) <= 0.27 or math.hypot(x - 0.5, y - 0.5) <= 0.07
    if kind == "play":
        return lambda x, y: poly_inside(x, y, [(0.36, 0.25), (0.36, 0.75), (0.76, 0.5)])
    if kind == "cross":
        return lambda x, y: (seg_dist(x, y, 0.3, 0.3, 0.7, 0.7) <= 0.08 or seg_dist(x, y, 0.3, 0.7, 0.7, 0.3) <= 0.08)
    if kind == "plus":
        return lambda x, y: (abs(x - 0.5) <= 0.08 and 0.24 <= y <= 0.76) or (abs(y - 0.5) <= 0.08 and 0.24 <= x <= 0.76)
    if kind == "clock":
        def f(x, y):
            r = math.hypot(x - 0.5, y - 0.5)
            return 0.22 <= r <= 0.3 or seg_dist(x, y, 0.5, 0.5, 0.5, 0.32) <= 0.05 or seg_dist(x, y, 0.5, 0.5, 0.64, 0.5) <= 0.05
        return f
    if kind == "list":
        return lambda x, y: 0.26 <= x <= 0.74 and any(abs(y - c) <= 0.055 for c in (0.32, 0.5, 0.68))
    if kind == "folder":
        return lambda x, y: poly_inside(x, y, [(0.22, 0.3), (0.44, 0.3), (0.5, 0.37), (0.78, 0.37), (0.78, 0.72), (0.22, 0.72)])
    if kind == "check":
        return lambda x, y: seg_dist(x, y, 0.28, 0.52, 0.44, 0.68) <= 0.08 or seg_dist(x, y, 0.44, 0.68, 0.74, 0.34) <= 0.08
    if kind == "right":
        return lambda x, y: poly_inside(x, y, [(0.25, 0.42), (0.5, 0.42), (0.5, 0.27), (0.76, 0.5), (0.5, 0.73), (0.5, 0.58), (0.25, 0.58)])
    if kind == "left":
        return lambda x, y: poly_inside(x, y, [(0.75, 0.42), (0.5, 0.42), (0.5, 0.27), (0.24, 0.5), (0.5, 0.73), (0.5, 0.58), (0.75, 0.58)])
    if kind == "info":
        return lambda x, y: math.hypot(x - 0.5, y - 0.3) <= 0.07 or (abs(x - 0.5) <= 0.065 and 0.42 <= y <= 0.74)
    if kind == "bolt":
        return lambda x, y: poly_inside(x, y, [(0.55, 0.2), (0.3, 0.55), (0.48, 0.55), (0.42, 0.8), (0.7, 0.43), (0.52, 0.43)])
    if kind == "sliders":
        def f(x, y):
            for cy, knob in ((0.32, 0.62), (0.5, 0.38), (0.68, 0.56)):
                if abs(y - cy) <= 0.035 and 0.24 <= x <= 0.76:
                    return True
                if math.hypot(x - knob, y - cy) <= 0.08:
                    return True
            return False
        return f
    raise ValueError(kind)


ICONS = {  # resource id: (tile colour, glyph)
    243: ((0x2F, 0x6F, 0xD0), "disk"),
    244: ((0x9A, 0xA5, 0xB1), "disk"),
    237: ((0x2E, 0x9E, 0x5B), "play"),
    242: ((0xD6, 0x45, 0x3D), "cross"),
    241: ((0xE0, 0x8A, 0x1E), "plus"),
    239: ((0x7B, 0x5C, 0xC9), "clock"),
    232: ((0x1E, 0x9C, 0xA8), "list"),
    238: ((0x3A, 0x7C, 0xC8), "folder"),
    229: ((0x2E, 0x9E, 0x5B), "check"),
    227: ((0x3A, 0x7C, 0xC8), "right"),
    235: ((0x3A, 0x7C, 0xC8), "left"),
    240: ((0xD9, 0x9A, 0x1B), "folder"),
    231: ((0x8A, 0x95, 0xA3), "cross"),
    230: ((0x4C, 0x5B, 0xC4), "info"),
    234: ((0x2F, 0x6F, 0xD0), "bolt"),
    233: ((0x4A, 0x5A, 0x70), "sliders"),
    236: ((0x8A, 0x95, 0xA3), "info"),
}


def icon_image(size, tile, kind):
    """RGBA rows of one icon: a rounded tile with a white glyph."""
    glyph = glyph_fn(kind)
    radius = 0.2
    n = 4
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            a_tile = a_glyph = 0
            for sy in range(n):
                for sx in range(n):
                    u = (x + (sx + 0.5) / n) / size
                    v = (y + (sy + 0.5) / n) / size
                    qx = max(radius + 0.04 - u, 0, u - (0.96 - radius))
                    qy = max(radius + 0.04 - v, 0, v - (0.96 - radius))
                    if math.hypot(qx, qy) <= radius:
                        a_tile += 1
                        if glyph(u, v):
                            a_glyph += 1
            a_tile /= n * n
            a_glyph /= n * n
            if a_tile == 0:
                row.append((0, 0, 0, 0))
                continue
            t = a_glyph / a_tile
            r, g, b = mix(tile, (255, 255, 255), t)
            row.append((r, g, b, int(round(255 * a_tile))))
        rows.append(row)
    return rows


def ico(images):
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for rows in images:
        size = len(rows)
        pixels = b"".join(struct.pack("BBBB", b, g, r, a) for row in reversed(rows) for (r, g, b, a) in row)
        mask_stride = ((size + 31) // 32) * 4
        mask = bytearray()
        for row in reversed(rows):
            bits = bytearray(mask_stride)
            for x, (_, _, _, a) in enumerate(row):
                if a == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
        blob = header + pixels + bytes(mask)
        entries.append(struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    bitmaps = dict(frame_pieces())
    for (role, state), rid in CAPTION_BUTTONS.items():
        bitmaps[rid] = caption_button(role, state)
    bitmaps[212] = rounded_face(90, 27, 4, (0xEA, 0xF1, 0xF9), (0x8F, 0xA6, 0xC1))
    bitmaps[219] = rounded_face(211, 63, 6, (0xE6, 0xEF, 0xFA), (0x6F, 0x8F, 0xBF))
    bitmaps[218] = rounded_face(211, 63, 6, (0xF1, 0xF3, 0xF6), (0x8A, 0x95, 0xA3))
    bitmaps[226] = strip(10, (0xFF, 0xFF, 0xFF), (0xE6, 0xEC, 0xF3), (0xB8, 0xC4, 0xD2))
    bitmaps[225] = strip(20, (0xF7, 0xF9, 0xFC), (0xDD, 0xE5, 0xEE), (0xB8, 0xC4, 0xD2))

    lines = ["// Written by make_skin_art.py: the skin's pictures at their resource ids."]
    for rid in sorted(bitmaps):
        path = os.path.join(out, "skin_%d.bmp" % rid)
        with open(path, "wb") as f:
            f.write(bitmaps[rid].bmp())
        lines.append('%d BITMAP "%s"' % (rid, path.replace("\\", "/")))
    for rid, (tile, kind) in sorted(ICONS.items()):
        path = os.path.join(out, "icon_%d.ico" % rid)
        with open(path, "wb") as f:
            f.write(ico([icon_image(s, tile, kind) for s in (16, 24, 32)]))
        lines.append('%d ICON "%s"' % (rid, path.replace("\\", "/")))
    with open(os.path.join(out, "skin_art.rc"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
