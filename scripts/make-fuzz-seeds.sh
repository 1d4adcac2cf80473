#!/usr/bin/env bash
# Writes the seed corpus of the packet fuzz target: one file per captured
# frame, named <capture>-<frame number>.frame, identical frames kept once.
#
#   scripts/make-fuzz-seeds.sh CAPTURE_DIR [OUT_DIR]
#
# CAPTURE_DIR holds the captures listed below (the shared test captures);
# OUT_DIR defaults to tests/fuzz/corpus/packet and is emptied of *.frame first.
# The frames are read with libpcap (pcap and pcapng alike) by a small helper
# compiled on the fly. tests/fuzz/corpus/README.md names the origin and
# licence of every capture used here; keep the two lists in step.
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 CAPTURE_DIR [OUT_DIR]" >&2
  exit 2
fi
captures=$1
repo=$(cd "$(dirname "$0")/.." && pwd)
out=${2:-$repo/tests/fuzz/corpus/packet}

# Small, varied captures: DNS (also over TCP and IPv6), LLMNR, NetBIOS names,
# TCP opening and closing, ICMP errors with embedded headers, ICMPv6 neighbour
# discovery, IPv4 options, IPv6 extension headers, VLAN tags and frames cut
# short by the snapshot length.
list=(
  workstation-scenario.pcap
  real/ark_dns-wiresharkrepo.pcap
  real/ark_nbns.pcap
  real/ark_v6.pcap
  real/zeek_wikipedia.pcap
  real/zeek_dns-edns-ecs.pcap
  real/zeek_mdns.pcap
  real/zeek_icmp_dot1q.pcap
  real/zeek_ip4-trunc.pcap
  real/zeek_ip6-trunc.pcap
  real/ppp_ipv4-options.pcap
  real/tcpdump_ipv6-routing-header.pcap
  real/tcpdump_nbns-valgrind.pcap
  real/dpkt_truncated_dns.pcap
)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/split.c" <<'EOF'
/* split CAPTURE PREFIX: writes PREFIX-NNNN.frame for every frame. */
#include <pcap/pcap.h>
#include <stdio.h>

int main(int argc, char** argv) {
    char error[PCAP_ERRBUF_SIZE];
    if (argc != 3) return 2;
    pcap_t* p = pcap_open_offline(argv[1], error);
    if (!p) {
        fprintf(stderr, "%s: %s\n", argv[1], error);
        return 1;
    }
    struct pcap_pkthdr* header;
    const u_char* data;
    int n = 0, rc;
    while ((rc = pcap_next_ex(p, &header, &data)) == 1) {
        char path[4096];
        snprintf(path, sizeof path, "%s-%04d.frame", argv[2], ++n);
        FILE* f = fopen(path, "wb");
        if (!f || fwrite(data, 1, header->caplen, f) != header->caplen || fclose(f) != 0) {
            perror(path);
            return 1;
        }
    }
    if (rc == -1) fprintf(stderr, "%s: stopped after frame %d: %s\n", argv[1], n, pcap_geterr(p));
    pcap_close(p);
    return 0;
}
EOF
cc -O1 -o "$work/split" "$work/split.c" -lpcap

mkdir -p "$out"
rm -f "$out"/*.frame
for capture in "${list[@]}"; do
  stem=$(basename "$capture")
  stem=${stem%.*}
  "$work/split" "$captures/$capture" "$out/$stem"
done

# Keep one file of each distinct frame (the first by file name).
declare -A seen
kept=0
for f in "$out"/*.frame; do
  sum=$(sha1sum "$f" | cut -d' ' -f1)
  if [ -n "${seen[$sum]:-}" ]; then
    rm -f "$f"
  else
    seen[$sum]=1
    kept=$((kept + 1))
  fi
done
echo "make-fuzz-seeds: $kept frames, $(cat "$out"/*.frame | wc -c) bytes, in $out"
