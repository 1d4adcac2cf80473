#!/usr/bin/env bash
# Kestrava.exe capturing under Wine on a test network of two networks
# (tests/net/netns.sh; root, else skipped) in whose host namespace the program,
# its Wine server and the traffic run, with Wine's wpcap.dll. Three starts: the
# library and the network choice; the rates; the reports and the host shown.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

e2e_setup live
e2e_network kl 2
ini=$E2E_APP_DIR/setting.ini
npcap=$E2E_PREFIX/drive_c/windows/system32/Npcap
traffic=$E2E_WIN_BUILD/kestrava-traffic.exe
native=$E2E_LINUX_BUILD/kestrava-traffic
[ -f "$traffic" ] && [ -x "$native" ] || e2e_die "$traffic or $native is missing"
font="18 400 ＭＳ Ｐゴシック"
# the samples of the window's width and its columns
mapfile -t width < <(e2e_text_widths 18 400 "ＭＳ Ｐゴシック" FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF "DNS 100%00000" \
  "DNS 100%00000TCP 100%00000")

# resolve 4|6 NAME...: a look-up of each for A (4) or AAAA (6) records only;
# a trailing dot keeps the resolver from trying the machine's own domain
resolve() { local name; for name in "${@:2}"; do net_host getent "ahostsv$1" "$name"; done >>"$E2E_WORK/traffic.log" 2>&1; }
windows_traffic() { (e2e_exec wine "$traffic" "$@") >>"$E2E_WORK/traffic.log" 2>&1 || e2e_fail "kestrava-traffic.exe $*"; }
linux_traffic() { net_host "$native" "$@" >>"$E2E_WORK/traffic.log" 2>&1; }
nic_is() { [ "$(e2e_saved sNIC)" == "$1" ]; }
# saved_nic NAME: setting.ini names the network NAME, saved once its capture is open
saved_nic() { e2e_until 5 nic_is "$1"; e2e_expect_eq "sNIC in setting.ini" "$1" "$(e2e_saved sNIC)"; }
network_dialog() { # WHAT: dialog 115 lists both networks, the first selected
  e2e_dialog "$1" "Network Interface Card選択" || e2e_die "no dialog 115"
  e2e_expect_eq "$1: selected, networks" "0 $(e2e_hex klh1) $(e2e_hex klh2)" \
    "$(awk '$2 == 1025 && ($1 == "selected" || $1 == "item") { print $3 }' "$E2E_WORK/helper.out" | xargs)"
}

# ---- 1. The capture library, the networks and the choice ------------------------
# A folder named wpcap.dll: "Npcap not found."; the library: "Network not
# found."; the networks up: dialog 115, no capture while it waits, its refresh,
# OK with nothing selected, OK on the second: captured, saved, "No access.".
printf 'refused.kestrava.test\r\n' >"$E2E_APP_DIR/safelist.txt"
ip -n "$NET_HOST" link set klh1 down && ip -n "$NET_HOST" link set klh2 down
mkdir -p "$npcap/wpcap.dll"
e2e_launch
e2e_window 30000
read -r left top right bottom <<<"$E2E_VISIBLE"
cx=$(e2e_get frame 1)
e2e_check_text npcap-folder "255 192 128" "$font" "Npcap not found." $((left + 5)) $((top + 3))
rmdir "$npcap/wpcap.dll"
cp "$E2E_WPCAP" "$npcap/"
e2e_check_text network-not-found "255 192 128" "$font" "Network not found." $((left + 5)) $((top + 3))
net_pair_up 1 && net_pair_up 2
network_dialog "networks up"
sleep 2 # several refreshes pass meanwhile
e2e_expect_eq "captures while the dialog is open" "" "$(e2e_capture_ifaces)"
e2e_helper select 1025 1 + click 1026 + dialog 0 # refresh
network_dialog "refreshed"
e2e_helper select 1025 -1 + press 1 1000 && e2e_fail "OK with nothing selected closed the dialog"
e2e_dialog "OK with nothing selected" エラー ":選択してください。" && e2e_helper press 1
e2e_check "OK on the second network" e2e_helper select 1025 1 + press 1
e2e_wait_capture klh2
e2e_expect_eq "captured networks" klh2 "$(e2e_capture_ifaces | xargs)"
saved_nic klh2
e2e_check_text no-access "128 192 255" "$font" "No access." centred $((top + 3))
e2e_exit_app

