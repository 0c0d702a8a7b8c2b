"""Draws the About box's picture: a blue rounded tile with a white disk."""
import math
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "art"))
from manager_art_ids import ID  # noqa: E402

SIZE = 64
BACK = (0xFF, 0xFF, 0xFE)   # the dialog's background (0xFEFFFF)
TILE = (0x2F, 0x6F, 0xD0)
WHITE = (0xFF, 0xFF, 0xFF)


def mix(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def coverage(inside, x, y, n=4):
    hits = sum(inside(x + (i + 0.5) / n, y + (j + 0.5) / n) for i in range(n) for j in range(n))
    return hits / (n * n)


def in_tile(x, y):
    r = 12
    qx = max(r - x, 0, x - (SIZE - r))
    qy = max(r - y, 0, y - (SIZE - r))
    return math.hypot(qx, qy) <= r


def in_disk(x, y):
    d = math.hypot(x - SIZE / 2, y - SIZE / 2)
    return 9 <= d <= 22 or d <= 4


def pixel(x, y):
    t = coverage(in_tile, x, y)
    g = coverage(lambda u, v: in_tile(u, v) and in_disk(u, v), x, y)
    c = mix(BACK, TILE, t)
    return mix(c, WHITE, g)


def bmp():
    stride = (SIZE * 3 + 3) & ~3
    rows = []
    for y in range(SIZE - 1, -1, -1):
        row = b"".join(struct.pack("BBB", b, g, r) for (r, g, b) in (pixel(x, y) for x in range(SIZE)))
        rows.append(row + b"\0" * (stride - len(row)))
    data = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    return head + info + data


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    path = os.path.join(out, "about_picture.bmp")
    with open(path, "wb") as f:
        f.write(bmp())
    with open(os.path.join(out, "about_art.rc"), "w") as f:
        f.write("// Written by make_about_art.py.\n%d BITMAP \"%s\"\n"
                % (ID["IDB_ABOUT_PICTURE"], path.replace("\\", "/")))


if __name__ == "__main__":
    main()
