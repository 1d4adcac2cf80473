#!/usr/bin/env bash
# kestrava-watch on a live link of the test network (netns.sh) while traffic of every kind
# flows: its reports must equal kestrava-replay's of a tcpdump of the link but for the owners,
# which must name kestrava-traffic, and its view must show a host with its process and end
# with kestrava-replay's rates. In a terminal "r" writes the reports and "q" quits; a watch of
# a second link waits while it is down, captures once it is up, says when it goes down or
# away, and captures again when it is back.
#
#   watch_live.sh BUILD_DIR [PREFIX]   (root only, else 77: skipped)
# PREFIX (default kw, or $KESTRAVA_NET_PREFIX) names namespaces and links; work files: BUILD_DIR/live-PREFIX
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "watch_live: needs root; skipped" >&2; exit 77; }
build=$(cd "$1" && pwd)
prefix=${KESTRAVA_NET_PREFIX:-${2:-kw}}
work=$build/live-$prefix
watch=$build/kestrava-watch traffic=$build/kestrava-traffic
rm -rf "$work"
mkdir -p "$work/config" "$work/watch" "$work/replay" "$work/keys" "$work/watch2" "$work/fresh"
NET_LOG=$work/log
source "$(dirname "$0")/netns.sh"
trap 'kill $(jobs -p) 2>/dev/null; net_teardown' EXIT
trap 'exit 1' INT TERM
fail() { echo "watch_live: $*" >&2; exit 1; }
# Waits up to 10 s until file $1 has a line matching $2 (or with "last", its last line does).
has_line() { if [ "${3:-}" = last ]; then tail -n 1 "$1"; else cat "$1"; fi 2>/dev/null | grep -q -- "$2"; }
wait_for_line() { net_until 10 has_line "$@" || fail "no line '$2' in $1"; }

"$watch" --bogus 2>/dev/null && fail "a wrong option was taken" || [ $? -eq 2 ] || fail "a wrong option did not end with status 2"
HOME=$work/fresh "$watch" --interface "$prefix-none" 2>"$work/none.err" && fail "a missing interface was taken"
grep -q "there is no interface $prefix-none" "$work/none.err" || fail "a missing interface was not named"
[ -d "$work/fresh/.config/kestrava" ] || fail "a first run did not make ~/.config/kestrava"
mkdir -p "$work/home/.config" && touch "$work/home/.config/kestrava" # a file where the settings belong
HOME=$work/home "$watch" 2>"$work/home.err" && fail "a file was taken for the settings folder"
grep -q "cannot make ~/.config/kestrava" "$work/home.err" || fail "a file was taken for the settings folder"

printf 'notdisperr=0\r\n\r\n' >"$work/config/setting.ini" # the rates are shown once no event waits
net_setup "$prefix" 2
net_start_services
net_wait_quiet
link=${prefix}h1 mac=02:77:00:00:00:01
ip netns exec "$NET_HOST" tcpdump -i "$link" -U -w "$work/capture.pcap" 2>"$work/tcpdump.err" &
dump=$!
wait_for_line "$work/tcpdump.err" "listening on $link"
ip netns exec "$NET_HOST" "$watch" --interface "$link" --config "$work/config" --out "$work/watch" \
  >"$work/view.log" 2>"$work/watch.err" &
view=$!
wait_for_line "$work/watch.err" "watching $link ($mac)"

