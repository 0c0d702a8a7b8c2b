#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the Windows build
# under Wine, then the portable code natively under ASan and UBSan.
source "$(dirname "$0")/common.sh"
install_packages
build_windows
start_wine
status=0
ctest --test-dir "$BUILD" --output-on-failure -j4 || status=1
build_native
ctest --test-dir "$ROOT/build-native" --output-on-failure -j4 || status=1
exit $status
