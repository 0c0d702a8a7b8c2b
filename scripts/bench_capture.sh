#!/usr/bin/env bash
# Throughput of a full capture (OrvaImage a -mx1 under Wine) beside a plain
# read of the same tree by a minimal Windows program under Wine and a native
# tar | gzip -1, then of the restore (OrvaImage x) beside a native tar -xzf.
# Not a test: it prints figures.  Needs a built OrvaImage.exe.
# Settings: BENCH_DIR (default /tmp/orva_bench), SMALL_FILES (5000),
# LARGE_FILES (4), LARGE_MIB (32), REPEAT (3: the best time of as many runs).
source "$(dirname "$0")/common.sh"
BENCH_DIR=${BENCH_DIR:-/tmp/orva_bench}
TOOLS=$ROOT/tools/bench
TREE=$BENCH_DIR/tree
mkdir -p "$BENCH_DIR"

echo "Making the tree in $TREE"
read -r FILES BYTES < <($PYTHON "$TOOLS/make_tree.py" "$TREE" \
  "${SMALL_FILES:-5000}" "${LARGE_FILES:-4}" "${LARGE_MIB:-32}")
echo "  $FILES files, $BYTES bytes"

x86_64-w64-mingw32-g++-posix -O2 -static -municode "$TOOLS/readtree.cpp" \
  -o "$BENCH_DIR/readtree.exe"

start_wine
win() { echo "Z:${1//\//\\}"; }
WINE_RUN=$ROOT/tools/wine-run
IMAGE=$BENCH_DIR/bench.tav
rm -f "$IMAGE" "$IMAGE.tmp" "$IMAGE"_a.log "$BENCH_DIR/bench.tar.gz"
# Every run reads from the page cache.
find "$TREE" -type f -exec cat {} + >/dev/null
"$WINE_RUN" "$BENCH_DIR/readtree.exe" "$(win "$TREE")" >/dev/null

measure() { REPEAT=${REPEAT:-3} $PYTHON "$TOOLS/measure.py" "$@"; }
read -r READ_S READ_KIB < <(measure "$WINE_RUN" "$BENCH_DIR/readtree.exe" "$(win "$TREE")")
capture() {
  measure bash -c "rm -f '$IMAGE'; '$WINE_RUN' '$ROOT/build/bin/OrvaImage.exe' a \
    '$(win "$IMAGE")' '$(win "$TREE")' -mx1 $1 >'$BENCH_DIR/capture.out'"
}
read -r CAPTURE_S CAPTURE_KIB < <(capture "")
# The service passes the source total, which spares the pre-scan.
read -r GIVEN_S GIVEN_KIB < <(capture "-d00C0001$(printf %012d "$BYTES")")
read -r TAR_S TAR_KIB < <(measure bash -c \
  "tar -cf - -C '$TREE' . | gzip -1 >'$BENCH_DIR/bench.tar.gz'")

VERDICT=$(tr -d '\r' <"$BENCH_DIR/capture.out" | tail -n 3 | head -n 1)
echo "Verdict of the last capture: $VERDICT"
OUT=$BENCH_DIR/restored
read -r RESTORE_S RESTORE_KIB < <(measure bash -c "rm -rf '$OUT'; '$WINE_RUN' '$ROOT/build/bin/OrvaImage.exe' x \
  '$(win "$IMAGE")' -o'$(win "$OUT")' >'$BENCH_DIR/restore.out'")
VERDICT=$(tr -d '\r' <"$BENCH_DIR/restore.out" | tail -n 3 | head -n 1)
echo "Verdict of the last restore: $VERDICT"
diff -rq "$TREE" "$OUT" >/dev/null && echo "The restored tree equals the source." || echo "The restored tree DIFFERS."
read -r UNTAR_S UNTAR_KIB < <(measure bash -c \
  "rm -rf '$OUT.tar'; mkdir -p '$OUT.tar'; tar -xzf '$BENCH_DIR/bench.tar.gz' -C '$OUT.tar'")
rm -rf "$OUT" "$OUT.tar"
$PYTHON - "$FILES" "$BYTES" "$(stat -c %s "$IMAGE")" "$(stat -c %s "$BENCH_DIR/bench.tar.gz")" \
  "$READ_S" "$READ_KIB" "$CAPTURE_S" "$CAPTURE_KIB" "$GIVEN_S" "$GIVEN_KIB" \
  "$TAR_S" "$TAR_KIB" "$RESTORE_S" "$RESTORE_KIB" "$UNTAR_S" "$UNTAR_KIB" <<'PY'
import sys
files, size, image, tgz = (int(v) for v in sys.argv[1:5])
rows = [('read under Wine (readtree.exe)', sys.argv[5], sys.argv[6], None),
        ('OrvaImage a -mx1 under Wine', sys.argv[7], sys.argv[8], image),
        ('  the same with -d (no pre-scan)', sys.argv[9], sys.argv[10], image),
        ('tar -c | gzip -1, native', sys.argv[11], sys.argv[12], tgz),
        ('OrvaImage x under Wine', sys.argv[13], sys.argv[14], None),
        ('tar -xzf, native', sys.argv[15], sys.argv[16], None)]
print(f'{"":34} {"seconds":>8} {"MB/s":>8} {"files/s":>9} {"peak RSS":>10} {"output":>12}')
for name, secs, kib, out in rows:
    secs, kib = float(secs), int(kib)
    print(f'{name:34} {secs:8.2f} {size / secs / 1e6:8.1f} {files / secs:9.0f}'
          f' {kib / 1024:7.1f} MB {"" if out is None else f"{out / size:11.1%}"}')
print('MB = 10^6 bytes of source data; peak RSS = VmHWM of the largest process;'
      ' output = its size against the source.')
PY
