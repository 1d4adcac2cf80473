#!/usr/bin/env bash
# Kestrava.exe under Wine on a virtual display; prints, never fails on them:
#   - the time from launching Kestrava.exe to its window being shown (X window
#     mapped), for STARTS starts, each with no Wine server running before;
#   - the processor time (utime + stime) of the idle program over SECONDS
#     seconds, as a share of one core, with the Wine server's beside it.
#
#   tests/bench/wine_start.sh [STARTS [SECONDS]]
#
# E2E_WIN_BUILD (default build/windows) and E2E_PREFIX (default
# build/linux/e2e/wine-prefix) as for the end-to-end tests.
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
E2E_WIN_BUILD=${E2E_WIN_BUILD:-$repo/build/windows}
E2E_PREFIX=${E2E_PREFIX:-$repo/build/linux/e2e/wine-prefix}
source "$repo/tests/e2e/lib.sh"
starts=${1:-3} seconds=${2:-30}

now() { date +%s.%N; }
cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }
share() { awk -v d=$(($2 - $1)) -v hz="$(getconf CLK_TCK)" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * d / hz / s }'; }

e2e_setup measure
times=()
for run in $(seq "$starts"); do
  e2e_wineserver -k
  rm -f "$E2E_APP_DIR/setting.ini"
  t0=$(now)
  e2e_launch
  for i in $(seq 1500); do
    xdotool search --onlyvisible --name '^Kestrava$' >/dev/null 2>&1 && break
    sleep 0.02
  done
  [ "$i" -lt 1500 ] || e2e_die "start $run: no Kestrava window within 30 s"
  times+=("$(awk -v a="$t0" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }')")
  echo "start $run: window shown ${times[-1]} s after launch"
  [ "$run" -eq "$starts" ] || e2e_exit_app
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
echo "launch to visible window: median $(sed -n "$(((starts + 1) / 2))p" <<<"$sorted") s," \
  "slowest $(tail -1 <<<"$sorted") s over $starts starts (target below 3 s)"

sleep 3 # to settle
# the prefix's Wine server works in a folder named after its device and inode
server_dir=server-$(printf '%x-%x' $(stat -c '%d %i' "$E2E_PREFIX"))
for proc in /proc/[0-9]*; do
  [[ $(cat "$proc/comm" 2>/dev/null) == wineserver* ]] && [ "$(basename "$(readlink "$proc/cwd")")" == "$server_dir" ] &&
    server=${proc#/proc/}
done
a=$(cpu_ticks "$E2E_APP_PID") sa=$(cpu_ticks "$server")
sleep "$seconds"
echo "idle Kestrava.exe: $(share "$a" "$(cpu_ticks "$E2E_APP_PID")") % of one core over $seconds s (target below 1 %);" \
  "wineserver meanwhile: $(share "$sa" "$(cpu_ticks "$server")") %"
e2e_exit_app
