#!/usr/bin/env bash
# Speed of the engine under Wine beside what the platform allows, each as a
# ratio measured in the same run:
# - capture a -mx1 of the benchmark tree against a native tar | gzip -1;
# - a -mx0 of it against a plain Win32 read of every file under Wine;
# - a -mx1 of many tiny files in SHAPE_FOLDERS folders against that plain
#   read, and of the same folders nested one in the other against the flat ones;
# - the restore x against a plain Win32 copy of the tree under Wine
#   (create, write and set the times through one handle);
# - the peak memory of a capture of MANY_FILES files.
# Not a test: it prints figures.  Needs a built OrvaImage.exe.
# Settings: BENCH_DIR (default /tmp/orva_bench), SMALL_FILES (5000),
# LARGE_FILES (4), LARGE_MIB (32), SHAPE_FILES (6000), SHAPE_FOLDERS (300),
# MANY_FILES (100000; 0 leaves it out), REPEAT (3: the best time of as many runs),
# ENGINE (the OrvaImage.exe to measure; default the one in build/).
source "$(dirname "$0")/common.sh"
BENCH_DIR=${BENCH_DIR:-/tmp/orva_bench}
TOOLS=$ROOT/tools/bench
TREE=$BENCH_DIR/tree
mkdir -p "$BENCH_DIR"

echo "Making the trees in $BENCH_DIR"
read -r FILES BYTES < <($PYTHON "$TOOLS/make_tree.py" "$TREE" \
  "${SMALL_FILES:-5000}" "${LARGE_FILES:-4}" "${LARGE_MIB:-32}")
echo "  benchmark tree: $FILES files, $BYTES bytes"
SHAPE_FILES=${SHAPE_FILES:-6000}
SHAPE_FOLDERS=${SHAPE_FOLDERS:-300}
MANY_FILES=${MANY_FILES:-100000}
read -r FLAT_FILES FLAT_BYTES < <($PYTHON "$TOOLS/make_shape.py" "$BENCH_DIR/flat" flat \
  "$SHAPE_FILES" "$SHAPE_FOLDERS" 100)
$PYTHON "$TOOLS/make_shape.py" "$BENCH_DIR/deep" deep "$SHAPE_FILES" "$SHAPE_FOLDERS" 100 >/dev/null
echo "  $FLAT_FILES files of 100 bytes in $SHAPE_FOLDERS folders, side by side and nested"
if [ "$MANY_FILES" -gt 0 ]; then
  $PYTHON "$TOOLS/make_shape.py" "$BENCH_DIR/many" flat "$MANY_FILES" $((MANY_FILES / 100)) 100 >/dev/null
  echo "  $MANY_FILES files of 100 bytes in folders of 100"
fi

for tool in readtree copytree; do
  x86_64-w64-mingw32-g++-posix -O2 -static -municode "$TOOLS/$tool.cpp" -o "$BENCH_DIR/$tool.exe"
done

start_wine
win() { echo "Z:${1//\//\\}"; }
WINE_RUN=$ROOT/tools/wine-run
ENGINE=${ENGINE:-$ROOT/build/bin/OrvaImage.exe}
IMAGE=$BENCH_DIR/bench.tav
rm -f "$IMAGE" "$IMAGE.tmp" "$IMAGE"_a.log "$BENCH_DIR/bench.tar.gz"
# Every run reads from the page cache.
find "$BENCH_DIR/tree" "$BENCH_DIR/flat" "$BENCH_DIR/deep" -type f -exec cat {} + >/dev/null
"$WINE_RUN" "$BENCH_DIR/readtree.exe" "$(win "$TREE")" >/dev/null

measure() { REPEAT=${REPEAT:-3} $PYTHON "$TOOLS/measure.py" "$@"; }
# capture IMAGE SOURCE OPTIONS...: seconds and peak KiB of one a run.
capture() {
  local image=$1 source=$2
  shift 2
  measure bash -c "rm -f '$image'; '$WINE_RUN' '$ENGINE' a '$(win "$image")' '$(win "$source")' $* \
    >'$BENCH_DIR/capture.out'"
}
verdict() { tr -d '\r' <"$1" | tail -n 3 | head -n 1; }

read -r READ_S READ_KIB < <(measure "$WINE_RUN" "$BENCH_DIR/readtree.exe" "$(win "$TREE")")
read -r CAPTURE_S CAPTURE_KIB < <(capture "$IMAGE" "$TREE" -mx1)
echo "Verdict of a -mx1: $(verdict "$BENCH_DIR/capture.out")"
# The service passes the source total, which spares the pre-scan.
read -r GIVEN_S GIVEN_KIB < <(capture "$IMAGE" "$TREE" -mx1 "-d00C0001$(printf %012d "$BYTES")")
IMAGE_SIZE=$(stat -c %s "$IMAGE")
read -r STORE_S STORE_KIB < <(capture "$BENCH_DIR/store.tav" "$TREE" -mx0)
echo "Verdict of a -mx0: $(verdict "$BENCH_DIR/capture.out")"
rm -f "$BENCH_DIR/store.tav"*
read -r TAR_S TAR_KIB < <(measure bash -c \
  "tar -cf - -C '$TREE' . | gzip -1 >'$BENCH_DIR/bench.tar.gz'")

OUT=$BENCH_DIR/restored
read -r RESTORE_S RESTORE_KIB < <(measure bash -c "rm -rf '$OUT'; '$WINE_RUN' '$ENGINE' x \
  '$(win "$IMAGE")' -o'$(win "$OUT")' >'$BENCH_DIR/restore.out'")
