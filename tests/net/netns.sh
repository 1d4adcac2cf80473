# A small test network of two hosts in network namespaces of the test's own,
# for the live-capture tests. Sourced (bash). Needs root.
#
#   net_setup PREFIX [PAIRS]  namespaces PREFIX-host (the machine under test)
#                             and PREFIX-peer (its network), joined by PAIRS
#                             veth pairs (1 or 2); no default route, so
#                             traffic never leaves the two namespaces
#   net_start_services        in the peer: the DNS responder (net_dns_answers
#                             says what it answers), an HTTP server on port 80,
#                             nothing on port 81 (connections are refused)
#   net_wait_quiet            waits until the host's first link carries no IP
#                             traffic for a second
#   net_host CMD...           runs CMD in the host namespace
#   net_peer CMD...           runs CMD in the peer namespace
#   net_teardown              ends every process of both namespaces and deletes
#                             them; call it from the script's EXIT trap, so
#                             that a failing run cleans up too
#
# Pair 1: host PREFIXh1 02:77:00:00:00:01 10.77.0.1/24 fd77::1/64,
#         peer PREFIXp1 02:77:00:00:00:02 10.77.0.2/24 fd77::2/64, and
#         10.77.0.3/24 (mail.kestrava.test) as a second host to reach.
# Pair 2: host PREFIXh2 02:78:00:00:00:01 10.78.0.1/24 fd78::1/64,
#         peer PREFIXp2 02:78:00:00:00:02 10.78.0.2/24 fd78::2/64.
# The link stays quiet unless a test speaks: the neighbours of each pair are
# permanent (no ARP, no neighbour discovery), nobody solicits routers or checks
# for duplicate addresses, so a test can predict every frame it captures; only
# the multicast listener reports of a link coming up remain (net_wait_quiet).
# Programs in the host namespace resolve names through the responder
# (/etc/netns/PREFIX-host/resolv.conf, which `ip netns exec` puts in place).
# PREFIX keeps parallel runs apart: at most 10 characters, so that interface
# names stay within 15.

NET_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
NET_PREFIX=
NET_HOST=
NET_PEER=
NET_LOG=${NET_LOG:-/tmp}

# The responder's table, one NAME=ANSWER per word: ANSWER is a comma-separated
# list of IPv4 and IPv6 addresses, or nxdomain, refused or drop. Names not in
# the table get NXDOMAIN.
net_dns_answers=(
  www.kestrava.test=10.77.0.2,fd77::2
  mail.kestrava.test=10.77.0.3
  nx.kestrava.test=nxdomain
  refused.kestrava.test=refused
  drop.kestrava.test=drop
)

net_host() { ip netns exec "$NET_HOST" "$@"; }
net_peer() { ip netns exec "$NET_PEER" "$@"; }

