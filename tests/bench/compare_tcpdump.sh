#!/usr/bin/env bash
# Times kestrava-replay against `tcpdump -r FILE -w /dev/null` (which only reads
# the file) on a 2-million-frame capture of one host's real traffic, side by
# side in one hyperfine run (and both reading a pipe), then prints the analyser's throughput and its peak
# memory on that file and on one a tenth its size (memory must not grow with
# the file). Prints figures only; it never fails on time.
#
# usage: tests/bench/compare_tcpdump.sh [BUILD_DIR] [CAPTURES_DIR]
# The captures are built into BUILD_DIR (default build/linux) on first use by
# make_big_capture.py from the real captures in CAPTURES_DIR.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build/linux}" && pwd)
captures=${2:-/work/shared/captures}
replay=$build/kestrava-replay
host=02:00:00:00:00:01 # the address make_big_capture.py gives the host

for frames in 2000000 200000; do
  file=$build/replay-bench-$frames.pcap
  if [ ! -f "$file" ]; then
    python3 "$here/make_big_capture.py" "$file" "$frames" "$captures"
  fi
done
big=$build/replay-bench-2000000.pcap
small=$build/replay-bench-200000.pcap

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

hyperfine --warmup 1 --runs 10 --export-json "$out/times.json" \
  -n tcpdump "tcpdump -r $big -w /dev/null" \
  -n "kestrava-replay --mac" "$replay --mac $host --out $out $big" \
  -n "kestrava-replay" "$replay --out $out $big" \
  -n "tcpdump -r - (pipe)" "cat $big | tcpdump -r - -w /dev/null" \
  -n "kestrava-replay - (pipe, --mac)" "cat $big | $replay --mac $host --out $out -"

python3 - "$out/times.json" "$(stat -c %s "$big")" <<'EOF'
import json, sys
results = json.load(open(sys.argv[1]))['results']
size = int(sys.argv[2])
print('\nThroughput on 2000000 frames, %.1f MB (mean of the runs):' % (size / 1e6))
for r in results:
    print('  %-32s %6.3f s  %5.2f M frames/s  %5.0f MB/s' %
          (r['command'], r['mean'], 2.0 / r['mean'], size / 1e6 / r['mean']))
EOF

echo
echo "Peak memory (maximum resident set size, /usr/bin/time -v):"
for file in "$small" "$big"; do
  for mac in "--mac $host" ""; do
    # shellcheck disable=SC2086 # $mac is one option and its value, or nothing
    kb=$(/usr/bin/time -v "$replay" $mac --out "$out" "$file" 2>&1 >/dev/null |
         sed -n 's/.*Maximum resident set size (kbytes): //p')
    printf '  %-26s %-20s %6s KiB\n' "$(basename "$file")" "${mac:-(no --mac)}" "$kb"
  done
done
kb=$(/usr/bin/time -v tcpdump -r "$big" -w /dev/null 2>&1 |
     sed -n 's/.*Maximum resident set size (kbytes): //p')
printf '  %-26s %-20s %6s KiB\n' "$(basename "$big")" "tcpdump -r" "$kb"
