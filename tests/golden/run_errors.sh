#!/usr/bin/env bash
# The offline analyser's command line: --help, every input it must refuse
# with one line on standard error, a non-zero status and no report written,
# the choice of this host (first frames that mislead, a tie), and the
# progress line, shown only on a terminal.
#
# usage: run_errors.sh REPLAY GOOD_CAPTURE
set -uo pipefail

replay=$1 good=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/out" "$work/config"
touch "$work/a-file"
echo "not a capture" >"$work/text.pcap"
failed=0
fail() {
  echo "FAILED: $1" >&2
  cat -v "$work/stderr" >&2
  failed=1
}

# synthetic OUT LINKTYPE [SOURCE COUNT...]: a pcap of COUNT IPv4 UDP frames
# from each SOURCE in turn, all to 02:00:00:00:00:0c (58 bytes a frame).
synthetic() {
  python3 - "$@" <<'EOF'
import struct, sys
out, link, pairs = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
ip = bytes([0x45, 0, 0, 28, 0, 0, 0, 0, 64, 17, 0, 0, 10, 0, 0, 1, 10, 0, 0, 2])
udp = struct.pack('>HHHH', 1000, 2000, 8, 0)
with open(out, 'wb') as f:
    f.write(struct.pack('<IHHiIII', 0xa1b2c3d4, 2, 4, 0, 0, 65535, link))
    for source, count in zip(pairs[::2], pairs[1::2]):
        frame = bytes.fromhex('02000000000c' + source.replace(':', '')) + b'\x08\x00' + ip + udp
        f.write((struct.pack('<IIII', 0, 0, len(frame), len(frame)) + frame) * int(count))
EOF
}
synthetic "$work/raw-ip.pcap" 101 # raw IP, not Ethernet
synthetic "$work/empty.pcap" 1    # Ethernet, no frame
synthetic "$work/cooked.pcap" 113 # Linux cooked, no frame

# expect STATUS PATTERN ARGS...: the status, and one stderr line matching PATTERN.
expect() {
  local want=$1 pattern=$2
  shift 2
  rm -rf "$work/out"/*
  "$replay" "$@" >"$work/stdout" 2>"$work/stderr"
  local status=$?
  if [ "$status" -ne "$want" ] || { [ -n "$pattern" ] && ! grep -q -- "$pattern" "$work/stderr"; } ||
     { [ "$want" -ne 0 ] && [ "$(grep -c '' "$work/stderr")" -gt 2 ]; } ||
     { [ "$want" -ne 0 ] && [ -n "$(ls "$work/out")" ]; }; then
    fail "kestrava-replay $* -> status $status (want $want)"
  fi
}

c=(--config "$work/config" --out "$work/out")
expect 2 "malformed hardware address" --mac 02:77:00:00:00 "${c[@]}" "$good"
expect 2 "malformed hardware address" --mac 02:77:00:00:00:0g "${c[@]}" "$good"
expect 2 "malformed hardware address" --mac 02:77-00:00:00:01 "${c[@]}" "$good"
expect 2 "malformed hardware address" --mac 02.77.00.00.00.01 "${c[@]}" "$good"
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

# A report that cannot be created is named, and the run fails after the others.
for report in dns tcp icmp process; do
  rm -rf "$work/out"/* && mkdir "$work/out/$report.html"
  LC_ALL=C.UTF-8 "$replay" --mac 02:77:00:00:00:01 "${c[@]}" "$good" >/dev/null 2>"$work/stderr"
  [ $? = 1 ] && [ "$(ls "$work/out" | wc -l)" = 4 ] &&
    grep -qx "OPEN ERROR: $report.htmlファイルをオープンできませんでした。" "$work/stderr" ||
    fail "$report.html cannot be created"
done

# --help explains every option and exit status, and exits 0.
"$replay" --help >"$work/stderr" 2>&1 || fail "--help: status $?"
for text in --mac --config --out --json 1920x1080 '^  3  the capture is damaged'; do
  grep -q -- "$text" "$work/stderr" || fail "--help without $text"
done

# An empty capture with --mac is fine: empty reports, every rate 0 %.
expect 0 "" --mac 02:77:00:00:00:01 "${c[@]}" "$work/empty.pcap"
if [ "$(cat "$work/stdout")" != $'DNS   0%\nTCP   0%\nICMP   0%' ] ||
   [ "$(ls "$work/out" | tr '\n' ' ')" != "dns.html icmp.html process.html tcp.html " ]; then
  fail "empty capture with --mac"
fi

# This host is guessed from the first 10000 frames; when the whole capture has
# another busiest source, it is analysed again with that one: here only its
# 10001 frames are outgoing, the first 10000 are between other hosts.
synthetic "$work/two.pcap" 1 02:00:00:00:00:0a 10000 02:00:00:00:00:0b 10001
expect 0 "this host is 02:00:00:00:00:0b (the source of 10001 of 20001 frames)" \
  --json "${c[@]}" "$work/two.pcap"
grep -q '"frames":{"read":20001,"analysed":10001}' "$work/stdout" ||
  fail "the busiest source of the whole capture"
# Of sources seen equally often the first seen is this host.
synthetic "$work/tie.pcap" 1 02:00:00:00:00:0a 3 02:00:00:00:00:0b 3
expect 0 "this host is 02:00:00:00:00:0a (the source of 3 of 6 frames)" "${c[@]}" "$work/tie.pcap"

# A stream of 5000 frames that stalls for 2.5 s after 3448 of them: on a
# terminal a progress line shows at frame 4096 and is wiped before the rates;
# with standard error a file, nothing but the rates comes out.
synthetic "$work/many.pcap" 1 02:77:00:00:00:01 5000
stream="(head -c 200000 $work/many.pcap; sleep 2.5; tail -c +200001 $work/many.pcap) |
  $replay --mac 02:77:00:00:00:01 ${c[*]} -"
script -qec "$stream" /dev/null </dev/null >"$work/terminal" &
bash -c "$stream" >"$work/stdout" 2>"$work/stderr"
wait
if ! grep -aq $'\ranalysing standard input: 4096 frames, 0.2 MB\e\[K' "$work/terminal" ||
   ! grep -aq $'\r\e\[KDNS   0%' "$work/terminal" || [ -s "$work/stderr" ] ||
   [ "$(cat "$work/stdout")" != $'DNS   0%\nTCP   0%\nICMP   0%' ]; then
  cat -v "$work/terminal" >&2
  fail "progress line"
fi
exit $failed
