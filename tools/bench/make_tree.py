#!/usr/bin/env python3
"""Writes the benchmark tree: many small files in folders of 100 and a few
large ones, all half noise and half text so compressors have real work.
Usage: make_tree.py ROOT SMALL_FILES LARGE_FILES LARGE_MIB
Prints the tree's file count and byte count.  A tree made earlier with the
same arguments is kept."""
import os
import random
import sys
from pathlib import Path

TEXT = bytes.maketrans(bytes(range(256)), b'etaoin shrdlu\n.,' * 16)


def content(rnd, size):
    half = size // 2
    return rnd.randbytes(half) + rnd.randbytes(size - half).translate(TEXT)


def main():
    root = Path(sys.argv[1])
    small, large, large_mib = (int(v) for v in sys.argv[2:5])
    stamp = root / '.made'
    wanted = f'{small} {large} {large_mib}\n'
    if not (stamp.exists() and stamp.read_text() == wanted):
        if root.exists():
            os.system(f"rm -rf '{root}'")
        rnd = random.Random(1)
        for i in range(small):
            folder = root / 'small' / f'd{i // 100:03d}'
            folder.mkdir(parents=True, exist_ok=True)
            (folder / f'f{i:05d}.dat').write_bytes(
                content(rnd, rnd.randint(1024, 16384)))
        (root / 'large').mkdir(parents=True, exist_ok=True)
        chunk = content(rnd, 1 << 20)
        for i in range(large):
            with open(root / 'large' / f'big{i}.bin', 'wb') as f:
                for j in range(large_mib):  # vary each MiB a little
                    f.write(chunk[j:] + chunk[:j])
        stamp.write_text(wanted)
    files = [p for p in root.rglob('*') if p.is_file() and p != stamp]
    print(len(files), sum(p.stat().st_size for p in files))


if __name__ == '__main__':
    main()
