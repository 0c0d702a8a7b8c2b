#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the Windows build
# under Wine (each GUI test program on a virtual X display of its own), and
# beside it the portable code natively under ASan and UBSan, then a bounded
# fuzzing run of the image readers and the restore.
source "$(dirname "$0")/common.sh"
install_packages
build_windows

# The native side needs no Wine: it runs while the Wine tests run, and its
# output follows theirs.
native_log=$ROOT/build-native.log
(
  build_native
  ctest --test-dir "$ROOT/build-native" --output-on-failure -j2
  build_fuzz
  echo "Fuzzing the image readers and the restore for ${ORVA_FUZZ_SECONDS:-60} s"
  run_fuzz restore_fuzz "${ORVA_FUZZ_SECONDS:-60}"
) >"$native_log" 2>&1 &
native_pid=$!

start_xvfb
start_wine
status=0
# Heavy end-to-end entries count as two processors (see tools/pytest/orva_e2e.cmake),
# so -j bounds how many Wine programs run at once.
ctest --test-dir "$BUILD" --output-on-failure -j"${ORVA_TEST_JOBS:-$(nproc)}" || status=1
stop_wine
stop_xvfb
native_status=0
wait "$native_pid" || native_status=$?
cat "$native_log"
[ "$native_status" = 0 ] || { echo "Native tests or fuzzing failed"; status=1; }
exit $status
