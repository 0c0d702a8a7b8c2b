#!/usr/bin/env python3
"""Runs a command REPEAT times (default 1) and prints its best wall time and
the peak resident memory (VmHWM) of the largest process of its process tree,
sampled every 20 ms.
Usage: [REPEAT=n] measure.py COMMAND [ARG...]
Output: "<seconds> <peak KiB>"."""
import os
import subprocess
import sys
import time
from pathlib import Path


def children(pid):
    found = []
    for entry in os.listdir('/proc'):
        if not entry.isdigit():
            continue
        try:  # a process may end while the list is read
            fields = Path('/proc', entry, 'stat').read_text().rsplit(')', 1)[1].split()
        except (OSError, IndexError):
            continue
        if int(fields[1]) == pid:
            found.append(int(entry))
    return found


def peak_kib(pid):
    try:
        for line in Path(f'/proc/{pid}/status').read_text().splitlines():
            if line.startswith('VmHWM:'):
                return int(line.split()[1])
    except OSError:
        pass
    return 0


def run_once(command):
    start = time.monotonic()
    proc = subprocess.Popen(command, stdout=subprocess.DEVNULL)
    peak, tree = 0, {proc.pid}
    while proc.poll() is None:
        for pid in list(tree):
            tree.update(children(pid))
            peak = max(peak, peak_kib(pid))
        time.sleep(0.02)
    return time.monotonic() - start, peak, proc.returncode


def main():
    runs = [run_once(sys.argv[1:])
            for _ in range(int(os.environ.get('REPEAT', '1')))]
    print(f'{min(r[0] for r in runs):.3f} {max(r[1] for r in runs)}')
    return max(r[2] for r in runs)


if __name__ == '__main__':
    sys.exit(main())
