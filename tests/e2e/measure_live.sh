#!/usr/bin/env bash
# Prints three figures of Kestrava.exe capturing live under Wine on the test
# network (tests/net/netns.sh), as root:
#   - frames offered vs analysed: CONNECTIONS HTTP connections from Linux to
#     the peer, WORKERS at a time, as fast as they go; offered = the frames of
#     port 80 that tcpdump sees on the host's interface, analysed = the sum of
#     the Total column of the program's own tcp.html;
#   - the processor time of the idle program (capture open, no frame on the
#     link) over SECONDS seconds, as a share of one core, with the Wine
#     server's beside it;
#   - the time from the exit command to the end of the program's process on
#     that silent link, for a few starts.
# Not a test: it prints figures and fails only when the program cannot be run.
#
#   tests/e2e/measure_live.sh [CONNECTIONS [WORKERS [SECONDS [EXITS]]]]
#
# E2E_WIN_BUILD (default build/windows), E2E_PREFIX (default
# build/linux/e2e/wine-prefix) and E2E_LINUX_BUILD (default build/linux) as
# for the end-to-end tests.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
E2E_WIN_BUILD=${E2E_WIN_BUILD:-$repo/build/windows}
E2E_PREFIX=${E2E_PREFIX:-$repo/build/linux/e2e/wine-prefix}
source "$here/lib.sh"
source "$here/live_lib.sh"

connections=${1:-400}
workers=${2:-4}
seconds=${3:-30}
exits=${4:-3}

live_setup measure-live klm
e2e_install_app measure-live
[ -x "$LIVE_NATIVE_TRAFFIC" ] || e2e_die "$LIVE_NATIVE_TRAFFIC is missing (build the linux preset)"

now() { date +%s.%N; }
# utime + stime of a process (all its threads), in clock ticks
cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }
# the Kestrava.exe process in the host namespace
app_pid() {
  local pid
  for pid in $(ip netns pids "$NET_HOST"); do
    [ "$(cat "/proc/$pid/comm" 2>/dev/null)" == Kestrava.exe ] && echo "$pid" && return
  done
}
link_frames() {
  net_host cat /sys/class/net/klmh1/statistics/rx_packets /sys/class/net/klmh1/statistics/tx_packets |
    awk '{ s += $1 } END { print s }'
}
start() {
  e2e_launch
  e2e_wait_window 30000
  live_wait_capture klmh1
  live_until_report icmp "<td>10.77.0.3</td>" net_host ping -c1 -W2 10.77.0.3
}

# ---- Frames offered vs analysed ------------------------------------------------

start
ip netns exec "$NET_HOST" tcpdump -i klmh1 -n -U -w "$E2E_WORK/offered.pcap" 'tcp port 80' \
  >"$E2E_WORK/tcpdump.log" 2>&1 &
dump=$!
for i in $(seq 100); do
  [ "$(live_capture_ifaces | grep -cx klmh1)" -eq 2 ] && break
  sleep 0.1
done
t0=$(now)
makers=()
for w in $(seq "$workers"); do
  net_host "$LIVE_NATIVE_TRAFFIC" tcp 10.77.0.2 80 $((connections / workers)) \
    >"$E2E_WORK/traffic.$w.log" 2>&1 &
  makers+=($!)
done
wait "${makers[@]}"
t1=$(now)
# frames arrive in order: once this echo shows, every earlier frame was seen
live_until_report icmp "<td>10.77.0.2</td>" net_host ping -c1 -W2 10.77.0.2
kill "$dump"
wait "$dump" 2>/dev/null
offered=$(tcpdump -r "$E2E_WORK/offered.pcap" -n 2>/dev/null | wc -l)
live_report tcp
analysed=$(iconv -f CP932 -t UTF-8 "$E2E_APP_DIR/tcp.html" | grep -v 'color:#fff' |
  awk -F'</td><td[^>]*>' '/^<tr>/ && $2 == "10.77.0.2" && $4 ~ /^[0-9]+$/ { rows++; sum += $5 }
    END { print sum + 0, rows + 0 }')
read -r analysed rows <<<"$analysed"
awk -v o="$offered" -v a="$analysed" -v r="$rows" -v c="$connections" -v d="$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" \
  'BEGIN { printf "frames offered %d, analysed %d (%.2f %%) in %.1f s (%.0f frames/s); %d of %d connections in tcp.html\n", o, a, o ? 100 * a / o : 0, d, o / d, r, c }'

# ---- Idle processor time on a silent link -------------------------------------

sleep 3
pid=$(app_pid)
[ -n "$pid" ] || e2e_die "no Kestrava.exe process in $NET_HOST"
hz=$(getconf CLK_TCK)
frames=$(link_frames)
a=$(cpu_ticks "$pid")
sa=$(cpu_ticks "$LIVE_SERVER_PID")
sleep "$seconds"
b=$(cpu_ticks "$pid")
sb=$(cpu_ticks "$LIVE_SERVER_PID")
awk -v d=$((b - a)) -v hz="$hz" -v s="$seconds" -v f=$(($(link_frames) - frames)) \
  'BEGIN { printf "idle Kestrava.exe with the capture open: %.2f %% of one core over %d s (%d ticks of 1/%d s; %d frames on the link meanwhile; target below 1 %%)\n", 100 * d / hz / s, s, d, hz, f }'
awk -v d=$((sb - sa)) -v hz="$hz" -v s="$seconds" \
  'BEGIN { printf "wineserver meanwhile: %.2f %% of one core\n", 100 * d / hz / s }'

# ---- Exit on a silent link -----------------------------------------------------

for run in $(seq "$exits"); do
  [ "$run" -eq 1 ] || start
  sleep 2 # the link is silent: the capture thread waits in the capture library
  pid=$(app_pid)
  e2e_helper command 40008 || e2e_die "posting the exit command failed"
  t0=$(e2e_field posted 1)
  for i in $(seq 1000); do
    [ -d "/proc/$pid" ] || break
    sleep 0.01
  done
  t1=$(now)
  wait "$E2E_APP_PID" 2>/dev/null
  E2E_APP_PID=
  awk -v a="$t0" -v b="$t1" -v r="$run" \
    'BEGIN { printf "exit %d: the process ended %.2f s after the exit command was posted (target below 1 s)\n", r, b - a }'
done
exit 0
