#!/usr/bin/env bash
# Builds Kestrava.exe and runs it under Wine: on $DISPLAY when there is one,
# else on a virtual display whose picture is saved every few seconds into
# build/kestrava-screen.png. The program's setting.ini and reports lie beside
# it in build/kestrava/. Ends when the program ends (its menu's 終了), or on
# Ctrl-C, which asks the program to exit first.
#
#   scripts/run.sh [--no-capture] [--interface NAME]
#
# It watches this machine's own traffic: Wine's wpcap.dll, which passes the
# capture calls on to libpcap, is put where Kestrava looks for the capture
# library (capturing needs root). --no-capture leaves it out, so that the
# program starts with "Npcap not found.". With several networks Kestrava asks
# which one to watch; without a display nobody could answer, so the network of
# the default route is saved as the chosen one beforehand. --interface NAME
# saves NAME instead (Wine names the networks after the Linux interfaces).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

capture=1
interface=
while [ $# -gt 0 ]; do
  case $1 in
    --no-capture) capture=0 ;;
    --interface)
      interface=${2:?--interface needs a name}
      shift
      ;;
    *)
      echo "usage: scripts/run.sh [--no-capture] [--interface NAME]" >&2
      exit 2
      ;;
  esac
  shift
done

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

if [ -z "${DISPLAY:-}" ] && [ -z "$interface" ]; then
  interface=$(ip route show default 2>/dev/null | awk '{ for (i = 1; i < NF; i++) if ($i == "dev") { print $(i + 1); exit } }')
fi

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

npcap=$E2E_PREFIX/drive_c/windows/system32/Npcap
if [ "$capture" -eq 1 ]; then
  mkdir -p "$npcap"
  cp /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/wpcap.dll "$npcap/"
  [ "$(id -u)" -eq 0 ] || echo "Not root: the capture will not open, and no traffic is analysed."
else
  rm -rf "$npcap"
fi
# setting.ini: code page 932, CR LF, the keys it lacks keep their defaults.
ini=$E2E_APP_DIR/setting.ini
if [ "$capture" -eq 1 ] && [ ! -f "$ini" ]; then
  # This machine's connections belong to Linux processes, which Wine's tables
  # do not name, so with a second row for the process every host would wait
  # for a Windows program's traffic: on the first run the window shows hosts
  # on one row (dispprc=0) and the rates between them (notdisperr=0).
  printf 'dispprc=0\r\nnotdisperr=0\r\n' >"$ini"
fi
if [ "$capture" -eq 1 ] && [ -n "$interface" ]; then
  if grep -q '^sNIC=' "$ini"; then
    sed -i "s/^sNIC=.*\r\$/sNIC=$interface\r/" "$ini"
  else
    printf 'sNIC=%s\r\n' "$interface" >>"$ini"
  fi
  echo "Watching $interface (saved as the chosen network in $ini)."
fi

echo "Starting Kestrava.exe (Wine prefix $E2E_PREFIX, logs in $E2E_WORK)."
echo "Right-click the overlay or the tray icon for the menu; 終了 ends it."
e2e_launch
wait "$E2E_APP_PID" || true
E2E_APP_PID=
echo "Kestrava ended. Settings and reports: $root/build/kestrava/"
