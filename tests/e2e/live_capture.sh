#!/usr/bin/env bash
# Live capture under Wine on real traffic: Kestrava.exe watches the host side
# of the test network (tests/net/netns.sh) through Wine's wpcap.dll, while a
# Windows traffic maker, a Linux resolver, ping and a Linux HTTP client talk
# to the peer. What the program learnt is read from the four reports it writes
# (menu commands) and from two screenshots:
#   1. defaults (rates hidden): names answered, NXDOMAIN, dropped, and refused
#      but safe-listed; datagrams to a closed port (port unreachable), an HTTP
#      connection and a refused one from the Windows program, which the
#      process report names; an HTTP connection over IPv6 from Linux; two
#      echoes. The overlay shows the host the Windows program reached last, in
#      the TCP colour, with its process on the second row.
#   2. a second start with the rates shown, after a known mix of traffic: the
#      three rates and their bars.
# Every expected row and figure is derived by hand from the traffic below; in
# tcp.html the local ports (ephemeral) and the packet and repeat counts of the
# completed HTTP connections (they depend on how the two TCP stacks
# acknowledge) are matched by pattern, all else byte for byte.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
source "$here/live_lib.sh"

live_setup live-capture kl
e2e_install_app live-capture
ini=$E2E_APP_DIR/setting.ini
traffic=$E2E_WIN_BUILD/kestrava-traffic.exe
[ -f "$traffic" ] || e2e_die "$traffic is missing"
[ -x "$LIVE_NATIVE_TRAFFIC" ] || e2e_die "$LIVE_NATIVE_TRAFFIC is missing (build the linux preset)"

e2e_helper metrics || e2e_die "helper metrics failed"
cx=$(e2e_field cxfixedframe 1)

# Linux lookups, one getaddrinfo per name, in order: 4 asks for A records
# only, 6 for AAAA only. The trailing dot keeps the resolver from trying the
# machine's own domain after a failure.
resolve() {
  net_host python3 - "$@" >>"$E2E_WORK/traffic.log" 2>&1 <<'EOF'
import socket, sys
family = socket.AF_INET if sys.argv[1] == "4" else socket.AF_INET6
for name in sys.argv[2:]:
    try:
        print(name, socket.getaddrinfo(name, None, family)[0][4][0])
    except socket.gaierror as error:
        print(name, error)
EOF
}

# windows_traffic ARGS...: the Windows traffic maker, a process of its own
windows_traffic() {
  e2e_wine "$E2E_WORK/traffic.out" "$E2E_WORK/traffic.err" "$traffic" "$@" ||
    e2e_fail "kestrava-traffic.exe $* ended with status $?"
  cat "$E2E_WORK/traffic.out" "$E2E_WORK/traffic.err" >>"$E2E_WORK/traffic.log"
}

# start_and_wait_capture: launches the program and waits until it captures on
# klh1 and a ping to 10.77.0.3 (mail.kestrava.test, not yet resolved) shows in
# icmp.html: from then on every frame is analysed.
start_and_wait_capture() {
  e2e_launch
  e2e_wait_window 30000
  read -r left top right bottom <<<"$(e2e_field visible)"
  live_wait_capture klh1
  live_until_report icmp "<td>10.77.0.3</td>" net_host ping -c1 -W2 10.77.0.3
}

# last_frames_seen: waits until a ping over IPv6 shows in icmp.html; frames
# are delivered in order, so everything sent before it has been analysed.
last_frames_seen() {
  live_until_report icmp "<td>fd77::2</td>" net_host ping -6 -c1 -W2 fd77::2
}

# ---- 1. Defaults: the reports and the host on the overlay ---------------------

printf 'refused.kestrava.test\r\n' >"$E2E_APP_DIR/safelist.txt"
start_and_wait_capture
e2e_expect_eq "sNIC saved after the capture opened" "sNIC=klh1" "$(tr -d '\r' <"$ini" | grep '^sNIC=')"

resolve 4 www.kestrava.test. mail.kestrava.test. nx.kestrava.test. drop.kestrava.test. \
  refused.kestrava.test.
resolve 6 www.kestrava.test.
# The datagrams (to a closed port) and the request (trickling over 3 s) go on
# long enough for a refresh of the owner tables to see their sockets; the
# host reached last stays on the overlay.
windows_traffic udp 10.77.0.3 9 6 400
windows_traffic tcp 10.77.0.2 80 1 3000
windows_traffic tcp 10.77.0.2 81 1
net_host "$LIVE_NATIVE_TRAFFIC" tcp fd77::2 80 >>"$E2E_WORK/traffic.log" 2>&1
net_host ping -c1 -W2 10.77.0.2 >>"$E2E_WORK/traffic.log" 2>&1
last_frames_seen

