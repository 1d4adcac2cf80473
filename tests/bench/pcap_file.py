"""Reading and writing plain pcap files, for the benchmark's capture script and
the converter of the cooked test captures (tests/data/make_cooked.py)."""
import struct

MAGICS = {b'\xd4\xc3\xb2\xa1': '<', b'\x4d\x3c\xb2\xa1': '<',  # micro-, nanoseconds
          b'\xa1\xb2\xc3\xd4': '>', b'\xa1\xb2\x3c\x4d': '>'}


def read_pcap(path):
    """The link type and the records (seconds, fraction, frame, original length)."""
    with open(path, 'rb') as f:
        data = f.read()
    order = MAGICS.get(data[:4])
    if order is None:
        raise ValueError('%s: not a pcap file' % path)
    link_type = struct.unpack(order + 'I', data[20:24])[0]
    records, at = [], 24
    while at + 16 <= len(data):
        seconds, fraction, caplen, wirelen = struct.unpack(order + 'IIII', data[at:at + 16])
        records.append((seconds, fraction, data[at + 16:at + 16 + caplen], wirelen))
        at += 16 + caplen
    return link_type, records


def write_pcap(out, link_type, records, snaplen=262144):
    """Writes a little-endian microsecond pcap of `records` to the open file `out`."""
    out.write(struct.pack('<IHHiIII', 0xa1b2c3d4, 2, 4, 0, 0, snaplen, link_type))
    chunk = []
    for seconds, fraction, frame, wirelen in records:
        chunk.append(struct.pack('<IIII', seconds, fraction, len(frame), wirelen))
        chunk.append(frame)
        if len(chunk) >= 20000:
            out.write(b''.join(chunk))
            chunk = []
    out.write(b''.join(chunk))
