#!/usr/bin/env bash
# Installs what is missing, builds, and runs the engine under Wine.
source "$(dirname "$0")/common.sh"
install_packages
build_windows
start_wine
run() { echo "\$ OrvaImage.exe $*"; "$ROOT/tools/wine-run" "$BUILD/bin/OrvaImage.exe" "$@"; echo; }
run
run A "C:\\image.TAV" "C:\\Data"
run a "C:\\image.TAV" "C:\\Data" -mX
