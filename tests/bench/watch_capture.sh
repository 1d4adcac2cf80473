#!/usr/bin/env bash
# Measures kestrava-watch on a live link; prints figures, never fails on them.
#
#   watch_capture.sh BUILD_DIR [SECONDS [RATE...]]
#
# On the test network (netns.sh, prefix kwb), tcpreplay offers the frames of
# tests/data/workstation-scenario.pcap (DNS, TCP, UDP, ICMP and ICMPv6 of the
# host 02:77:00:00:00:01, all analysed) from the peer to the host's link at
# each RATE frames/s (default 200000 300000 400000 600000) for SECONDS (default
# 10), a fresh watch capturing each run. The host's link has no addresses, so
# its own stack answers nothing. For each rate: the rate tcpreplay reached,
# the frames libpcap received and dropped, the watch's processor use (user +
# system, all threads, in % of one core) and its resident size. First, the
# watch's processor use over IDLE_SECONDS (default 30) without traffic. Needs
# root.
set -euo pipefail

build=$(cd "$1" && pwd)
seconds=${2:-10}
shift $(($# < 2 ? $# : 2))
rates=("${@:-200000 300000 400000 600000}")
read -r -a rates <<<"${rates[*]}"
here=$(cd "$(dirname "$0")" && pwd)
frames=$here/../data/workstation-scenario.pcap
work=$build/bench-watch
rm -rf "$work"
mkdir -p "$work/config" "$work/out"
NET_LOG=$work/log
source "$here/../net/netns.sh"

watch_pid=
finish() {
  [ -z "$watch_pid" ] || kill "$watch_pid" 2>/dev/null || true
  net_teardown
}
trap finish EXIT
trap 'exit 1' INT TERM

net_setup kwb
link=kwbh1
ip -n "$NET_HOST" addr flush dev "$link"
ip netns exec "$NET_HOST" sh -c "echo 1 >/proc/sys/net/ipv6/conf/$link/disable_ipv6"
ticks_per_second=$(getconf CLK_TCK)
frames_in_file=$(tcpdump -r "$frames" 2>/dev/null | wc -l)

# Processor ticks (user + system) of process $1 so far.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Resident size of process $1 in KiB.
resident_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }

start_watch() {
  ip netns exec "$NET_HOST" "$build/kestrava-watch" --interface "$link" --config "$work/config" \
    --out "$work/out" >"$work/view.log" 2>"$work/watch.err" &
  watch_pid=$!
  local i
  for i in $(seq 100); do
    grep -q "watching $link" "$work/watch.err" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "watch_capture: kestrava-watch did not start" >&2
  exit 1
}

stop_watch() {
  kill -TERM "$watch_pid"
  wait "$watch_pid" || true
  watch_pid=
}

# Processor use of the watch in % of one core while the command "$@" runs.
measure_cpu() {
  local before after start end
  before=$(cpu_ticks "$watch_pid")
  start=$(date +%s.%N)
  "$@"
  end=$(date +%s.%N)
  after=$(cpu_ticks "$watch_pid")
  awk -v t="$((after - before))" -v hz="$ticks_per_second" -v s="$start" -v e="$end" \
    'BEGIN {printf "%.2f", 100 * t / hz / (e - s)}'
}

# Offers the frames at $1 frames/s, $2 times over.
offer() {
  net_peer tcpreplay --intf1=kwbp1 --pps="$1" --loop="$2" --preload-pcap "$frames" \
    >"$work/tcpreplay.log" 2>&1
}

start_watch
idle_seconds=${IDLE_SECONDS:-30}
idle=$(measure_cpu sleep "$idle_seconds")
echo "idle: $idle % of one core over $idle_seconds s, resident $(resident_kib "$watch_pid") KiB"
stop_watch

printf '%-10s %-12s %-12s %-10s %-10s %-14s\n' offered reached received dropped cpu% resident-KiB
for rate in "${rates[@]}"; do
  start_watch
  loops=$((rate * seconds / frames_in_file))
  cpu=$(measure_cpu offer "$rate" "$loops")
  resident=$(resident_kib "$watch_pid")
  stop_watch
  reached=$(sed -nE 's/.*Rated: .* ([0-9.]+) pps.*/\1/p' "$work/tcpreplay.log" | head -n 1)
  read -r received dropped < <(sed -nE 's/.*received ([0-9]+) frames, dropped ([0-9]+).*/\1 \2/p' \
    "$work/watch.err")
  printf '%-10s %-12s %-12s %-10s %-10s %-14s\n' "$rate" "${reached:-?}" "$received" "$dropped" \
    "$cpu" "$resident"
done