net_setup() {
  NET_PREFIX=$1
  local pairs=${2:-1}
  [ "${#NET_PREFIX}" -le 10 ] || { echo "netns: prefix $NET_PREFIX is longer than 10" >&2; return 1; }
  [ "$(id -u)" -eq 0 ] || { echo "netns: the test network needs root" >&2; return 1; }
  NET_HOST=$NET_PREFIX-host
  NET_PEER=$NET_PREFIX-peer
  net_teardown # what an interrupted earlier run may have left
  ip netns add "$NET_HOST" && ip netns add "$NET_PEER" || return 1
  local ns
  for ns in "$NET_HOST" "$NET_PEER"; do
    # read by the interfaces created below: no router solicitations, and no
    # duplicate address detection (a solicitation from :: as the link comes up)
    ip netns exec "$ns" sh -c 'echo 0 >/proc/sys/net/ipv6/conf/default/router_solicitations
      echo 0 >/proc/sys/net/ipv6/conf/default/accept_dad'
  done
  local i
  for i in $(seq "$pairs"); do
    local net=$((76 + i)) h=${NET_PREFIX}h$i p=${NET_PREFIX}p$i
    local hmac=02:$net:00:00:00:01 pmac=02:$net:00:00:00:02
    ip link add "$h" netns "$NET_HOST" address "$hmac" type veth \
      peer name "$p" netns "$NET_PEER" address "$pmac" || return 1
    ip -n "$NET_HOST" addr add "10.$net.0.1/24" dev "$h"
    ip -n "$NET_HOST" addr add "fd$net::1/64" dev "$h" nodad
    ip -n "$NET_PEER" addr add "10.$net.0.2/24" dev "$p"
    ip -n "$NET_PEER" addr add "fd$net::2/64" dev "$p" nodad
    if [ "$i" -eq 1 ]; then ip -n "$NET_PEER" addr add "10.$net.0.3/24" dev "$p"; fi
    ip -n "$NET_HOST" link set "$h" up
    ip -n "$NET_PEER" link set "$p" up
    # after the links are up: taking a link down forgets its neighbours
    local a
    for a in "10.$net.0.2" "10.$net.0.3" "fd$net::2"; do
      ip -n "$NET_HOST" neigh replace "$a" lladdr "$pmac" dev "$h" nud permanent
    done
    for a in "10.$net.0.1" "fd$net::1"; do
      ip -n "$NET_PEER" neigh replace "$a" lladdr "$hmac" dev "$p" nud permanent
    done
  done
  ip -n "$NET_HOST" link set lo up
  ip -n "$NET_PEER" link set lo up
  # multicast (LLMNR, mDNS) leaves through the first pair
  ip -n "$NET_HOST" route add 224.0.0.0/4 dev "${NET_PREFIX}h1"
  mkdir -p "/etc/netns/$NET_HOST"
  # one try of one second: an unanswered name costs a second, not twenty
  printf "nameserver 10.77.0.2\noptions timeout:1 attempts:1\n" >"/etc/netns/$NET_HOST/resolv.conf"
  printf 'hosts: files dns\n' >"/etc/netns/$NET_HOST/nsswitch.conf"
}

# Waits up to 10 s until something in the peer listens on PROTO (tcp, udp) PORT.
net_wait_listen() {
  local i
  for i in $(seq 100); do
    net_peer ss -Hln --"$1" "sport = :$2" | grep -q . && return 0
    sleep 0.1
  done
  echo "netns: nothing listens on $1 port $2 in $NET_PEER" >&2
  return 1
}

# Waits up to 10 s until a second passes without an IP frame on the host's
# first link, so that a capture started now sees only the test's traffic (the
# link's start-up chatter, multicast listener reports, is over).
net_wait_quiet() {
  local i
  for i in $(seq 10); do
    net_host timeout 1 tcpdump -q -c 1 -i "${NET_PREFIX}h1" ip or ip6 >/dev/null 2>&1 || return 0
  done
  echo "netns: ${NET_PREFIX}h1 never went quiet" >&2
  return 1
}

net_start_services() {
  mkdir -p "$NET_LOG"
  net_peer python3 "$NET_DIR/dns_responder.py" "${net_dns_answers[@]}" \
    >"$NET_LOG/dns-responder.log" 2>&1 &
  local www=$NET_LOG/www
  mkdir -p "$www"
  echo "Kestrava test page" >"$www/index.html"
  net_peer python3 -m http.server 80 --bind :: --directory "$www" \
    >"$NET_LOG/http-server.log" 2>&1 &
  net_wait_listen udp 53 && net_wait_listen tcp 80
}

net_teardown() {
  [ -n "$NET_PREFIX" ] || return 0
  local ns pid
  for ns in "$NET_HOST" "$NET_PEER"; do
    ip netns list | grep -q "^$ns\b" || continue
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill "$pid" 2>/dev/null; done
    sleep 0.2
    for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
    ip netns del "$ns" 2>/dev/null
    rm -rf "/etc/netns/$ns"
  done
  return 0
}
