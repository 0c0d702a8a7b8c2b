#!/usr/bin/env bash
# Installs what is missing, builds, and captures a sample folder tree into a
# TAV image under Wine.
source "$(dirname "$0")/common.sh"
install_packages
build_windows
start_wine

demo=$BUILD/demo
rm -rf "$demo"
mkdir -p "$demo/src/docs/reports" "$demo/src/empty" "$demo/src/photos"
printf 'quarterly numbers\n' > "$demo/src/docs/reports/q4 100%.txt"
printf '한글 문서\n' > "$demo/src/docs/한글 문서.txt"
head -c 3000000 /dev/urandom > "$demo/src/photos/raw.bin"
seq 1 200000 > "$demo/src/docs/numbers.txt"
ln "$demo/src/docs/numbers.txt" "$demo/src/photos/numbers-link.txt"
: > "$demo/src/empty.txt"

win() { echo "Z:${1//\//\\}"; }
echo "\$ OrvaImage.exe a $(win "$demo/image/Sample.TAV") $(win "$demo/src") -mx9"
"$ROOT/tools/wine-run" "$BUILD/bin/OrvaImage.exe" a "$(win "$demo/image/Sample.TAV")" "$(win "$demo/src")" -mx9 \
  -c"Sample backup" | tail -n 40
echo
ls -l "$demo/image"
