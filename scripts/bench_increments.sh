#!/usr/bin/env bash
# Throughput of the increment runs over the unchanged benchmark tree beside
# the full capture it compares with: OrvaImage a, then i (references only,
# no file data read) and w (old entries and data copied). Not a test: it
# prints figures. Needs a built OrvaImage.exe.
# Settings as scripts/bench_capture.sh: BENCH_DIR (default /tmp/orva_bench),
# SMALL_FILES (5000), LARGE_FILES (4), LARGE_MIB (32), REPEAT (3).
source "$(dirname "$0")/common.sh"
BENCH_DIR=${BENCH_DIR:-/tmp/orva_bench}
TOOLS=$ROOT/tools/bench
TREE=$BENCH_DIR/tree
IMAGES=$BENCH_DIR/increments
mkdir -p "$BENCH_DIR"
echo "Making the tree in $TREE"
read -r FILES BYTES < <($PYTHON "$TOOLS/make_tree.py" "$TREE" \
  "${SMALL_FILES:-5000}" "${LARGE_FILES:-4}" "${LARGE_MIB:-32}")
echo "  $FILES files, $BYTES bytes"

start_wine
win() { echo "Z:${1//\//\\}"; }
WINE_RUN=$ROOT/tools/wine-run
ENGINE=${ENGINE:-$ROOT/build/bin/OrvaImage.exe}
FULL=$IMAGES/Bench.TAV
rm -rf "$IMAGES"
mkdir -p "$IMAGES"
find "$TREE" -type f -exec cat {} + >/dev/null
GIVEN="-d00C0001$(printf %012d "$BYTES")"

measure() { REPEAT=${REPEAT:-3} $PYTHON "$TOOLS/measure.py" "$@"; }
engine() { "$WINE_RUN" "$ENGINE" "$@"; }
read -r FULL_S FULL_KIB < <(measure bash -c "rm -f '$FULL'; '$WINE_RUN' '$ENGINE' a '$(win "$FULL")' \
  '$(win "$TREE")' -mx1 $GIVEN >'$BENCH_DIR/inc_a.out'")
# Each incremental starts from an empty list (r), so every run compares
# with the full image alone and writes Bench_0001.TAV.
read -r INC_S INC_KIB < <(measure bash -c "'$WINE_RUN' '$ENGINE' r '$(win "$FULL")' >/dev/null; \
  '$WINE_RUN' '$ENGINE' i '$(win "$FULL")' '$(win "$TREE")' -mx1 $GIVEN >'$BENCH_DIR/inc_i.out'")
read -r R_S R_KIB < <(measure "$WINE_RUN" "$ENGINE" r "$(win "$FULL")")
INC_SIZE=$(stat -c %s "$IMAGES/Bench_0001.TAV")
read -r W_S W_KIB < <(measure bash -c "'$WINE_RUN' '$ENGINE' w '$(win "$FULL")' '$(win "$TREE")' -mx1 $GIVEN \
  >'$BENCH_DIR/inc_w.out'")
for run in a i w; do
  echo "Verdict of $run: $(tr -d '\r' <"$BENCH_DIR/inc_$run.out" | tail -n 3 | head -n 1)"
done
$PYTHON - "$FILES" "$BYTES" "$FULL_S" "$FULL_KIB" "$INC_S" "$INC_KIB" "$R_S" "$W_S" "$W_KIB" "$INC_SIZE" <<'PY'
import os
import sys
files, size = int(sys.argv[1]), int(sys.argv[2])
full_s, full_kib, inc_s, inc_kib, r_s, w_s, w_kib = (float(v) for v in sys.argv[3:10])
inc_size = int(sys.argv[10])
inc_only = max(inc_s - r_s, 1e-9)
rows = [('OrvaImage a -mx1 (full capture)', full_s, full_kib),
        ('OrvaImage i, unchanged tree', inc_only, inc_kib),
        ('OrvaImage w, unchanged tree', w_s, w_kib)]
print(f'{os.cpu_count()} cores; {files} files, {size} bytes')
print(f'{"":34} {"seconds":>8} {"files/s":>9} {"MB/s":>8} {"peak RSS":>10}')
for name, secs, kib in rows:
    print(f'{name:34} {secs:8.2f} {files / secs:9.0f} {size / secs / 1e6:8.1f} {kib / 1024:7.1f} MB')
print(f'Ratios against the full capture: i {inc_only / full_s:.2f}, w {w_s / full_s:.2f}')
print(f'increment image: {inc_size} bytes for {files} files (references only);'
      f' the i time has the time of an r run ({r_s:.2f} s) taken off.')
PY
