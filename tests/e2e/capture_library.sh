#!/usr/bin/env bash
# The capture library check: a folder named wpcap.dll in the Npcap folder is no
# library ("Npcap not found."); once the real wpcap.dll is put there while the
# program runs, a later refresh finds it and clears the status text, so the next
# paint shows "No access." (the rates are hidden and nothing was captured) in the
# ICMP colour. Runs in a prefix of its own: the other scenarios need one
# without a capture library. Once found, the library opens a capture; so that
# it is the one network of a test network and never the machine's own, the
# program runs in the host namespace of the test network (live_lib.sh).
set -uo pipefail
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/live_lib.sh"

E2E_PREFIX=${E2E_PREFIX%/*}/wine-prefix-npcap
npcap=$E2E_PREFIX/drive_c/windows/system32/Npcap
rm -rf "$npcap" # what an interrupted earlier run may have left
e2e_setup capture-library
live_network kl3
e2e_install_app capture-library
wpcap=$LIVE_WPCAP
[ -f "$wpcap" ] || e2e_die "Wine's wpcap.dll is not at $wpcap"
mkdir -p "$npcap/wpcap.dll"

e2e_helper metrics || e2e_die "helper metrics failed"
cx=$(e2e_field cxfixedframe 1)
cy=$(e2e_field cyfixedframe 1)
e2e_launch
e2e_wait_window 20000
read -r left top right bottom <<<"$(e2e_field visible)"
width=$((right - left))
height=$((bottom - top))
e2e_expect_eq "visible height" $((2 * 18 + 10 - 2 * cy)) "$height"

sleep 1
e2e_screenshot folder
e2e_check_picture folder "$left" "$top" "$width" "$height" "0 255 0" "0 0 0" "255 192 128"

rm -rf "$npcap/wpcap.dll"
cp "$wpcap" "$npcap/wpcap.dll"
# A refresh runs every 800 ms without traffic; it finds the library and opens
# the capture but, with nothing new to show, does not repaint. A left click on
# the tray icon does.
live_wait_capture kl3h1
e2e_helper tray-click || e2e_fail "posting the tray click failed"
sleep 1
e2e_screenshot found
e2e_check_picture found "$left" "$top" "$width" "$height" "0 255 0" "0 0 0" "128 192 255"

# "No access." is centred on the first row: its text pixels lie away from the
# left edge where the status text began.
first_text_x=$(e2e_pixels found "$left" "$top" "$width" "$height" |
  awk '$3 == 128 && $4 == 192 && $5 == 255 { if (min == "" || $1 < min) min = $1 } END { print min }')
[ -n "$first_text_x" ] && [ "$first_text_x" -gt $((left + 40)) ] &&
  e2e_pass "No access. is centred (first text pixel at x $first_text_x)" ||
  e2e_fail "No access. is not centred (first text pixel at x '$first_text_x', left edge $left)"

e2e_stop
rm -rf "$npcap"
e2e_finish
