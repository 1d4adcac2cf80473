#!/usr/bin/env bash
# One golden case: runs the offline analyser on a capture and compares the four
# reports and the printed rates with the expected files, byte for byte.
#
# usage: run_golden.sh REPLAY CAPTURE EXPECTED_DIR CONFIG_DIR|- [replay options...]
#
# CONFIG_DIR holds setting.ini and/or safelist.txt for the run ("-": none, so
# the analyser writes the default setting.ini, which is then compared with
# EXPECTED_DIR/setting.ini when that exists). Files given in CONFIG_DIR must
# come out of the run unchanged.
set -euo pipefail

replay=$1 capture=$2 expected=$3 config=$4
shift 4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/config" "$work/out"
if [ "$config" != - ]; then
  cp "$config"/* "$work/config/"
fi

if ! "$replay" "$@" --config "$work/config" --out "$work/out" "$capture" \
     >"$work/rates.txt" 2>"$work/stderr.txt"; then
  echo "kestrava-replay failed:" >&2
  cat "$work/stderr.txt" >&2
  exit 1
fi

failed=0
same() { # expected actual
  if ! cmp -s "$1" "$2"; then
    echo "MISMATCH: $2 differs from $1" >&2
    diff <(iconv -f CP932 -t UTF-8 "$1" | sed 's/\r$//') \
         <(iconv -f CP932 -t UTF-8 "$2" | sed 's/\r$//') >&2 || true
    failed=1
  fi
}

for report in dns.html tcp.html icmp.html process.html; do
  same "$expected/$report" "$work/out/$report"
done
same "$expected/rates.txt" "$work/rates.txt"
if [ -f "$expected/setting.ini" ]; then
  same "$expected/setting.ini" "$work/config/setting.ini"
fi
if [ "$config" != - ]; then
  for file in "$config"/*; do
    same "$file" "$work/config/$(basename "$file")"
  done
fi
exit $failed