# ---- 2. The saved network, the rates, the reset ----------------------------------
# Traffic of this start, and the rates it gives:
#   DNS: www and mail answered, nx not: 2 of 3 names resolved (66 %), shown as
#        100 - 66 = 34 %.
#   TCP: two connections refused (2 segments each, neither an error) and a
#        SYN to 10.78.0.9, which nobody answers (1 segment, an error, given up
#        before it is sent again): 1 of 5, 20 %.
#   ICMP: echoes of 10.78.0.3 and fd78::2 answered, the datagram to port 9 of
#        10.78.0.2 answered by port unreachable: 1 of 3 peers, 33 %.
sed -i 's/^notdisperr=1\r$/notdisperr=0\r/' "$ini"
net_nameserver 10.78.0.2
net_host ip neigh replace 10.78.0.9 lladdr 02:78:00:00:00:02 dev klh2 nud permanent
e2e_launch
e2e_wait_capture klh2 # without a dialog, which would hold the start
e2e_until_report icmp "<td>10.78.0.3</td>" net_host ping -c1 -W2 10.78.0.3 # from now on all is seen
resolve 4 www.kestrava.test. mail.kestrava.test. nx.kestrava.test.
linux_traffic tcp 10.78.0.2 81 2
net_host timeout 0.3 "$native" tcp 10.78.0.9 80 >>"$E2E_WORK/traffic.log" # a SYN, stopped before it is sent again
linux_traffic udp 10.78.0.2 9
e2e_until_report icmp "<td>fd78::2</td>" net_host ping -6 -c1 -W2 fd78::2 # frames arrive in order

