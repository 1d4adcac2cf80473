#!/usr/bin/env python3
"""dns_responder.py NAME=ANSWER...: the test network's name server on UDP port
53. ANSWER: addresses, comma-separated (A and AAAA records, each for its own
query type), or nxdomain, refused or drop (no answer). Other names: NXDOMAIN."""
import ipaddress
import socket
import struct
import sys

RCODES = {"nxdomain": 3, "refused": 5}
TYPES = {4: 1, 6: 28}  # A, AAAA


def answer(message, table):
    ident, flags, qdcount = struct.unpack("!HHH", message[:6])
    if flags & 0x8000 or qdcount < 1:
        return None
    labels, at = [], 12
    while message[at]:
        if message[at] >= 64:
            return None  # compressed or bad label
        labels.append(message[at + 1:at + 1 + message[at]].decode("ascii", "replace"))
        at += 1 + message[at]
    (qtype,) = struct.unpack("!H", message[at + 1:at + 3])
    entry = table.get(".".join(labels).lower(), "nxdomain")
    if entry == "drop":
        return None
    # each record's name points back at the question (offset 12)
    addresses, rcode = (entry, 0) if isinstance(entry, list) else ([], RCODES[entry])
    records = [struct.pack("!HHHIH", 0xC00C, qtype, 1, 60, len(a.packed)) + a.packed
               for a in addresses if TYPES[a.version] == qtype]
    reply_flags = 0x8000 | 0x0400 | (flags & 0x0100) | 0x0080 | rcode  # QR AA RD RA
    return struct.pack("!HHHHHH", ident, reply_flags, 1, len(records), 0, 0) + message[12:at + 5] + b"".join(records)


def main():
    table = {}
    for word in sys.argv[1:]:
        name, value = word.split("=", 1)
        table[name.lower()] = value if value in ("nxdomain", "refused", "drop") else \
            [ipaddress.ip_address(a) for a in value.split(",")]
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("0.0.0.0", 53))
    while True:
        message, peer = sock.recvfrom(4096)
        try:
            reply = answer(message, table)
        except (IndexError, struct.error):
            reply = None
        if reply:
            sock.sendto(reply, peer)


if __name__ == "__main__":
    main()