# Each connection trickles its request for 1.5 s, so that an owner refresh
# (every 800 ms while traffic flows) sees it open.
for name in www mail nx refused drop; do net_host getent ahosts $name.kestrava.test >/dev/null || true; done
net_host "$traffic" tcp 10.77.0.2 80 1 1500 >/dev/null & tcp4=$!
net_host "$traffic" tcp fd77::2 80 1 1500 >/dev/null & tcp6=$!
net_host "$traffic" udp 10.77.0.2 9 4 400 >/dev/null & udp=$!
net_host "$traffic" tcp 10.77.0.2 81 >/dev/null
net_host ping -c 2 -i 0.2 10.77.0.2 >/dev/null
net_host ping -c 2 -i 0.2 fd77::2 >/dev/null
wait $tcp4 && wait $tcp6 && wait $udp || fail "kestrava-traffic failed"
net_wait_quiet
wait_for_line "$work/view.log" 'DNS  *[0-9]*%  TCP  *[0-9]*%  ICMP  *[0-9]*%$' last
kill -TERM $view && wait $view || fail "kestrava-watch ended with status $?"
kill -INT $dump && wait $dump || true
"$build/kestrava-replay" --mac "$mac" --config "$work/config" --out "$work/replay" \
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
  grep -aq "^<tr><td>[0-9]*</td><td>kestrava-traffic</td><td>$address</td>" "$work/watch/process.html" ||
    fail "process.html does not name kestrava-traffic beside $address"
done
grep -q ' www.kestrava.test (kestrava-traffic)$' "$work/view.log" || fail "no host shown with its process"
mapfile -t replayed <"$work/replay.txt"
rates="${replayed[0]}  ${replayed[1]}  ${replayed[2]}"
last=$(tail -n 1 "$work/view.log" | cut -d' ' -f3-)
[ "$last" = "$rates" ] || fail "the view's last line '$last' is not the rates '$rates'"
echo "watch_live: the reports equal kestrava-replay's; the view's $(wc -l <"$work/view.log") lines end with '$last'"

# In a terminal that shows 24-bit colour: "r" writes the reports, "q" quits.
mkfifo "$work/keys.fifo"
COLORTERM=truecolor ip netns exec "$NET_HOST" script -qfec \
  "$watch --interface $link --config $work/config --out $work/keys" /dev/null \
  <"$work/keys.fifo" >"$work/screen.txt" 2>&1 &
terminal=$!
exec 3>"$work/keys.fifo"
wait_for_line "$work/screen.txt" "r: reports  q: quit"
printf r >&3
wait_for_line "$work/screen.txt" "reports written into"
printf q >&3
wait $terminal || fail "kestrava-watch in a terminal ended with status $?"
exec 3>&-
[ -s "$work/keys/process.html" ] || fail "no reports from the watch in a terminal"
grep -q $'\e\\[38;2;' "$work/screen.txt" || fail "no 24-bit colour where COLORTERM says truecolor"

# The second link is down at the start (a wait, not an error), comes up, goes down, away and back.
link2=${prefix}h2
ip -n "$NET_HOST" link set "$link2" down
ip netns exec "$NET_HOST" "$watch" --interface "$link2" --config "$work/config" --out "$work/watch2" \
  >"$work/view2.log" 2>"$work/watch2.err" &
view=$!
wait_for_line "$work/view2.log" ' Network not connected\.$' last
net_pair_up 2
wait_for_line "$work/view2.log" ' DNS .*%$' last
# datagrams for 1.5 s (for an owner refresh to see the socket) until one shows with its owner
shown() { net_host "$traffic" udp 10.78.0.2 9 6 300 >/dev/null && has_line "$work/view2.log" ' 10\.78\.0\.2 (kestrava-traffic)$'; }
net_until 15 shown || fail "no host shown once the second link was up"
ip -n "$NET_HOST" link set "$link2" down
wait_for_line "$work/view2.log" ' Network not connected\.$' last
ip -n "$NET_HOST" link del "$link2" # the capture ends; the link comes back as a new pair
wait_for_line "$work/view2.log" ' Network not found\.$' last
ip link add "$link2" netns "$NET_HOST" type veth peer name "${prefix}p2" netns "$NET_PEER"
ip -n "$NET_PEER" link set "${prefix}p2" up && ip -n "$NET_HOST" link set "$link2" up
wait_for_line "$work/view2.log" ' DNS .*%$' last
kill -TERM $view && wait $view || fail "the second kestrava-watch ended with status $?"
