#!/usr/bin/env python3
"""Draws a plain banner (24-bit BMP) for the dialogs under test and writes
banner_art.rc beside it, naming it at both banner ids.

Usage: make_banner.py OUTPUT_DIR
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "art"))
from manager_art_ids import ID  # noqa: E402

W, H = 450, 45
rows = []
for y in range(H - 1, -1, -1):
    row = b""
    for x in range(W):
        t = x / (W - 1)
        r, g, b = int(0x3D + (0xEE - 0x3D) * t), int(0x7B + (0xF2 - 0x7B) * t), int(0xD9 + (0xF7 - 0xD9) * t)
        if y >= H - 3:
            r, g, b = 0x5B, 0x6F, 0x8A
        row += struct.pack("BBB", b, g, r)
    rows.append(row + b"\0" * ((4 - len(row) % 4) % 4))
data = b"".join(rows)
info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(data), 2835, 2835, 0, 0)
head = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
out = sys.argv[1]
os.makedirs(out, exist_ok=True)
path = os.path.join(out, "banner.bmp")
with open(path, "wb") as f:
    f.write(head + info + data)
with open(os.path.join(out, "banner_art.rc"), "w") as f:
    for rid in (ID["IDB_REPOSITORY_BANNER"], ID["IDB_JOB_BANNER"]):
        f.write('%d BITMAP "%s"\n' % (rid, path.replace("\\", "/")))
