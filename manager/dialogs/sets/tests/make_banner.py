#!/usr/bin/env python3
"""Draws a plain banner (24-bit BMP) for the dialogs under test."""
import os
import struct
import sys

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
os.makedirs(os.path.dirname(sys.argv[1]), exist_ok=True)
with open(sys.argv[1], "wb") as f:
    f.write(head + info + data)
