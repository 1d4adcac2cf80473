# A test network of two hosts in network namespaces of the test's own, for the
# live-capture tests. Sourced (bash); needs root.
#
#   net_setup PREFIX [PAIRS]  namespaces PREFIX-host (the machine under test) and
#                             PREFIX-peer (its network), joined by PAIRS (1, 2)
#                             veth pairs; no default route, so traffic never
#                             leaves them
#   net_start_services        in the peer: the DNS responder (net_dns_answers),
#                             an HTTP server on port 80, nothing on port 81
#   net_pair_up I             the host's link of pair I up again, with its
#                             neighbours (a link taken down forgets them)
#   net_nameserver ADDRESS    the responder's address the host asks (10.77.0.2)
#   net_wait_quiet            until the host's first link is silent for a second
#   net_host CMD..., net_peer CMD...   CMD in that namespace
#   net_teardown              ends the namespaces' processes and deletes them
#                             (call it from the script's EXIT trap)
#
# Pair I (N = 76 + I): host PREFIXhI 02:N:00:00:00:01 10.N.0.1/24 fdN::1/64;
# peer PREFIXpI 02:N:00:00:00:02 10.N.0.2/24, 10.N.0.3/24 (a second host, on
# pair 1 mail.kestrava.test), fdN::2/64. The links stay quiet unless a test
# speaks (permanent neighbours, no router solicitation, no duplicate address
# detection; only the listener reports of a link coming up), so a test can
# predict every frame it captures. Addresses stay when a link goes down.
# PREFIX: at most 10 characters, so that interface names fit in 15.

NET_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
NET_PREFIX= NET_HOST= NET_PEER=
NET_LOG=${NET_LOG:-/tmp}

# The responder's table: NAME=ANSWER, ANSWER a comma-separated list of IPv4 and
# IPv6 addresses, or nxdomain, refused or drop. Other names get NXDOMAIN.
net_dns_answers=(
  www.kestrava.test=10.77.0.2,fd77::2
  mail.kestrava.test=10.77.0.3
  nx.kestrava.test=nxdomain
  refused.kestrava.test=refused
  drop.kestrava.test=drop
)

net_host() { ip netns exec "$NET_HOST" "$@"; }
net_peer() { ip netns exec "$NET_PEER" "$@"; }
# net_until SECONDS CMD...: CMD every 0.1 s until it succeeds, or 1 after SECONDS
net_until() {
  local end=$((SECONDS + $1))
  until "${@:2}"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}

net_setup() {
  NET_PREFIX=$1
  local pairs=${2:-1} ns i a
  [ "${#NET_PREFIX}" -le 10 ] || { echo "netns: prefix $NET_PREFIX is longer than 10" >&2; return 1; }
  NET_HOST=$NET_PREFIX-host NET_PEER=$NET_PREFIX-peer
  net_teardown # what an interrupted earlier run may have left
  for ns in "$NET_HOST" "$NET_PEER"; do
    ip netns add "$ns" && ip -n "$ns" link set lo up || return 1
    # read by the interfaces created below
    ip netns exec "$ns" sh -c 'cd /proc/sys/net/ipv6/conf/default && echo 0 >router_solicitations &&
      echo 0 >accept_dad && echo 1 >keep_addr_on_down'
  done
  for i in $(seq "$pairs"); do
    local net=$((76 + i)) h=${NET_PREFIX}h$i p=${NET_PREFIX}p$i
    ip link add "$h" netns "$NET_HOST" address "02:$net:00:00:00:01" type veth \
      peer name "$p" netns "$NET_PEER" address "02:$net:00:00:00:02" || return 1
    for a in "10.$net.0.1/24" "fd$net::1/64 nodad"; do ip -n "$NET_HOST" addr add $a dev "$h"; done
    for a in "10.$net.0.2/24" "10.$net.0.3/24" "fd$net::2/64 nodad"; do ip -n "$NET_PEER" addr add $a dev "$p"; done
    ip -n "$NET_PEER" link set "$p" up
    for a in "10.$net.0.1" "fd$net::1"; do
      ip -n "$NET_PEER" neigh replace "$a" lladdr "02:$net:00:00:00:01" dev "$p" nud permanent
    done
    net_pair_up "$i"
  done
  mkdir -p "/etc/netns/$NET_HOST"
  printf 'hosts: files dns\n' >"/etc/netns/$NET_HOST/nsswitch.conf"
  net_nameserver 10.77.0.2
}

# net_nameserver ADDRESS: the responder's address that the host asks, with one
# try of one second (an unanswered name costs a second, not twenty)
net_nameserver() {
  printf "nameserver %s\noptions timeout:1 attempts:1\n" "$1" >"/etc/netns/$NET_HOST/resolv.conf"
}

net_pair_up() {
  local net=$((76 + $1)) a
  ip -n "$NET_HOST" link set "${NET_PREFIX}h$1" up || return 1
  for a in "10.$net.0.2" "10.$net.0.3" "fd$net::2"; do
    ip -n "$NET_HOST" neigh replace "$a" lladdr "02:$net:00:00:00:02" dev "${NET_PREFIX}h$1" nud permanent
  done
}

net_listening() { net_peer ss -Hln --"$1" "sport = :$2" | grep -q .; } # PROTO (tcp, udp) PORT

net_quiet() { ! net_host timeout 1 tcpdump -q -c 1 -i "${NET_PREFIX}h1" ip or ip6 >/dev/null 2>&1; }
net_wait_quiet() { net_until 10 net_quiet || { echo "netns: ${NET_PREFIX}h1 never went quiet" >&2; return 1; }; }

net_start_services() {
  mkdir -p "$NET_LOG/www"
  echo "Kestrava test page" >"$NET_LOG/www/index.html"
  net_peer python3 "$NET_DIR/dns_responder.py" "${net_dns_answers[@]}" >"$NET_LOG/dns-responder.log" 2>&1 &
  net_peer python3 -m http.server 80 --bind :: --directory "$NET_LOG/www" >"$NET_LOG/http-server.log" 2>&1 &
  net_until 10 net_listening udp 53 && net_until 10 net_listening tcp 80 ||
    { echo "netns: the services of $NET_PEER did not start" >&2; return 1; }
}

net_teardown() {
  [ -n "$NET_PREFIX" ] || return 0
  local ns
  for ns in "$NET_HOST" "$NET_PEER"; do
    ip netns list | grep -q "^$ns\b" || continue
    ip netns pids "$ns" | xargs -r kill -9 2>/dev/null || true
    ip netns del "$ns" 2>/dev/null
    rm -rf "/etc/netns/$ns"
  done
  return 0
}
