#!/usr/bin/env python3
"""Draws the backup wizard's banner and its job and drive icons with the
skin's drawing helpers, and writes wizard_art.rc naming them at their ids.

Usage: make_wizard_art.py SKIN_ART_SCRIPT OUTPUT_DIR
"""
import importlib.util
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "art"))
from manager_art_ids import ID  # noqa: E402


def load_skin(path):
    spec = importlib.util.spec_from_file_location("make_skin_art", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def banner(skin, w=480, h=56):
    im = skin.Image(w, h, (255, 255, 254))
    top, bottom = (0x3D, 0x7B, 0xD9), (0x1F, 0x4E, 0x9A)
    for y in range(h - 4):
        im.rect(0, y, w, y + 1, skin.mix(top, bottom, y / (h - 5)))
    im.rect(0, h - 4, w, h - 2, (0xE0, 0x8A, 0x1E))
    im.rect(0, h - 2, w, h, (255, 255, 254))
    # Three disks on the right.
    for i in range(3):
        x0, y0 = w - 150 + i * 44, 12
        im.rect(x0, y0, x0 + 36, y0 + 26, (0xEE, 0xF2, 0xF7))
        im.rect(x0 + 4, y0 + 18, x0 + 32, y0 + 21, (0x5B, 0x6F, 0x8A))
        im.rect(x0 + 26, y0 + 6, x0 + 31, y0 + 10, (0x2E, 0x9E, 0x5B))
    return im


def main():
    skin = load_skin(sys.argv[1])
    out = sys.argv[2]
    os.makedirs(out, exist_ok=True)
    lines = []
    path = os.path.join(out, "wizard_%d.bmp" % ID["IDB_JOB_BANNER"])
    with open(path, "wb") as f:
        f.write(banner(skin).bmp())
    lines.append('%d BITMAP "%s"' % (ID["IDB_JOB_BANNER"], path.replace("\\", "/")))
    icons = {ID["IDI_TREE_BACKUP_ONCE"]: ((0x3A, 0x7C, 0xC8), "list"),
             ID["IDI_TREE_DRIVE"]: ((0x2F, 0x6F, 0xD0), "disk")}
    for rid, (tile, kind) in sorted(icons.items()):
        path = os.path.join(out, "wizard_%d.ico" % rid)
        with open(path, "wb") as f:
            f.write(skin.ico([skin.icon_image(s, tile, kind) for s in (16, 24, 32)]))
        lines.append('%d ICON "%s"' % (rid, path.replace("\\", "/")))
    with open(os.path.join(out, "wizard_art.rc"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
