#!/usr/bin/env python3
"""Writes a tree of many tiny files for the walk benchmarks.
Usage: make_shape.py ROOT flat|deep FILES FOLDERS SIZE
flat: FOLDERS folders side by side; deep: the same folders nested one in
the other.  The files are spread evenly over the folders.  A tree made
earlier with the same arguments is kept.  Prints the file and byte count."""
import os
import sys
from pathlib import Path


def main():
    root = Path(sys.argv[1])
    shape = sys.argv[2]
    files, folders, size = (int(v) for v in sys.argv[3:6])
    stamp = root / '.made'
    wanted = f'{shape} {files} {folders} {size}\n'
    if not (stamp.exists() and stamp.read_text() == wanted):
        if root.exists():
            os.system(f"rm -rf '{root}'")
        root.mkdir(parents=True)
        body = (b'small file text ' * (size // 16 + 1))[:size]
        folder = root
        for d in range(folders):
            folder = (folder if shape == 'deep' else root) / f'd{d:03d}'
            folder.mkdir()
            for i in range(d * files // folders, (d + 1) * files // folders):
                (folder / f'f{i:06d}.txt').write_bytes(body)
        stamp.write_text(wanted)
    print(files, files * size)


if __name__ == '__main__':
    main()
