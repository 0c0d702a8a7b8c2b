#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the Windows build
# under Wine (the GUI tests on a virtual X display), then the portable code
# natively under ASan and UBSan, then a bounded fuzzing run of the image
# readers and the restore.
source "$(dirname "$0")/common.sh"
install_packages
build_windows
start_xvfb
start_wine
status=0
ctest --test-dir "$BUILD" --output-on-failure -j4 || status=1
stop_wine
stop_xvfb
build_native
ctest --test-dir "$ROOT/build-native" --output-on-failure -j4 || status=1
build_fuzz
echo "Fuzzing the image readers and the restore for ${ORVA_FUZZ_SECONDS:-60} s"
run_fuzz restore_fuzz "${ORVA_FUZZ_SECONDS:-60}" || status=1
exit $status
