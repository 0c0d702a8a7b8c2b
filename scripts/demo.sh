#!/usr/bin/env bash
# Installs what is missing, builds, captures a sample folder tree into a TAV
# image under Wine, restores it into a new folder and compares the two.
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
engine() {
  echo "\$ OrvaImage.exe $*"
  "$ROOT/tools/wine-run" "$BUILD/bin/OrvaImage.exe" "$@" > "$demo/last.txt"
  grep -E '^(File|Directory|Hard link) ' "$demo/last.txt"
  grep -E '^(Everything is Ok|The imaging process|There were fatal)' "$demo/last.txt"
  echo
}
engine a "$(win "$demo/image/Sample.TAV")" "$(win "$demo/src")" -mx9 -c"Sample backup"
engine x "$(win "$demo/image/Sample.TAV")" -o"$(win "$demo/restored")"
if diff -r "$demo/src" "$demo/restored" >/dev/null; then
  echo "The restored tree equals the source."
else
  echo "The restored tree differs from the source:"; diff -rq "$demo/src" "$demo/restored"; exit 1
fi
