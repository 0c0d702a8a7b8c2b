# Shared by the scripts: installs what is missing, builds, and manages the
# private Wine prefix and its persistent wineserver.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$ROOT/build
export WINEPREFIX=$BUILD/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
PYTHON=/usr/bin/python3

install_packages() {
  local want=(cmake make g++ zlib1g-dev g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 googletest python3 python3-pytest iproute2 clang libclang-rt-14-dev xorriso genisoimage xvfb fonts-liberation fonts-nanum locales)
  local missing=()
  for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
  ensure_korean_locale
}

# Wine runs in code page 949 under LC_ALL=ko_KR.UTF-8, but writes Korean file
# names only when that Linux locale exists: the code-page tests need it.
ensure_korean_locale() {
  locale -a 2>/dev/null | grep -qix 'ko_KR.utf8' && return 0
  echo "Generating the ko_KR.UTF-8 locale"
  local sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  if grep -q '^# *ko_KR.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    $sudo sed -i 's/^# *\(ko_KR.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  elif ! grep -q '^ko_KR.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'ko_KR.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  fi
  $sudo locale-gen >/dev/null
}

build_windows() {
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DPython3_EXECUTABLE=$PYTHON >/dev/null
  cmake --build "$BUILD" -j"$(nproc)"
}

build_native() {
  cmake -S "$ROOT" -B "$ROOT/build-native" -DORVA_NATIVE=ON -DCMAKE_BUILD_TYPE=Debug \
    -DPython3_EXECUTABLE=$PYTHON >/dev/null
  cmake --build "$ROOT/build-native" -j"$(nproc)"
}

build_fuzz() {
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$ROOT/build-fuzz" -DORVA_NATIVE=ON -DORVA_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=Debug -DPython3_EXECUTABLE=$PYTHON >/dev/null
  cmake --build "$ROOT/build-fuzz" -j"$(nproc)" --target restore_fuzz
}

# Runs a fuzz target for a bounded time from its seeds; fails on a finding.
run_fuzz() {
  local target=$1 seconds=$2 corpus=$ROOT/build-fuzz/corpus-$1
  mkdir -p "$corpus"
  "$ROOT/build-fuzz/bin/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$ROOT/build-fuzz/" "$corpus" "$ROOT/engine/tests/fuzz/seeds" 2>&1 | tail -n 12
  return "${PIPESTATUS[0]}"
}

wineserver_bin() {
  if command -v wineserver >/dev/null; then echo wineserver; else echo /usr/lib/wine/wineserver64; fi
}

WINESERVER_PID=""
start_wine() {
  mkdir -p "$WINEPREFIX"
  "$(wineserver_bin)" -f -p >/dev/null 2>&1 &
  WINESERVER_PID=$!
  trap cleanup EXIT
  # Wine's own services start here and live as long as the server: they must
  # not inherit the test runner's pipes, or it waits for them forever. A new
  # prefix is made with -i; an existing one only boots (a second -i would
  # start a second service manager).
  if [ -f "$WINEPREFIX/system.reg" ]; then
    wineboot </dev/null >/dev/null 2>&1 || true
  else
    echo "Creating the Wine prefix in $WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1 || true
  fi
}

# Ends every process of the prefix, then the server.
stop_wine() {
  if [ -n "$WINESERVER_PID" ]; then
    "$(wineserver_bin)" -k >/dev/null 2>&1 || true
    kill "$WINESERVER_PID" 2>/dev/null || true
    wait "$WINESERVER_PID" 2>/dev/null || true
    WINESERVER_PID=""
  fi
}

# A virtual X display for the GUI tests; Wine's own processes must see it, so
# start it before start_wine. The display is the argument or ORVA_XVFB_DISPLAY;
# without either, Xvfb takes a free one.
XVFB_PID=""
start_xvfb() {
  local display=${1:-${ORVA_XVFB_DISPLAY:-}}
  if [ -n "$display" ] && [ -e "/tmp/.X11-unix/X${display#:}" ]; then
    echo "Display $display is taken; set ORVA_XVFB_DISPLAY" >&2
    return 1
  fi
  local numfile
  numfile=$(mktemp)
  if [ -n "$display" ]; then
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  else
    Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$numfile" >/dev/null 2>&1 &
  fi
  XVFB_PID=$!
  trap cleanup EXIT
  local i
  for i in $(seq 100); do
    [ -z "$display" ] && [ -s "$numfile" ] && display=:$(head -n 1 "$numfile")
    if [ -n "$display" ] && [ -e "/tmp/.X11-unix/X${display#:}" ]; then
      rm -f "$numfile"
      export DISPLAY=$display
      return 0
    fi
    sleep 0.1
  done
  rm -f "$numfile"
  echo "Xvfb did not start${display:+ on $display}" >&2
  return 1
}

stop_xvfb() {
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
  fi
}

cleanup() {
  stop_wine
  stop_xvfb
}
