#!/usr/bin/env python3
"""The media maker's pictures: each of its resource ids shows one of the
skin's pictures (uikit/art/make_skin_art.py). Writes media_art.rc, naming the
skin's files at the media maker's ids, and media_art_ids.h, both from the
one table below.

Usage: make_media_art.py SKIN_ART_DIR OUTPUT_DIR
"""
import os
import sys

# Name, the media maker's id, the skin's picture it shows.
ICONS = [
    ('IDR_MAINFRAME', 128, 243),
    ('IDI_MESSAGE', 129, 230),
    ('IDI_DISK', 132, 243),
    # The skin cache's icon sets 0-4.
    ('IDI_SKIN_SET_0', 157, 243),
    ('IDI_SKIN_SET_1', 158, 244),
    ('IDI_SKIN_SET_2', 154, 238),
    ('IDI_SKIN_SET_3', 156, 229),
    ('IDI_SKIN_SET_4', 155, 231),
]
# The skin cache's bitmap slots 0-20, in slot order.
BITMAPS = [('IDB_SKIN_SLOT_%d' % slot, rid, src) for slot, (rid, src) in enumerate([
    (147, 216), (146, 214), (148, 217), (150, 221), (151, 222), (149, 220), (153, 224),
    (152, 223), (139, 206), (136, 203), (142, 209), (133, 200), (140, 207), (137, 204),
    (143, 210), (134, 201), (141, 208), (138, 205), (144, 211), (135, 202), (145, 212)])]


def write_if_changed(path, text):
    if not os.path.exists(path) or open(path).read() != text:
        with open(path, 'w') as f:
            f.write(text)


def main():
    skin, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    rc = ['// Written by make_media_art.py: the media maker\'s pictures at its resource ids.']
    rc += ['%d BITMAP "%s"' % (rid, os.path.join(skin, 'skin_%d.bmp' % src).replace('\\', '/'))
           for _, rid, src in sorted(BITMAPS, key=lambda b: b[1])]
    rc += ['%d ICON "%s"' % (rid, os.path.join(skin, 'icon_%d.ico' % src).replace('\\', '/'))
           for _, rid, src in sorted(ICONS, key=lambda i: i[1])]
    write_if_changed(os.path.join(out, 'media_art.rc'), '\n'.join(rc) + '\n')
    ids = ['// Written by make_media_art.py from its table; edit the table.', '#pragma once']
    ids += ['#define %s %d' % (name, rid) for name, rid, _ in ICONS + BITMAPS]
    write_if_changed(os.path.join(out, 'media_art_ids.h'), '\n'.join(ids) + '\n')


if __name__ == '__main__':
    main()
