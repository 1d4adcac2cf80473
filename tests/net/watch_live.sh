#!/usr/bin/env bash
# kestrava-watch on a live link. On the test network (netns.sh), tcpdump and
# kestrava-watch capture the host's link while kestrava-traffic, ping and the
# resolver make traffic of every kind: names answered, refused, unknown and
# dropped, HTTP over IPv4 and IPv6, a refused connection, datagrams to a closed
# port (answered by port-unreachable messages) and pings. Then:
#   - the watch's four reports equal those kestrava-replay writes from the
#     tcpdump capture, but for the owners, which only a live run knows: the
#     Process cells of tcp.html and the rows of process.html;
#   - process.html names kestrava-traffic beside both addresses it reached;
#   - the view's lines show a host with its process, and later the rates, the
#     last of them those that kestrava-replay prints.
# Then a second watch on the second link sees it go down, disappear and come
# back, says so each time, and captures again.
#
#   watch_live.sh BUILD_DIR [PREFIX]
#
# Needs root (exit status 77, skipped, without). PREFIX (default kw) names the namespaces and interfaces; the work
# files stay in BUILD_DIR/live-PREFIX for a look after a failure.
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "watch_live: needs root; skipped" >&2; exit 77; }

build=$(cd "$1" && pwd)
prefix=${2:-kw}
here=$(cd "$(dirname "$0")" && pwd)
work=$build/live-$prefix
rm -rf "$work"
mkdir -p "$work/config" "$work/watch" "$work/replay" "$work/watch2"
NET_LOG=$work/log
source "$here/netns.sh"

tcpdump_pid= watch_pid=
finish() {
  local pid
  for pid in $watch_pid $tcpdump_pid; do kill "$pid" 2>/dev/null || true; done
  net_teardown
}
trap finish EXIT
trap 'exit 1' INT TERM

fail() {
  echo "watch_live: $*" >&2
  exit 1
}

# Waits up to 10 s until file $1 has a line matching $2 (a basic regular
# expression), or with "last", until its last line does.
wait_for_line() {
  local i lines
  for i in $(seq 100); do
    # the file may not be there yet: its writer was only just started
    if [ "${3:-}" = last ]; then
      lines=$(tail -n 1 "$1" 2>/dev/null || true)
    else
      lines=$(cat "$1" 2>/dev/null || true)
    fi
    grep -q -- "$2" <<<"$lines" && return 0
    sleep 0.1
  done
  fail "no line '$2' in $1"
}

# The rates are shown once no event waits.
printf 'notdisperr=0\r\n\r\n' >"$work/config/setting.ini"

net_setup "$prefix" 2
net_start_services
net_wait_quiet
link=${prefix}h1
host_mac=02:77:00:00:00:01

ip netns exec "$NET_HOST" tcpdump -i "$link" -U -w "$work/capture.pcap" 2>"$work/tcpdump.err" &
tcpdump_pid=$!
wait_for_line "$work/tcpdump.err" "listening on $link"
ip netns exec "$NET_HOST" "$build/kestrava-watch" --interface "$link" --config "$work/config" \
  --out "$work/watch" >"$work/view.log" 2>"$work/watch.err" &
watch_pid=$!
wait_for_line "$work/watch.err" "watching $link ($host_mac)"

# The traffic. Each connection trickles its request for 1.5 s, so that an owner
# refresh (every 800 ms while traffic flows) sees it open.
traffic=$build/kestrava-traffic
for name in www mail nx refused drop; do net_host getent ahosts $name.kestrava.test >/dev/null || true; done
pids=()
net_host "$traffic" tcp 10.77.0.2 80 1 1500 >"$work/traffic4.log" &
pids+=($!)
net_host "$traffic" tcp fd77::2 80 1 1500 >"$work/traffic6.log" &
pids+=($!)
net_host "$traffic" udp 10.77.0.2 9 4 400 >/dev/null &
pids+=($!)
net_host "$traffic" tcp 10.77.0.2 81 >/dev/null
net_host ping -c 2 -i 0.2 10.77.0.2 >/dev/null
net_host ping -c 2 -i 0.2 fd77::2 >/dev/null
for pid in "${pids[@]}"; do wait "$pid" || fail "kestrava-traffic failed"; done
net_wait_quiet

