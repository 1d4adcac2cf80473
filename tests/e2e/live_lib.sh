# Live capture under Wine: Kestrava.exe, its test helpers and its Wine server
# run in the host namespace of the test network (tests/net/netns.sh), with
# Wine's wpcap.dll as the capture library. Sourced after lib.sh by the live
# scenarios and by measure_live.sh. Needs root.
#
#   live_setup NAME NETPREFIX [PAIRS]  the scenario's folder, display and Wine
#                      prefix (its own, with the capture library), and
#                      live_network
#   live_network NETPREFIX [PAIRS]  the test network with its services and a
#                      Wine server started in its host namespace; every Wine
#                      call then runs there. Without root the scenario is
#                      skipped (exit status 77).
#   live_capture_ifaces  the interfaces that packet sockets in the host
#                      namespace are bound to, one a line (a capture is open
#                      on an interface once it is listed)
#   live_wait_capture IFACE  waits until a capture is open on IFACE
#   live_report KIND   runs the report command of KIND (dns, tcp, icmp,
#                      process) and waits until the report was opened
#   live_until_report KIND PATTERN CMD...  runs CMD and the report until the
#                      report holds PATTERN (a fixed text); for traffic made
#                      while the capture may still be starting
#   live_text_width TEXT  its width in pixels in the overlay's default font
#   live_text_box SHOT L T W H R G B  where the pixels of one colour lie in a
#                      rectangle of a screenshot: "LEFT RIGHT TOP BOTTOM", or none
#   live_check_text WHAT BOX WIDTH X TOP BOTTOM  checks that a text WIDTH
#                      pixels wide drawn at X lies in BOX within rows TOP..BOTTOM
#
# Safety: a Wine server started outside the namespace would create the
# program's sockets in the machine's own network, so the server is started
# inside it by its own binary (Debian's wrapper adds options) and checked with
# `ip netns pids`. The namespaces are deleted on exit, also on failure.

# shellcheck source=../net/netns.sh
source "$(dirname "${BASH_SOURCE[0]}")/../net/netns.sh"

LIVE_WPCAP=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/wpcap.dll
LIVE_SERVER_PID=
# the traffic maker of the native build, for traffic of Linux processes
LIVE_NATIVE_TRAFFIC=${E2E_LINUX_BUILD:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/linux}/kestrava-traffic

live_setup() {
  local name=$1
  shift
  E2E_PREFIX=${E2E_PREFIX%/*}/wine-prefix-live
  # e2e_setup checks for a prefix without a capture library; it is put in below
  rm -rf "$E2E_PREFIX/drive_c/windows/system32/Npcap"
  e2e_setup "$name"
  live_network "$@"
  [ -f "$LIVE_WPCAP" ] || e2e_die "Wine's wpcap.dll is not at $LIVE_WPCAP"
  mkdir -p "$E2E_PREFIX/drive_c/windows/system32/Npcap"
  cp "$LIVE_WPCAP" "$E2E_PREFIX/drive_c/windows/system32/Npcap/"
}

live_network() {
  local net=$1 pairs=${2:-1}
  if [ "$(id -u)" -ne 0 ]; then
    e2e_log "skipped: the test network needs root"
    exit 77
  fi
  trap live_cleanup EXIT
  NET_LOG=$E2E_WORK/net
  net_setup "$net" "$pairs" || e2e_die "cannot build the test network $net"
  net_start_services || e2e_die "the test network's services did not start"

  # No Wine server of this prefix may be left from setting the prefix up.
  e2e_wineserver -k || true
  local env
  mapfile -t env < <(e2e_wine_env)
  ip netns exec "$NET_HOST" env "${env[@]}" /usr/lib/wine/wineserver64 -f -p \
    >>"$E2E_WORK/wineserver.log" 2>&1 &
  LIVE_SERVER_PID=$!
  # The server listens once the socket in its working folder exists.
  local socket=/proc/$LIVE_SERVER_PID/cwd/socket i
  for i in $(seq 100); do
    [ -S "$socket" ] && break
    kill -0 "$LIVE_SERVER_PID" 2>/dev/null || break
    sleep 0.1
  done
  [ -S "$socket" ] || e2e_die "the Wine server did not start (log: $E2E_WORK/wineserver.log)"
  ip netns pids "$NET_HOST" | grep -qx "$LIVE_SERVER_PID" ||
    e2e_die "the Wine server $LIVE_SERVER_PID is not in $NET_HOST"
  e2e_pass "Wine server $LIVE_SERVER_PID runs in $NET_HOST"
  E2E_RUN=(ip netns exec "$NET_HOST")
}

live_cleanup() {
  E2E_RUN=()
  e2e_wineserver -k || true
  [ -n "$LIVE_SERVER_PID" ] && wait "$LIVE_SERVER_PID" 2>/dev/null
  E2E_APP_PID=
  net_teardown
  e2e_stop_xvfb
}

live_capture_ifaces() {
  local index
  for index in $(net_host awk 'NR > 1 { print $5 }' /proc/net/packet); do
    net_host ip -o link show | awk -F': ' -v i="$index" '$1 == i { sub(/@.*/, "", $2); print $2 }'
  done
}