echo "Verdict of x: $(verdict "$BENCH_DIR/restore.out")"
diff -rq "$TREE" "$OUT" >/dev/null && echo "The restored tree equals the source." || echo "The restored tree DIFFERS."
read -r COPY_S COPY_KIB < <(measure bash -c "rm -rf '$OUT.copy'; '$WINE_RUN' '$BENCH_DIR/copytree.exe' \
  '$(win "$TREE")' '$(win "$OUT.copy")' >/dev/null")
read -r UNTAR_S UNTAR_KIB < <(measure bash -c \
  "rm -rf '$OUT.tar'; mkdir -p '$OUT.tar'; tar -xzf '$BENCH_DIR/bench.tar.gz' -C '$OUT.tar'")
rm -rf "$OUT" "$OUT.copy" "$OUT.tar"

SHAPE_IMAGE=$BENCH_DIR/shape.tav
read -r FLAT_READ_S FLAT_READ_KIB < <(measure "$WINE_RUN" "$BENCH_DIR/readtree.exe" "$(win "$BENCH_DIR/flat")")
read -r FLAT_S FLAT_KIB < <(capture "$SHAPE_IMAGE" "$BENCH_DIR/flat" -mx1)
echo "Verdict of the flat capture: $(verdict "$BENCH_DIR/capture.out")"
read -r DEEP_S DEEP_KIB < <(capture "$SHAPE_IMAGE" "$BENCH_DIR/deep" -mx1)
echo "Verdict of the deep capture: $(verdict "$BENCH_DIR/capture.out")"
MANY_S=0 MANY_KIB=0
if [ "$MANY_FILES" -gt 0 ]; then
  read -r MANY_S MANY_KIB < <(REPEAT=1 capture "$SHAPE_IMAGE" "$BENCH_DIR/many" -mx1)
  echo "Verdict of the $MANY_FILES-file capture: $(verdict "$BENCH_DIR/capture.out")"
fi
rm -f "$SHAPE_IMAGE"*

$PYTHON - "$FILES" "$BYTES" "$IMAGE_SIZE" "$(stat -c %s "$BENCH_DIR/bench.tar.gz")" "$(nproc)" \
  "$READ_S" "$READ_KIB" "$CAPTURE_S" "$CAPTURE_KIB" "$GIVEN_S" "$GIVEN_KIB" "$STORE_S" "$STORE_KIB" \
  "$TAR_S" "$TAR_KIB" "$RESTORE_S" "$RESTORE_KIB" "$COPY_S" "$COPY_KIB" "$UNTAR_S" "$UNTAR_KIB" \
  "$FLAT_FILES" "$FLAT_READ_S" "$FLAT_S" "$DEEP_S" "$MANY_FILES" "$MANY_S" "$MANY_KIB" <<'PY'
import sys
a = sys.argv[1:]
files, size, image, tgz, cores = (int(v) for v in a[0:5])
t = {k: (float(a[i]), int(a[i + 1])) for k, i in
     [('read', 5), ('a1', 7), ('given', 9), ('a0', 11), ('tar', 13), ('x', 15), ('copy', 17), ('untar', 19)]}
rows = [('read under Wine (readtree.exe)', 'read', None),
        ('OrvaImage a -mx1 under Wine', 'a1', image),
        ('  the same with -d (no pre-scan)', 'given', image),
        ('OrvaImage a -mx0 under Wine', 'a0', None),
        ('tar -c | gzip -1, native', 'tar', tgz),
        ('OrvaImage x under Wine', 'x', None),
        ('copy under Wine (copytree.exe)', 'copy', None),
        ('tar -xzf, native', 'untar', None)]
print(f'{cores} cores; {files} files, {size} bytes')
print(f'{"":34} {"seconds":>8} {"MB/s":>8} {"files/s":>9} {"peak RSS":>10} {"output":>12}')
for name, key, out in rows:
    secs, kib = t[key]
    print(f'{name:34} {secs:8.2f} {size / secs / 1e6:8.1f} {files / secs:9.0f}'
          f' {kib / 1024:7.1f} MB {"" if out is None else f"{out / size:11.1%}"}')
print('MB = 10^6 bytes of source data; peak RSS = VmHWM of the largest process;'
      ' output = its size against the source.')
flat_files = int(a[21])
flat_read, flat, deep = (float(v) for v in a[22:25])
many, many_s, many_kib = int(a[25]), float(a[26]), int(a[27])
print(f'{flat_files} files of 100 bytes: read {flat_read:.2f} s, a -mx1 flat {flat:.2f} s'
      f' ({flat_files / flat:.0f} files/s), nested {deep:.2f} s')
if many:
    print(f'{many} files of 100 bytes: a -mx1 {many_s:.2f} s, peak RSS {many_kib / 1024:.1f} MB')
print('Ratios (engine / reference; the lower the better):')
print(f'  a -mx1 / tar | gzip -1            {t["a1"][0] / t["tar"][0]:6.2f}')
print(f'  a -mx0 / plain read               {t["a0"][0] / t["read"][0]:6.2f}')
print(f'  a -mx1 of tiny files / plain read {flat / flat_read:6.2f}')
print(f'  nested / flat                     {deep / flat:6.2f}')
print(f'  x / plain copy                    {t["x"][0] / t["copy"][0]:6.2f}')
PY
