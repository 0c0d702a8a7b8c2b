#!/usr/bin/env bash
# Speed of the restore x under Wine beside a plain Win32 copy of the same tree
# (create, write and set the times through one handle), as a ratio measured
# in the same run; the quick part of scripts/bench_capture.sh.
# Not a test: it prints figures.  Needs a built OrvaImage.exe.
# Settings: BENCH_DIR (default /tmp/orva_bench), SMALL_FILES (5000),
# LARGE_FILES (4), LARGE_MIB (32), REPEAT (3: the best time of as many runs),
# ENGINE (the OrvaImage.exe to measure; default the one in build/).
source "$(dirname "$0")/common.sh"
BENCH_DIR=${BENCH_DIR:-/tmp/orva_bench}
TOOLS=$ROOT/tools/bench
TREE=$BENCH_DIR/tree
mkdir -p "$BENCH_DIR"

read -r FILES BYTES < <($PYTHON "$TOOLS/make_tree.py" "$TREE" \
  "${SMALL_FILES:-5000}" "${LARGE_FILES:-4}" "${LARGE_MIB:-32}")
echo "Benchmark tree: $FILES files, $BYTES bytes"
x86_64-w64-mingw32-g++-posix -O2 -static -municode "$TOOLS/copytree.cpp" -o "$BENCH_DIR/copytree.exe"

start_wine
win() { echo "Z:${1//\//\\}"; }
WINE_RUN=$ROOT/tools/wine-run
ENGINE=${ENGINE:-$ROOT/build/bin/OrvaImage.exe}
IMAGE=$BENCH_DIR/restore.tav
OUT=$BENCH_DIR/restored
measure() { REPEAT=${REPEAT:-3} $PYTHON "$TOOLS/measure.py" "$@"; }
verdict() { tr -d '\r' <"$1" | tail -n 3 | head -n 1; }

find "$TREE" -type f -exec cat {} + >/dev/null
rm -f "$IMAGE" "$IMAGE.tmp" "$IMAGE"_a.log
"$WINE_RUN" "$ENGINE" a "$(win "$IMAGE")" "$(win "$TREE")" -mx1 >"$BENCH_DIR/capture.out"
echo "Verdict of a -mx1: $(verdict "$BENCH_DIR/capture.out")"

read -r RESTORE_S RESTORE_KIB < <(measure bash -c "rm -rf '$OUT'; '$WINE_RUN' '$ENGINE' x \
  '$(win "$IMAGE")' -o'$(win "$OUT")' >'$BENCH_DIR/restore.out'")
echo "Verdict of x: $(verdict "$BENCH_DIR/restore.out")"
diff -rq "$TREE" "$OUT" >/dev/null && echo "The restored tree equals the source." || echo "The restored tree DIFFERS."
read -r COPY_S COPY_KIB < <(measure bash -c "rm -rf '$OUT.copy'; '$WINE_RUN' '$BENCH_DIR/copytree.exe' \
  '$(win "$TREE")' '$(win "$OUT.copy")' >/dev/null")
rm -rf "$OUT" "$OUT.copy" "$IMAGE"*
stop_wine

$PYTHON - "$(nproc)" "$FILES" "$BYTES" "$RESTORE_S" "$RESTORE_KIB" "$COPY_S" "$COPY_KIB" <<'PY'
import sys
cores, files, size = (int(v) for v in sys.argv[1:4])
x, x_kib, copy, copy_kib = float(sys.argv[4]), int(sys.argv[5]), float(sys.argv[6]), int(sys.argv[7])
print(f'{cores} cores; {files} files, {size} bytes')
print(f'OrvaImage x under Wine          {x:8.2f} s  {size / x / 1e6:7.1f} MB/s  peak RSS {x_kib / 1024:6.1f} MB')
print(f'copy under Wine (copytree.exe)  {copy:8.2f} s  {size / copy / 1e6:7.1f} MB/s  peak RSS {copy_kib / 1024:6.1f} MB')
print(f'Ratio x / plain copy (the lower the better): {x / copy:.2f}')
PY