ff0="style='background-color:#ff0'"
ddf="style='background-color:#ddf'"
grey="style='background-color:#999'"
e2e_report dns "$E2E_WORK/expected-dns.html" "\
<tr><td>1</td><td>www.kestrava.test</td><td>10.77.0.2</td></tr>
<tr><td>2</td><td>mail.kestrava.test</td><td>10.77.0.3</td></tr>
<tr><td $ff0>3</td><td $ff0>nx.kestrava.test</td><td $ff0>Not resolved.</td></tr>
<tr><td $ff0>4</td><td $ff0>drop.kestrava.test</td><td $ff0>Not resolved.</td></tr>
<tr><td $ddf>5</td><td $ddf>refused.kestrava.test</td><td $ddf>Not resolved.</td></tr>" "\
<tr><td>1</td><td>www.kestrava.test</td><td>fd77::2</td></tr>"
e2e_report icmp "$E2E_WORK/expected-icmp.html" "\
<tr><td $ff0>1</td><td $ff0>10.77.0.3</td><td $ff0>10.77.0.3</td><td $ff0>notfound</td><td $ff0>Destination Unreachable</td><td $ff0>3</td><td $ff0>受信</td></tr>
<tr><td>2</td><td>10.77.0.2</td><td>10.77.0.2</td><td>www.kestrava.test</td><td>Echo Reply</td><td>0</td><td>受信</td></tr>" "\
<tr><td>1</td><td>fd77::2</td><td>fd77::2</td><td>www.kestrava.test</td><td>Echo Reply</td><td>0</td><td>受信</td></tr>"
e2e_report process "$E2E_WORK/expected-process.html" "\
<tr><td>1</td><td>kestrava-traffic.exe</td><td>10.77.0.3</td><td>mail.kestrava.test</td></tr>
<tr><td>2</td><td>kestrava-traffic.exe</td><td>10.77.0.2</td><td>www.kestrava.test</td></tr>" ""
e2e_report tcp "$E2E_WORK/expected-tcp.html" "\
<tr><td $grey>1</td><td $grey>10.77.0.2</td><td $grey>www.kestrava.test</td><td $grey>PORT</td><td $grey>2</td><td $grey>0</td><td $grey>Reset CLOSED</td><td $grey>-</td></tr>
<tr><td $grey>2</td><td $grey>10.77.0.2</td><td $grey>www.kestrava.test</td><td $grey>PORT</td><td $grey>TOTAL</td><td $grey>RESEND</td><td $grey>CLOSED</td><td $grey>-</td></tr>" "\
<tr><td $grey>1</td><td $grey>fd77::2</td><td $grey>www.kestrava.test</td><td $grey>PORT</td><td $grey>TOTAL</td><td $grey>RESEND</td><td $grey>CLOSED</td><td $grey>-</td></tr>"

for kind in dns icmp process tcp; do
  live_report "$kind"
  cp "$E2E_APP_DIR/$kind.html" "$E2E_WORK/$kind.html"
done
for kind in dns icmp process; do
  e2e_expect_file "$kind.html" "$E2E_WORK/expected-$kind.html" "$E2E_WORK/$kind.html"
done
# The ports of every row and the counts of the completed connections as
# placeholders; the counts are at least those of the shortest exchange a
# completed HTTP connection can have (SYN, SYN+ACK, ACK, request, answer, the
# two FINs): 7.
perl -pe '
  s{^(<tr>(?:<td[^>]*>[^<]*</td>){3}<td[^>]*>)\d+}{$1PORT};
  if (m{>CLOSED</td>}) {
    s{^(<tr>(?:<td[^>]*>[^<]*</td>){4}<td[^>]*>)(\d+)(</td><td[^>]*>)(?:<span[^>]*>)?\d+(?:</span>)?}
     {$1 . ($2 >= 7 ? "TOTAL" : "TOO-FEW-$2") . "$3RESEND"}e;
  }' "$E2E_WORK/tcp.html" >"$E2E_WORK/tcp-normalised.html"
e2e_expect_file "tcp.html (ports and counts of completed connections as patterns)" \
  "$E2E_WORK/expected-tcp.html" "$E2E_WORK/tcp-normalised.html"

# The overlay keeps the host the Windows program reached: its name in the TCP
# colour, centred on the first row, the process in the IPv4 frame colour
# centred on the second, inside a frame in that colour.
host_width=$(live_text_width www.kestrava.test)
process_width=$(live_text_width kestrava-traffic.exe)
width=$((right - left))
# text_box SHOT R G B: the pixels of that colour inside the frame
text_box() { live_text_box "$1" $((left + 1)) $((top + 1)) $((width - 2)) $((bottom - top - 2)) "$2" "$3" "$4"; }
for try in $(seq 20); do
  e2e_screenshot host
  host_box=$(text_box host 255 255 0)
  [ "$host_box" != none ] && break
  sleep 0.5
