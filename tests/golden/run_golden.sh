#!/usr/bin/env bash
# One golden case: runs the offline analyser on a capture and compares the four
# reports and what it printed with the expected files, byte for byte.
#
# usage: run_golden.sh PIPE REPLAY CAPTURE EXPECTED_DIR CONFIG_DIR|- [replay options...]
#
# PIPE TRUE: the capture comes through a pipe on standard input, as "-", its
# first byte alone a moment before the rest, as a slow writer gives it;
# FALSE: by its bare name, the analyser running in the capture's directory, so
# messages do not depend on where the tree lies.
#
# EXPECTED_DIR holds the reports and rates.txt, or rates.json for a run with
# --json; when present also setting.ini (the one the run leaves in the
# configuration directory), stderr.txt and status (the exit status; else 0).
# CONFIG_DIR holds setting.ini and/or safelist.txt for the run ("-": none, so
# the analyser writes the default setting.ini). Files given in CONFIG_DIR must
# come out of the run unchanged.
set -euo pipefail

pipe=$1 replay=$2 capture=$3 expected=$4 config=$5 name=$(basename "$3")
shift 5

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/config" "$work/out"
if [ "$config" != - ]; then cp "$config"/* "$work/config/"; fi
run() { "$replay" "$@" --config "$work/config" --out "$work/out" >"$work/rates" 2>"$work/stderr"; }

cd "$(dirname "$capture")"
status=0
feed() { head -c 1 "$name"; sleep 0.2; tail -c +2 "$name"; }
if [ "$pipe" = TRUE ]; then feed | run "$@" - || status=$?; else run "$@" "$name" || status=$?; fi

failed=0
if [ "$status" != "$(cat "$expected/status" 2>/dev/null || echo 0)" ]; then
  echo "kestrava-replay ended with status $status:" >&2
  cat "$work/stderr" >&2
  failed=1
fi
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
same "$expected/rates.$([[ " $* " = *" --json "* ]] && echo json || echo txt)" "$work/rates"
if [ -f "$expected/setting.ini" ]; then same "$expected/setting.ini" "$work/config/setting.ini"; fi
if [ -f "$expected/stderr.txt" ]; then same "$expected/stderr.txt" "$work/stderr"; fi
if [ "$config" != - ]; then
  for file in "$config"/*; do same "$file" "$work/config/$(basename "$file")"; done
fi
exit $failed
