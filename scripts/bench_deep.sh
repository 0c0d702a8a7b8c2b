#!/usr/bin/env bash
# A tree as deep as Wine's path to the Linux file system allows: a chain of
# folders "d", each with one small file "f", captured (a), changed and
# compared (i, then d against the full image) and restored (x) under Wine.
# Each run must say "Everything is Ok." and leave no work file; the restored
# tree must equal the source. Not a test (a deep path costs Wine a walk of
# the whole path per open, so the runs take many minutes): it prints the
# seconds and peak memory of each run.  Needs a built OrvaImage.exe.
# Settings: BENCH_DIR (default /tmp/orva_deep; keep it short, the tree's
# depth is what is left of the path), DEPTH (default: the most that fits),
# ENGINE (the OrvaImage.exe to measure; default the one in build/).
source "$(dirname "$0")/common.sh"
BENCH_DIR=${BENCH_DIR:-/tmp/orva_deep}
TOOLS=$ROOT/tools/bench
SRC=$BENCH_DIR/s
OUT=$BENCH_DIR/o
IMAGES=$BENCH_DIR/img
# Wine turns Z:\x into $WINEPREFIX/dosdevices/z:/x, which must stay within
# Linux's 4,096 bytes: so much is left for the deepest file ("/f") of the
# source and of the target. Two levels are kept in hand.
DRIVE="$WINEPREFIX/dosdevices/z:"
DEPTH=${DEPTH:-$(((4094 - ${#DRIVE} - ${#SRC} - 2) / 2 - 2))}

rm -rf "$SRC" "$OUT" "$IMAGES"
mkdir -p "$SRC" "$IMAGES"
echo "Making a chain of $DEPTH folders in $SRC"
# Made through folder handles: no call is given a whole deep path.
$PYTHON - "$SRC" "$DEPTH" <<'PY'
import os
import sys
fd = os.open(sys.argv[1], os.O_RDONLY)
for level in range(int(sys.argv[2]) + 1):
    with open(os.open('f', os.O_CREAT | os.O_WRONLY, dir_fd=fd), 'w') as f:
        f.write(f'level {level}\n')
    if level < int(sys.argv[2]):
        os.mkdir('d', dir_fd=fd)
        below = os.open('d', os.O_RDONLY, dir_fd=fd)
        os.close(fd)
        fd = below
PY

start_wine
win() { echo "Z:${1//\//\\}"; }
WINE_RUN=$ROOT/tools/wine-run
ENGINE=${ENGINE:-$ROOT/build/bin/OrvaImage.exe}
FULL=$IMAGES/Deep.TAV
measure() { REPEAT=1 $PYTHON "$TOOLS/measure.py" "$@"; }

FAILED=0
# run NAME ARGS...: one engine run, its figures and checks.
run() {
  local name=$1
  shift
  local out=$BENCH_DIR/$name.out figures verdict left
  figures=$(measure bash -c "$(printf '%q ' "$WINE_RUN" "$ENGINE" "$@") >'$out' 2>&1")
  verdict=$(tr -d '\r' <"$out" | grep -E '^(Everything is Ok|The imaging process is finished|There were fatal)' |
    tail -n 1 || true)
  left=$(cd "$IMAGES" && ls | grep -vE '^Deep(_[0-9]{4})?\.TAV$|\.log$' | tr '\n' ' ' || true)
  read -r secs kib <<<"$figures"
  printf '%-3s %8.1f s %8.1f MB  %s%s\n' "$name" "$secs" "$((kib / 1024))" "${verdict:-no verdict}" \
    "${left:+  work files left: $left}"
  if [ "$verdict" != "Everything is Ok." ] || [ -n "$left" ]; then
    FAILED=1
    tr -d '\r' <"$out" | tail -n 15
  fi
}

echo "Runs (seconds, peak memory, verdict):"
run a a "$(win "$FULL")" "$(win "$SRC")" -mx1
# The deepest file changes and gains a neighbour; one half-way changes too.
$PYTHON - "$SRC" "$DEPTH" <<'PY'
import os
import sys
fd = os.open(sys.argv[1], os.O_RDONLY)
for level in range(int(sys.argv[2]) + 1):
    if level in (int(sys.argv[2]) // 2, int(sys.argv[2])):
        with open(os.open('f', os.O_WRONLY | os.O_APPEND, dir_fd=fd), 'a') as f:
            f.write('changed\n')
        os.utime('f', (1_700_000_000 + level, 1_700_000_000 + level), dir_fd=fd)
    if level == int(sys.argv[2]):
        with open(os.open('n', os.O_CREAT | os.O_WRONLY, dir_fd=fd), 'w') as f:
            f.write('new\n')
    else:
        below = os.open('d', os.O_RDONLY, dir_fd=fd)
        os.close(fd)
        fd = below
PY
run i i "$(win "$FULL")" "$(win "$SRC")" -mx1
run d d "$(win "$FULL")" "$(win "$SRC")" -mx1
run x x "$(win "$IMAGES/Deep_0002.TAV")" "-o$(win "$OUT")"

# The restored tree against the source, level by level through folder handles.
if ! $PYTHON - "$SRC" "$OUT" <<'PY'; then
import os
import sys
a, b = (os.open(p, os.O_RDONLY) for p in sys.argv[1:3])
level = 0
while True:
    names = sorted(os.listdir(a))
    if names != sorted(os.listdir(b)):
        sys.exit(f'level {level}: {names} against {sorted(os.listdir(b))}')
    for n in names:
        if n != 'd':
            with open(os.open(n, os.O_RDONLY, dir_fd=a), 'rb') as x, open(os.open(n, os.O_RDONLY, dir_fd=b), 'rb') as y:
                if x.read() != y.read():
                    sys.exit(f'level {level}: {n} differs')
    if 'd' not in names:
        break
    below = [os.open('d', os.O_RDONLY, dir_fd=fd) for fd in (a, b)]
    os.close(a)
    os.close(b)
    a, b = below
    level += 1
print(f'x gave the tree back: {level} folders below the target')
PY
  FAILED=1
fi
stop_wine
exit $FAILED