done
live_check_text "host row in the TCP colour" "$host_box" "$host_width" \
  $((left + (width - host_width) / 2)) "$top" $((top + 3 + 18))
live_check_text "process row in the IPv4 frame colour" "$(text_box host 0 255 0)" \
  "$process_width" $((left + (width - process_width) / 2)) $((top + 18)) "$bottom"
e2e_pixels host "$left" "$top" "$width" 1 | awk '$3 != 0 || $4 != 255 || $5 != 0 { bad++ }
  END { exit bad > 0 }' && e2e_pass "frame in the IPv4 frame colour" ||
  e2e_fail "the frame's top row is not all 0 255 0"

e2e_exit_app

# ---- 2. Rates shown: the three rates and their bars ---------------------------
#
# Traffic of this start, and the rates it gives:
#   DNS: www and mail answered, nx not: 3 names, 2 answered, 66 % resolved,
#        shown as 100 - 66 = 34 %.
#   TCP: two connections refused (2 packets each, neither an error) and one
#        SYN to 10.77.0.9, which nobody answers (1 packet, an error, given up
#        before it is sent again): 1 of 5 packets, 20 %.
#   ICMP: the echoes of 10.77.0.3 and fd77::2 answered, the datagram to port 9
#        answered by port unreachable: 1 of 3 hosts, 33 %.
e2e_ini_file "$ini" notdisperr=0
net_host ip neigh replace 10.77.0.9 lladdr 02:77:00:00:00:02 dev klh1 nud permanent
start_and_wait_capture
resolve 4 www.kestrava.test. mail.kestrava.test. nx.kestrava.test.
net_host "$LIVE_NATIVE_TRAFFIC" tcp 10.77.0.2 81 2 >>"$E2E_WORK/traffic.log" 2>&1
net_host python3 -c 'import socket
s = socket.socket()
s.settimeout(0.3)
try:
    s.connect(("10.77.0.9", 80))
except OSError as error:
    print("10.77.0.9:", error)' >>"$E2E_WORK/traffic.log" 2>&1
net_host "$LIVE_NATIVE_TRAFFIC" udp 10.77.0.2 9 >>"$E2E_WORK/traffic.log" 2>&1
last_frames_seen

# The bars, on the first row of the bar area (client y = cx + font size; the
# labels inside and beside the bars start below it): the DNS bar from the
# left edge, the TCP and ICMP bars from their columns, each as long as its
# column's share given by its rate, the rest of the row background, and the
# frame at both ends. The columns and the width come from the font's widths.
window_width=$(($(live_text_width "FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF") + 20))
tcp_column=$(($(live_text_width "DNS 100%00000") + 20))
icmp_column=$(($(live_text_width "DNS 100%00000TCP 100%00000") + 20))
visible=$((window_width - 2 * cx))
dns_bar=$(((tcp_column - 2 * cx - 1) * 34 / 100))
tcp_x=$((tcp_column - 2 * cx - 1))
tcp_bar=$(((icmp_column - tcp_column) * 20 / 100))
icmp_x=$((icmp_column - 2 * cx - 1))
icmp_bar=$(((window_width - icmp_column) * 33 / 100))
e2e_log "bars: DNS 0+$dns_bar, TCP $tcp_x+$tcp_bar, ICMP $icmp_x+$icmp_bar of $visible px"
bar_row() {
  e2e_pixels "$1" "$left" $((top + cx + 18)) "$visible" 1 | awk -v l="$left" -v w="$visible" \
    -v d="$dns_bar" -v tx="$tcp_x" -v t="$tcp_bar" -v ix="$icmp_x" -v i="$icmp_bar" '
    { x = $1 - l; want = "0 0 0"
      if (x == 0 || x == w - 1) want = "0 255 0"
      else if (x < d) want = "255 192 128"
      else if (x >= tx && x < tx + t) want = "255 255 0"
      else if (x >= ix && x < ix + i) want = "128 192 255"
      if ($3 " " $4 " " $5 != want) { bad++; if (!first) first = x ": " $3 " " $4 " " $5 " not " want } }
    END { print bad + 0, first }'
}
for try in $(seq 20); do
  e2e_screenshot rates
  read -r bad first <<<"$(bar_row rates)"
  [ "$bad" -eq 0 ] && break
  sleep 0.5
done
[ "$bad" -eq 0 ] && e2e_pass "bars of DNS 34 %, TCP 20 %, ICMP 33 % as wide as their rates" ||
  e2e_fail "bar row: $bad pixels differ (first at x $first)"

e2e_exit_app
e2e_finish
