#!/usr/bin/env bash
# Builds Kestrava's native flavour and runs the offline analyser on the bundled
# workstation capture: prints the three rates and writes the four reports into
# build/reports/. setting.ini and safelist.txt are read from (or, for
# setting.ini, written to) build/linux/, beside the analyser.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset linux
cmake --build --preset linux

reports=build/reports
mkdir -p "$reports"
echo
echo "Rates of tests/data/workstation-scenario.pcap (this host: 02:77:00:00:00:01):"
build/linux/kestrava-replay --mac 02:77:00:00:00:01 --out "$reports" \
  tests/data/workstation-scenario.pcap
echo
echo "Reports (code page 932) written to $(pwd)/$reports:"
for report in dns.html tcp.html icmp.html process.html; do
  echo "  $reports/$report"
done
