#!/usr/bin/env python3
"""The test network's name server: answers DNS queries over UDP on port 53,
IPv4 and IPv6, from a table given on the command line.

    dns_responder.py NAME=ANSWER...

ANSWER is a comma-separated list of addresses (A records for IPv4, AAAA for
IPv6, each answered for its own query type), or nxdomain, refused or drop (no
answer at all). Names not in the table get NXDOMAIN. Names compare without
regard to letter case.
"""
import ipaddress
import socket
import struct
import sys
import threading

NOERROR, NXDOMAIN, REFUSED = 0, 3, 5
TYPE_A, TYPE_AAAA = 1, 28


def parse_table(words):
    table = {}
    for word in words:
        name, answer = word.split("=", 1)
        if answer in ("nxdomain", "refused", "drop"):
            table[name.lower()] = answer
        else:
            table[name.lower()] = [ipaddress.ip_address(a) for a in answer.split(",")]
    return table


def read_question(message):
    """The first question's name (dotted, lower case), type, and where it ends."""
    labels, at = [], 12
    while True:
        length = message[at]
        if length == 0:
            at += 1
            break
        if length >= 64:
            raise ValueError("compressed or bad label")
        labels.append(message[at + 1:at + 1 + length].decode("ascii", "replace"))
        at += 1 + length
    qtype, _ = struct.unpack("!HH", message[at:at + 4])
    return ".".join(labels).lower(), qtype, at + 4


def answer(message, table):
    ident, flags, qdcount = struct.unpack("!HHH", message[:6])
    if flags & 0x8000 or qdcount < 1:
        return None
    name, qtype, end = read_question(message)
    entry = table.get(name, "nxdomain")
    if entry == "drop":
        return None
    records = []
    rcode = NOERROR
    if entry == "nxdomain":
        rcode = NXDOMAIN
    elif entry == "refused":
        rcode = REFUSED
    else:
        for address in entry:
            if (address.version, qtype) in ((4, TYPE_A), (6, TYPE_AAAA)):
                data = address.packed
                # the name points back at the question (offset 12)
                records.append(struct.pack("!HHHIH", 0xC00C, qtype, 1, 60, len(data)) + data)
    reply_flags = 0x8000 | 0x0400 | (flags & 0x0100) | 0x0080 | rcode  # QR AA RD RA
    header = struct.pack("!HHHHHH", ident, reply_flags, 1, len(records), 0, 0)
    return header + message[12:end] + b"".join(records)


def serve(family, address, table):
    sock = socket.socket(family, socket.SOCK_DGRAM)
    if family == socket.AF_INET6:
        sock.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
    sock.bind((address, 53))
    while True:
        message, peer = sock.recvfrom(4096)
        try:
            reply = answer(message, table)
        except (ValueError, IndexError, struct.error):
            reply = None
        if reply:
            sock.sendto(reply, peer)


def main():
    table = parse_table(sys.argv[1:])
    threads = [threading.Thread(target=serve, args=(socket.AF_INET6, "::", table), daemon=True)]
    threads[0].start()
    serve(socket.AF_INET, "0.0.0.0", table)


if __name__ == "__main__":
    main()
