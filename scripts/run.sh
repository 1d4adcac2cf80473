#!/usr/bin/env bash
# Builds Kestrava.exe and runs it under Wine: on $DISPLAY when there is one,
# else on a virtual display whose picture is saved every few seconds into
# build/kestrava-screen.png. The program's setting.ini and reports lie beside
# it in build/kestrava/. Ends when the program ends (its menu's 終了), or on
# Ctrl-C, which asks the program to exit first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh

cmake --preset windows
cmake --build --preset windows

export E2E_WIN_BUILD=$root/build/windows
export E2E_PREFIX=$root/build/wine-prefix
export E2E_WORK=$root/build/run-logs
# shellcheck source=../tests/e2e/lib.sh
source tests/e2e/lib.sh
mkdir -p "$E2E_WORK"

screenshot=$root/build/kestrava-screen.png
screenshotPid=

stopAll() {
  trap - EXIT INT TERM
  if e2e_app_running; then
    e2e_helper command 40008 || true
    e2e_wait_exit || true
  fi
  e2e_wineserver -k || true
  [ -n "$screenshotPid" ] && kill "$screenshotPid" 2>/dev/null || true
  e2e_stop_xvfb
}
trap stopAll EXIT
trap 'exit 130' INT TERM

if [ -z "${DISPLAY:-}" ]; then
  e2e_start_xvfb 1280x800x24
  echo "No display: Kestrava runs on the virtual display $DISPLAY;"
  echo "its picture is saved every 5 s into $screenshot"
  (
    while sleep 5; do
      import -display "$DISPLAY" -window root "$screenshot.tmp.png" 2>/dev/null &&
        mv "$screenshot.tmp.png" "$screenshot"
    done
  ) &
  screenshotPid=$!
fi

e2e_ensure_prefix

# A folder of its own inside the prefix, kept between runs: the settings
# survive, the executable is the one just built.
E2E_APP_DIR=$E2E_PREFIX/drive_c/Kestrava
E2E_APP_WINDIR='C:\Kestrava'
mkdir -p "$E2E_APP_DIR"
cp "$E2E_WIN_BUILD/Kestrava.exe" "$E2E_APP_DIR/"
ln -sfn wine-prefix/drive_c/Kestrava "$root/build/kestrava"

echo "Starting Kestrava.exe (Wine prefix $E2E_PREFIX, logs in $E2E_WORK)."
echo "Right-click the overlay or the tray icon for the menu; 終了 ends it."
e2e_launch
wait "$E2E_APP_PID" || true
E2E_APP_PID=
echo "Kestrava ended. Settings and reports: $root/build/kestrava/"
