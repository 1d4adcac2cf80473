#!/usr/bin/env python3
"""Builds a large Ethernet capture of one host's real traffic for timing the
offline analyser (never committed: it lands in the build tree).

The frames come from the real captures listed in MANIFEST.tsv whose host is
known. Each capture is converted to plain pcap by tcpdump, and in every frame
the capture's own host address is replaced by HOST_MAC, source and destination
alike, so every capture's traffic becomes the traffic of one host; frames
between other hosts stay as they are and are ignored by the analysis, as they
would be live. The captures are then laid end to end, round after round, until
the file holds FRAMES frames, with timestamps one millisecond apart.

usage: make_big_capture.py OUTPUT [FRAMES] [CAPTURES_DIR]
"""
import os
import subprocess
import sys
import tempfile

from pcap_file import read_pcap, write_pcap

HOST_MAC = bytes.fromhex('020000000001')
ETHERNET = 1


def host_frames(captures_dir):
    """Every usable frame, with its capture's host address replaced."""
    frames = []
    with open(os.path.join(captures_dir, 'MANIFEST.tsv'), encoding='utf-8') as f:
        rows = [line.rstrip('\n').split('\t') for line in f][1:]
    with tempfile.TemporaryDirectory() as tmp:
        for row in rows:
            name, mac = row[0], row[2]
            if mac == '-':
                continue
            plain = os.path.join(tmp, 'plain.pcap')
            done = subprocess.run(['tcpdump', '-r', os.path.join(captures_dir, name), '-w', plain],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if done.returncode != 0:
                continue  # a damaged capture has no place in a timing file
            host = bytes.fromhex(mac.replace(':', ''))
            link_type, records = read_pcap(plain)
            if link_type != ETHERNET:
                continue
            for _, _, frame, wirelen in records:
                if len(frame) >= 12:
                    dst = HOST_MAC if frame[0:6] == host else frame[0:6]
                    src = HOST_MAC if frame[6:12] == host else frame[6:12]
                    frame = dst + src + frame[12:]
                frames.append((frame, wirelen))
    return frames


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    output = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 2000000
    captures_dir = sys.argv[3] if len(sys.argv) > 3 else '/work/shared/captures'
    frames = host_frames(captures_dir)
    if not frames:
        sys.exit('no frames found under ' + captures_dir)

    def records():
        for n in range(count):
            frame, wirelen = frames[n % len(frames)]
            seconds, millis = divmod(n, 1000)
            yield 1700000000 + seconds, millis * 1000, frame, wirelen

    with open(output + '.part', 'wb') as out:
        write_pcap(out, ETHERNET, records())
    os.replace(output + '.part', output)
    print('%s: %d frames from %d distinct, %d bytes' %
          (output, count, len(frames), os.path.getsize(output)))


if __name__ == '__main__':
    main()
