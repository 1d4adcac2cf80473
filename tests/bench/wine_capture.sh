#!/usr/bin/env bash
# Kestrava.exe capturing live under Wine on the test network (tests/net,
# root); prints, never fails on them:
#   - frames offered vs analysed: CONNECTIONS HTTP connections from Linux to
#     the peer, WORKERS at a time, as fast as they go; offered = the frames of
#     port 80 that tcpdump sees on the host's link, analysed = the sum of the
#     Total column of the program's own tcp.html;
#   - the processor time of the idle program (capture open, a silent link) over
#     SECONDS seconds, as a share of one core, with the Wine server's beside it;
#   - the time from the exit command to the end of the program's process on
#     that silent link, for EXITS starts.
#
#   tests/bench/wine_capture.sh [CONNECTIONS [WORKERS [SECONDS [EXITS]]]]
#
# E2E_WIN_BUILD (default build/windows), E2E_PREFIX (default
# build/linux/e2e/wine-prefix) and E2E_LINUX_BUILD (default build/linux) as
# for the end-to-end tests.
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
E2E_WIN_BUILD=${E2E_WIN_BUILD:-$repo/build/windows}
E2E_PREFIX=${E2E_PREFIX:-$repo/build/linux/e2e/wine-prefix}
E2E_LINUX_BUILD=${E2E_LINUX_BUILD:-$repo/build/linux}
source "$repo/tests/e2e/lib.sh"
connections=${1:-400} workers=${2:-4} seconds=${3:-30} exits=${4:-3}

now() { date +%s.%N; }
cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }
share() { awk -v d=$(($2 - $1)) -v hz="$(getconf CLK_TCK)" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * d / hz / s }'; }
link_frames() { net_host cat /sys/class/net/klmh1/statistics/{rx,tx}_packets | awk '{ s += $1 } END { print s }'; }
start() {
  e2e_launch
  e2e_window 30000
  e2e_wait_capture klmh1
  e2e_until_report icmp "<td>10.77.0.3</td>" net_host ping -c1 -W2 10.77.0.3
}

e2e_setup measure-live
e2e_network klm 1
mkdir -p "$E2E_PREFIX/drive_c/windows/system32/Npcap"
cp "$E2E_WPCAP" "$E2E_PREFIX/drive_c/windows/system32/Npcap/"

start
ip netns exec "$NET_HOST" tcpdump -i klmh1 -n -U -w "$E2E_WORK/offered.pcap" 'tcp port 80' >"$E2E_WORK/tcpdump.log" 2>&1 &
dump=$!
for i in $(seq 100); do
  [ "$(e2e_capture_ifaces | grep -cx klmh1)" -eq 2 ] && break
  sleep 0.1
done
t0=$(now)
makers=()
for w in $(seq "$workers"); do
  net_host "$E2E_LINUX_BUILD/kestrava-traffic" tcp 10.77.0.2 80 $((connections / workers)) >"$E2E_WORK/traffic.$w.log" 2>&1 &
  makers+=($!)
done
wait "${makers[@]}"
t1=$(now)
e2e_until_report icmp "<td>10.77.0.2</td>" net_host ping -c1 -W2 10.77.0.2 # every earlier frame was seen
kill "$dump"
wait "$dump"
offered=$(tcpdump -r "$E2E_WORK/offered.pcap" -n 2>/dev/null | wc -l)
e2e_report tcp
read -r analysed rows < <(iconv -f CP932 -t UTF-8 "$E2E_APP_DIR/tcp.html" | grep -v 'color:#fff' |
  awk -F'</td><td[^>]*>' '/^<tr>/ && $2 == "10.77.0.2" && $4 ~ /^[0-9]+$/ { rows++; sum += $5 } END { print sum + 0, rows + 0 }')
awk -v o="$offered" -v a="$analysed" -v r="$rows" -v c="$connections" -v d="$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" \
  'BEGIN { printf "frames offered %d, analysed %d (%.2f %%) in %.1f s (%.0f frames/s); %d of %d connections in tcp.html\n", o, a, o ? 100 * a / o : 0, d, o / d, r, c }'

sleep 3
frames=$(link_frames) a=$(cpu_ticks "$E2E_APP_PID") sa=$(cpu_ticks "$E2E_SERVER_PID")
sleep "$seconds"
echo "idle Kestrava.exe with the capture open: $(share "$a" "$(cpu_ticks "$E2E_APP_PID")") % of one core over" \
  "$seconds s ($(($(link_frames) - frames)) frames on the link meanwhile; target below 1 %);" \
  "wineserver meanwhile: $(share "$sa" "$(cpu_ticks "$E2E_SERVER_PID")") %"

for run in $(seq "$exits"); do
  [ "$run" -eq 1 ] || start
  sleep 2 # the link is silent: the capture thread waits in the capture library
  pid=$E2E_APP_PID
  e2e_helper command 40008 || e2e_die "posting the exit command failed"
  t0=$(e2e_get posted)
  for i in $(seq 1000); do
    [ -d "/proc/$pid" ] || break
    sleep 0.01
  done
  t1=$(now)
  wait "$pid" 2>/dev/null
  E2E_APP_PID=
  awk -v a="$t0" -v b="$t1" -v r="$run" \
    'BEGIN { printf "exit %d: the process ended %.2f s after the exit command was posted (target below 1 s)\n", r, b - a }'
done