# Every frame is in: once no event waits, the view's last line is the rates.
wait_for_line "$work/view.log" 'DNS  *[0-9]*%  TCP  *[0-9]*%  ICMP  *[0-9]*%$' last
kill -TERM "$watch_pid"
wait "$watch_pid" || fail "kestrava-watch ended with status $?"
watch_pid=
kill -INT "$tcpdump_pid"
wait "$tcpdump_pid" || true
tcpdump_pid=

"$build/kestrava-replay" --mac "$host_mac" --config "$work/config" --out "$work/replay" \
  "$work/capture.pcap" >"$work/replay.txt" || fail "kestrava-replay failed"

# The owners aside: the last cell of every tcp.html row, the rows of process.html.
without_owners() {
  case $(basename "$1") in
  tcp.html) sed -E 's#<td[^>]*>[^<]*</td></tr>#</tr>#' "$1" ;;
  process.html) grep -av '^<tr><td>[0-9]' "$1" ;;
  *) cat "$1" ;;
  esac
}
for report in dns.html tcp.html icmp.html process.html; do
  cmp <(without_owners "$work/watch/$report") <(without_owners "$work/replay/$report") ||
    fail "$report differs from kestrava-replay's"
done
for address in 10.77.0.2 fd77::2; do
  grep -aq ">$address</td>" "$work/watch/tcp.html" || fail "tcp.html has no connection to $address"
done

for address in 10.77.0.2 fd77::2; do
  grep -aq "^<tr><td>[0-9]*</td><td>kestrava-traffic</td><td>$address</td>" "$work/watch/process.html" ||
    fail "process.html does not name kestrava-traffic beside $address"
done

grep -q ' www.kestrava.test (kestrava-traffic)$' "$work/view.log" ||
  fail "the view never showed www.kestrava.test with its process"
mapfile -t replayed <"$work/replay.txt"
expected="${replayed[0]}  ${replayed[1]}  ${replayed[2]}"
last=$(tail -n 1 "$work/view.log" | cut -d' ' -f3-)
[ "$last" = "$expected" ] || fail "the view's last line '$last' is not the rates '$expected'"
echo "watch_live: the reports equal kestrava-replay's; the view's $(wc -l <"$work/view.log") lines end with '$last'"

# The second link goes down, away and comes back as a new pair.
link2=${prefix}h2
ip netns exec "$NET_HOST" "$build/kestrava-watch" --interface "$link2" --config "$work/config" \
  --out "$work/watch2" >"$work/view2.log" 2>"$work/watch2.err" &
watch_pid=$!
wait_for_line "$work/watch2.err" "watching $link2"
ip -n "$NET_HOST" link set "$link2" down
wait_for_line "$work/view2.log" ' Network not connected\.$' last
ip -n "$NET_HOST" link del "$link2"
wait_for_line "$work/view2.log" ' Network not found\.$' last
ip link add "$link2" netns "$NET_HOST" type veth peer name "${prefix}p2" netns "$NET_PEER"
ip -n "$NET_HOST" addr add 10.78.0.1/24 dev "$link2"
ip -n "$NET_PEER" addr add 10.78.0.2/24 dev "${prefix}p2"
ip -n "$NET_HOST" link set "$link2" up
ip -n "$NET_PEER" link set "${prefix}p2" up
wait_for_line "$work/view2.log" ' DNS .*%$' last
net_host "$traffic" udp 10.78.0.2 9 6 300 >/dev/null
wait_for_line "$work/view2.log" ' 10\.78\.0\.2 (kestrava-traffic)$'
kill -TERM "$watch_pid"
wait "$watch_pid" || fail "the second kestrava-watch ended with status $?"
watch_pid=
echo "watch_live: the second link went down, away and back; the view said so and captured again"