live_wait_capture() {
  local i
  for i in $(seq 300); do
    grep -qx "$1" <<<"$(live_capture_ifaces)" && return 0
    e2e_app_running || e2e_die "Kestrava.exe ended before it captured on $1"
    sleep 0.1
  done
  e2e_die "no capture on $1 within 30 s (capturing on: $(live_capture_ifaces | tr '\n' ' '))"
}

live_report() {
  local id
  case $1 in
    dns) id=40024 ;;
    tcp) id=40026 ;;
    icmp) id=40028 ;;
    process) id=40034 ;;
    *) e2e_die "no report $1" ;;
  esac
  local opened
  opened=$(e2e_opened_file)
  : >"$opened"
  e2e_helper command "$id" || e2e_die "posting the $1 report command failed"
  local i
  for i in $(seq 150); do
    [ -s "$opened" ] && return 0
    sleep 0.1
  done
  e2e_die "the $1 report was not opened within 15 s"
}

live_until_report() {
  local kind=$1 pattern=$2
  shift 2
  local try
  for try in $(seq 8); do
    "$@" >>"$E2E_WORK/traffic.log" 2>&1
    live_report "$kind"
    grep -qF "$pattern" "$E2E_APP_DIR/$kind.html" && return 0
  done
  e2e_die "$kind.html never showed '$pattern' after $try tries of: $*"
}

live_text_width() {
  e2e_helper text-width 18 400 "$(e2e_hex "ＭＳ Ｐゴシック")" "$1" || e2e_die "helper text-width failed"
  e2e_field width 1
}

live_text_box() {
  e2e_pixels "$1" "$2" "$3" "$4" "$5" | awk -v c="$6 $7 $8" '$3 " " $4 " " $5 == c {
    if (n++ == 0 || $1 < l) l = $1; if ($1 > r) r = $1
    if (n == 1 || $2 < t) t = $2; if ($2 > b) b = $2 }
    END { print n ? l " " r " " t " " b : "none" }'
}

# The glyphs of a text start at most 4 pixels right of where it is drawn and
# span its width less at most 4 pixels of side bearings.
live_check_text() {
  local what=$1 box=$2 width=$3 x=$4 row_top=$5 row_bottom=$6
  if [ "$box" == none ]; then
    e2e_fail "$what: no pixel in its colour"
    return
  fi
  local l r t b
  read -r l r t b <<<"$box"
  local span=$((r - l + 1))
  if [ "$l" -ge "$x" ] && [ "$l" -le $((x + 4)) ] && [ "$span" -le "$width" ] &&
    [ "$span" -ge $((width - 4)) ] && [ "$t" -ge "$row_top" ] && [ "$b" -le "$row_bottom" ]; then
    e2e_pass "$what: $span px from x $l (text $width px at $x), rows $t..$b"
  else
    e2e_fail "$what: pixels $l..$r x $t..$b; expected a text $width px wide at $x in rows $row_top..$row_bottom"
  fi
}
