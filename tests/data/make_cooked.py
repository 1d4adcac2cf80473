#!/usr/bin/env python3
"""Turns an Ethernet capture into the Linux cooked capture the kernel would
have written for the same traffic on the host HOST_MAC (`tcpdump -i any`).

Each frame's Ethernet header gives way to a cooked header whose packet type is
what the kernel decides from the destination: sent by the host (source
HOST_MAC) 4, to the host 0, broadcast 1, any other group address 2, another
host 3. The cooked header keeps the source address and the EtherType, and
says hardware type Ethernet (1) and, for LINUX_SLL2, interface index 2.

usage: make_cooked.py ETHERNET_PCAP HOST_MAC sll|sll2 OUTPUT
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'bench'))
from pcap_file import read_pcap, write_pcap  # noqa: E402

LINUX_SLL, LINUX_SLL2 = 113, 276


def packet_type(frame, host):
    if frame[6:12] == host:
        return 4
    if frame[0:6] == host:
        return 0
    if frame[0:6] == b'\xff' * 6:
        return 1
    return 2 if frame[0] & 1 else 3


def cooked(frame, host, version):
    kind, source, ether_type = packet_type(frame, host), frame[6:12] + b'\0\0', frame[12:14]
    if version == 'sll':
        header = struct.pack('>HHH', kind, 1, 6) + source + ether_type
    else:
        header = ether_type + struct.pack('>HIHBB', 0, 2, 1, kind, 6) + source
    return header + frame[14:]


def main():
    if len(sys.argv) != 5 or sys.argv[3] not in ('sll', 'sll2'):
        sys.exit(__doc__)
    source, mac, version, output = sys.argv[1:]
    host = bytes.fromhex(mac.replace(':', ''))
    link_type, records = read_pcap(source)
    if link_type != 1:
        sys.exit(source + ': not Ethernet')
    grow = 2 if version == 'sll' else 6  # the cooked header is 16 or 20 bytes, not 14
    with open(output, 'wb') as out:
        write_pcap(out, LINUX_SLL if version == 'sll' else LINUX_SLL2,
                   [(s, f, cooked(frame, host, version), length + grow)
                    for s, f, frame, length in records if len(frame) >= 14])


if __name__ == '__main__':
    main()
