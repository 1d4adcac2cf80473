#!/usr/bin/env bash
# The offline analyser's command line: --help, every input it must refuse
# with one line on standard error, a non-zero status and no report written,
# and the progress line, shown only on a terminal.
#
# usage: run_errors.sh REPLAY GOOD_CAPTURE
set -uo pipefail

replay=$1 good=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/out" "$work/config"
failed=0

# A pcap file header (little-endian, version 2.4, snapshot 65535) of a link type.
pcapHeader() {
  printf '\xd4\xc3\xb2\xa1\x02\x00\x04\x00\x00\x00\x00\x00\x00\x00\x00\x00\xff\xff\x00\x00'
  printf "$1"'\x00\x00\x00'
}
pcapHeader '\x65' >"$work/raw-ip.pcap"     # link type 101: raw IP, not Ethernet
pcapHeader '\x01' >"$work/empty.pcap"      # Ethernet, no frame
pcapHeader '\x71' >"$work/cooked.pcap"     # link type 113: Linux cooked, no frame
echo "not a capture" >"$work/text.pcap"
touch "$work/a-file"

# expect STATUS PATTERN ARGS...: the status, and one stderr line matching PATTERN.
expect() {
  local want=$1 pattern=$2
  shift 2
  rm -f "$work/out"/*
  "$replay" "$@" >"$work/stdout" 2>"$work/stderr"
  local status=$?
  local lines
  lines=$(grep -c '' "$work/stderr")
  if [ "$status" -ne "$want" ] ||
     { [ -n "$pattern" ] && ! grep -q -- "$pattern" "$work/stderr"; } ||
     { [ "$want" -ne 0 ] && [ "$lines" -gt 2 ]; } ||
     { [ "$want" -ne 0 ] && [ -n "$(ls "$work/out")" ]; }; then
    echo "FAILED: kestrava-replay $* -> status $status (want $want), stderr:" >&2
    cat "$work/stderr" >&2
    failed=1
  fi
}

c=(--config "$work/config" --out "$work/out")
expect 2 "malformed hardware address" --mac 02:77:00:00:00 "${c[@]}" "$good"
expect 2 "malformed hardware address" --mac 02:77:00:00:00:0g "${c[@]}" "$good"
expect 2 "malformed hardware address" --mac 02:77-00:00:00:01 "${c[@]}" "$good"
expect 2 "missing value after" "${c[@]}" "$good" --mac
expect 2 "unknown option" --verbose "${c[@]}" "$good"
expect 2 "no capture file given" "${c[@]}"
expect 1 "as a capture file" "${c[@]}" "$work/text.pcap"
expect 1 "as a capture file" "${c[@]}" - <"$work/text.pcap"
expect 1 "cannot read .*missing.pcap: No such file or directory" "${c[@]}" "$work/missing.pcap"
expect 1 "link type RAW is neither Ethernet nor Linux cooked" "${c[@]}" "$work/raw-ip.pcap"
expect 1 "give --mac" "${c[@]}" "$work/empty.pcap"
expect 0 "--mac is ignored" --mac 02:77:00:00:00:01 "${c[@]}" "$work/cooked.pcap"
expect 1 "cannot write reports into" --config "$work/config" --out "$work/missing" "$good"
expect 1 "cannot write reports into" --config "$work/config" --out "$work/a-file" "$good"
expect 1 "cannot read the configuration" --config "$work/missing" --out "$work/out" "$good"

# --help explains the options and exits 0.
"$replay" --help >"$work/help" 2>&1
if [ $? -ne 0 ] || ! grep -q -- '--mac' "$work/help" || ! grep -q -- '--config' "$work/help" ||
   ! grep -q -- '--out' "$work/help" || ! grep -q -- '--json' "$work/help" ||
   ! grep -q '1920x1080' "$work/help" || ! grep -q '^  3  the capture is damaged' "$work/help"; then
  echo "FAILED: --help" >&2
  failed=1
fi

# An empty capture with --mac is fine: empty reports, every rate 0 %.
expect 0 "" --mac 02:77:00:00:00:01 "${c[@]}" "$work/empty.pcap"
if [ "$(cat "$work/stdout")" != $'DNS   0%\nTCP   0%\nICMP   0%' ] ||
   [ "$(ls "$work/out" | tr '\n' ' ')" != "dns.html icmp.html process.html tcp.html " ]; then
  echo "FAILED: empty capture with --mac" >&2
  failed=1
fi
# synthetic OUT SOURCE COUNT [SOURCE COUNT...]: a capture of COUNT IPv4 UDP
# frames from each SOURCE in turn, all to 02:00:00:00:00:0c (58 bytes a frame).
synthetic() {
  python3 - "$@" <<'EOF'
import struct, sys
out, pairs = sys.argv[1], sys.argv[2:]
ip = bytes([0x45, 0, 0, 28, 0, 0, 0, 0, 64, 17, 0, 0, 10, 0, 0, 1, 10, 0, 0, 2])
udp = struct.pack('>HHHH', 1000, 2000, 8, 0)
with open(out, 'wb') as f:
    f.write(struct.pack('<IHHiIII', 0xa1b2c3d4, 2, 4, 0, 0, 65535, 1))
    for source, count in zip(pairs[::2], pairs[1::2]):
        frame = bytes.fromhex('02000000000c' + source.replace(':', '')) + b'\x08\x00' + ip + udp
        f.write((struct.pack('<IIII', 0, 0, len(frame), len(frame)) + frame) * int(count))
EOF
}

# This host is guessed from the first 10000 frames; when the whole capture has
# another busiest source, it is analysed again with that one: here only its
# 10001 frames are outgoing, the first 10000 are between other hosts.
synthetic "$work/two.pcap" 02:00:00:00:00:0a 10000 02:00:00:00:00:0b 10001
expect 0 "this host is 02:00:00:00:00:0b (the source of 10001 of 20001 frames)" \
  --json "${c[@]}" "$work/two.pcap"
if ! grep -q '"frames":{"read":20001,"analysed":10001}' "$work/stdout"; then
  echo "FAILED: the busiest source of the whole capture" >&2
  failed=1
fi

# A stream of 5000 frames that stalls for 2.5 s after 3448 of them: on a
# terminal a progress line shows at frame 4096 and is wiped before the rates;
# with standard error a file, nothing but the rates comes out.
synthetic "$work/many.pcap" 02:77:00:00:00:01 5000
stream="(head -c 200000 $work/many.pcap; sleep 2.5; tail -c +200001 $work/many.pcap) |
  $replay --mac 02:77:00:00:00:01 ${c[*]} -"
script -qec "$stream" /dev/null </dev/null >"$work/terminal" &
bash -c "$stream" >"$work/stdout" 2>"$work/stderr"
wait
if ! grep -aq $'\ranalysing standard input: 4096 frames, 0.2 MB\e\[K' "$work/terminal" ||
   ! grep -aq $'\r\e\[KDNS   0%' "$work/terminal" || [ -s "$work/stderr" ] ||
   [ "$(cat "$work/stdout")" != $'DNS   0%\nTCP   0%\nICMP   0%' ]; then
  echo "FAILED: progress line" >&2
  cat -v "$work/terminal" "$work/stderr" >&2
  failed=1
fi
exit $failed
