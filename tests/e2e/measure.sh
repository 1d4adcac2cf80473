#!/usr/bin/env bash
# Prints two figures of Kestrava.exe under Wine on a virtual display:
#   - the time from launching Kestrava.exe to its window being shown (X window
#     mapped), for a few starts, each with no Wine server running before;
#   - the processor time that the idle program uses over SECONDS seconds, as a
#     share of one core (utime + stime of its process), with the Wine server's
#     share beside it.
# Not a test: it prints figures and fails only when the program cannot be run.
#
#   tests/e2e/measure.sh [STARTS [SECONDS]]
#
# E2E_WIN_BUILD (default build/windows) and E2E_PREFIX (default
# build/linux/e2e/wine-prefix) as for the end-to-end tests.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
source "$here/lib.sh"

starts=${1:-3}
seconds=${2:-30}
E2E_WIN_BUILD=${E2E_WIN_BUILD:-$repo/build/windows}
E2E_PREFIX=${E2E_PREFIX:-$repo/build/linux/e2e/wine-prefix}

e2e_setup measure
e2e_install_app measure

# The prefix is warm now; make sure no Wine server is left from its creation.
e2e_wineserver -k || true

now() { date +%s.%N; }

# Waits until an X window named Kestrava is mapped; prints the seconds waited.
wait_mapped() {
  local start=$1 i
  for i in $(seq 1500); do
    if xdotool search --onlyvisible --name '^Kestrava$' >/dev/null 2>&1; then
      awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'
      return 0
    fi
    sleep 0.02
  done
  return 1
}

# utime + stime of a process, in clock ticks.
cpu_ticks() {
  awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"
}

times=()
for run in $(seq "$starts"); do
  rm -f "$E2E_APP_DIR/setting.ini"
  t0=$(now)
  e2e_launch
  t=$(wait_mapped "$t0") || e2e_die "start $run: no Kestrava window within 30 s"
  times+=("$t")
  echo "start $run: window shown ${t} s after launch"
  if [ "$run" -lt "$starts" ]; then
    e2e_stop
  fi
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
echo "launch to visible window: median $(sed -n "$(((starts + 1) / 2))p" <<<"$sorted") s," \
  "slowest $(tail -1 <<<"$sorted") s over $starts starts (target below 3 s)"

# Idle processor time of the last start, after a few seconds to settle.
sleep 3
# The Wine server of this prefix works in a folder named after the prefix's
# device and inode numbers.
server_dir=server-$(printf '%x-%x' $(stat -c '%d %i' "$E2E_PREFIX"))
server=
for proc in /proc/[0-9]*; do
  case $(cat "$proc/comm" 2>/dev/null) in
    wineserver | wineserver64)
      [ "$(basename "$(readlink "$proc/cwd")")" == "$server_dir" ] && server=${proc#/proc/}
      ;;
  esac
done
hz=$(getconf CLK_TCK)
a=$(cpu_ticks "$E2E_APP_PID")
[ -n "$server" ] && sa=$(cpu_ticks "$server")
sleep "$seconds"
b=$(cpu_ticks "$E2E_APP_PID")
[ -n "$server" ] && sb=$(cpu_ticks "$server")
awk -v d=$((b - a)) -v hz="$hz" -v s="$seconds" \
  'BEGIN { printf "idle Kestrava.exe: %.2f %% of one core over %d s (%d ticks of 1/%d s; target below 1 %%)\n", 100 * d / hz / s, s, d, hz }'
if [ -n "$server" ]; then
  awk -v d=$((sb - sa)) -v hz="$hz" -v s="$seconds" \
    'BEGIN { printf "wineserver meanwhile: %.2f %% of one core\n", 100 * d / hz / s }'
fi

e2e_stop
exit 0