# On the first row of the bar area (client y cx + font size), the DNS bar
# from the left edge, the TCP and ICMP bars from their columns, each its
# column's share by its rate; the rest of the row background, the frame at
# both ends. The columns and the window's width come from the font's widths.
window=$((width[0] + 20)) tcp_column=$((width[1] + 20)) icmp_column=$((width[2] + 20))
bars="$(((tcp_column - 2 * cx - 1) * 34 / 100)) $((tcp_column - 2 * cx - 1)) \
$(((icmp_column - tcp_column) * 20 / 100)) $((icmp_column - 2 * cx - 1)) $(((window - icmp_column) * 33 / 100))"
bars_shown() { # a screenshot whose bar row is right; else the pixels that differ in $wrong
  e2e_screenshot rates
  wrong=$(e2e_pixels rates "$left" $((top + cx + 18)) $((right - left)) 1 | awk -v l="$left" -v w=$((right - left)) \
    -v bars="$bars" 'BEGIN { split(bars, v, " ") }
    { x = $1 - l; want = "0 0 0"
      if (x == 0 || x == w - 1) want = "0 255 0"
      else if (x < v[1]) want = "255 192 128"
      else if (x >= v[2] && x < v[2] + v[3]) want = "255 255 0"
      else if (x >= v[4] && x < v[4] + v[5]) want = "128 192 255"
      if ($3 " " $4 " " $5 != want && !bad++) first = x ": " $3 " " $4 " " $5 " not " want }
    END { if (bad) print bad " pixels, the first at x " first }')
  [ -z "$wrong" ]
}
e2e_until 10 bars_shown
e2e_check "bars of DNS 34 %, TCP 20 %, ICMP 33 % (DNS width, TCP x and width, ICMP x and width: $bars)$wrong" \
  [ -z "$wrong" ]

e2e_helper command 40032
e2e_dialog "reset" ネットワーク選択リセット && e2e_helper press 6
e2e_dialog "reset done" ネットワーク選択リセット && e2e_helper press 1
saved_nic undefined
e2e_exit_app
saved_nic undefined

# ---- 3. The choice asked again; traffic of every kind; the network vanishes -----
# The start asks again after the reset; Cancel opens the first network.
# The rows of expected/*.html follow from the traffic below: names answered,
# NXDOMAIN, dropped, and refused but safe-listed (#ddf); a ping to mail before
# its name was asked, then datagrams to its closed port 9 (port unreachable);
# an HTTP connection that lives 3 s and a refused one from the Windows
# program, which process.html names; an HTTP connection over IPv6 from Linux;
# echoes over both versions. In tcp.html the local ports and the segment
# counts of the completed connections (which depend on how the two TCP stacks
# acknowledge) are matched as patterns.
sed -i 's/^notdisperr=0\r$/notdisperr=1\r/' "$ini"
net_nameserver 10.77.0.2
e2e_launch
network_dialog "the start after the reset"
e2e_check "Cancel closes dialog 115" e2e_helper press 2
e2e_wait_capture klh1
saved_nic klh1
e2e_until_report icmp "<td>10.77.0.3</td>" net_host ping -c1 -W2 10.77.0.3
resolve 4 www.kestrava.test. mail.kestrava.test. nx.kestrava.test. drop.kestrava.test. refused.kestrava.test.
resolve 6 www.kestrava.test.
# long enough for a refresh of the owner tables to see their sockets
windows_traffic udp 10.77.0.3 9 6 400
windows_traffic tcp 10.77.0.2 80 1 3000
windows_traffic tcp 10.77.0.2 81 1
linux_traffic tcp fd77::2 80
net_host ping -c1 -W2 10.77.0.2 >>"$E2E_WORK/traffic.log"
e2e_until_report icmp "<td>fd77::2</td>" net_host ping -6 -c1 -W2 fd77::2

for kind in dns icmp process tcp; do
  e2e_report $kind
  e2e_expected_report $kind "$E2E_WORK/expected-$kind.html"
  cp "$E2E_APP_DIR/$kind.html" "$E2E_WORK/$kind.html"
  # in tcp.html the ports of every row, and the counts of the completed
  # connections, at least those of the shortest exchange (SYN, SYN+ACK, ACK,
  # request, answer, two FINs): 7
  [ $kind != tcp ] || perl -i -pe 's{^(<tr>(?:<td[^>]*>[^<]*</td>){3}<td[^>]*>)\d+}{$1PORT};
    if (m{>CLOSED</td>}) {
      s{^(<tr>(?:<td[^>]*>[^<]*</td>){4}<td[^>]*>)(\d+)(</td><td[^>]*>)(?:<span[^>]*>)?\d+(?:</span>)?}
       {$1 . ($2 >= 7 ? "TOTAL" : "TOO-FEW-$2") . "$3RESEND"}e }' "$E2E_WORK/tcp.html"
  e2e_expect_file "$kind.html" "$E2E_WORK/expected-$kind.html" "$E2E_WORK/$kind.html"
done
# The window keeps the host the Windows program reached last: its name in the
# TCP colour centred on the first row, the process in the IPv4 frame colour
# centred on the second, inside a frame in that colour.
e2e_check_text host "255 255 0" "$font" www.kestrava.test centred $((top + 3))
e2e_check_text host "0 255 0" "$font" kestrava-traffic.exe centred $((top + 18 + 3))
e2e_check "frame in the IPv4 frame colour" [ -z "$(e2e_pixels host "$left" "$top" $((right - left)) 1 |
  awk '$3 " " $4 " " $5 != "0 255 0"')" ]

net_host ip link del klh1
e2e_report dns
e2e_check "the window is still shown after its network vanished" e2e_helper wait-window 0
e2e_exit_app
e2e_finish
