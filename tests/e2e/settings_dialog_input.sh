#!/usr/bin/env bash
# Bad input in the settings dialog ends in the values the settings allow: a
# face in setting.ini that no installed font has (the list shows its first
# entry, the face stays), OK with nothing picked in the list, bars dragged with
# the mouse past their ends, a forged thumb position, the up-down arrows at the
# ends of their range, and sizes typed or pasted into the size box that are too
# small, too big, very long or no number at all.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

e2e_setup settings-dialog-input
e2e_install_app settings-dialog-input
ini=$E2E_APP_DIR/setting.ini
missing_face="Kestrava Missing Face"
e2e_ini_file "$ini" "fontface=$missing_face"

e2e_helper metrics || e2e_die "helper metrics failed"
cy=$(e2e_field cyfixedframe 1)

# open_dialog: the settings command, then the dialog's state in helper.out.
open_dialog() {
  e2e_helper command 40020
  e2e_helper wait-dialog 10000 || e2e_die "no settings dialog after command 40020"
  e2e_helper dialog-state
}

# rect_of ID: the control's screen rectangle "left top right bottom".
rect_of() {
  e2e_helper dialog-state
  e2e_line "rect $1"
}

# drag_thumb BAR low|high: drags the thumb of a horizontal bar that stands at
# the low or the high end of its range (the square beside its left or right
# arrow) with the left button to 20 pixels past the bar's other end. (Much
# farther away the system puts the thumb back where the drag began.)
drag_thumb() {
  local l t r b
  read -r l t r b <<<"$(rect_of "$1")"
  local h=$((b - t)) y=$(((t + b) / 2)) from to step
  if [ "$2" == low ]; then
    from=$((l + h + h / 2)) to=$((r + 20))
  else
    from=$((r - h - h / 2)) to=$((l - 20))
  fi
  xdotool mousemove "$from" "$y" sleep 0.2 mousedown 1 sleep 0.2
  for step in $(seq 8); do
    xdotool mousemove $((from + step * (to - from) / 8)) "$y" sleep 0.05
  done
  xdotool sleep 0.2 mouseup 1 sleep 0.2
}

# click_arrow up|down: one click on an arrow of the size box's up-down control.
click_arrow() {
  local l t r b
  read -r l t r b <<<"$(rect_of 111)"
  local y=$((t + (b - t) / 4))
  [ "$1" == down ] && y=$((b - (b - t) / 4 - 1))
  xdotool mousemove $(((l + r) / 2)) "$y" sleep 0.1 click 1 sleep 0.3
}

# ok_with_size HEX [N]: the size box gets the text (N times over), then OK;
# the command saves before the helper's sync returns.
ok_with_size() {
  e2e_helper set-text 1019 "$@"
  e2e_helper click 1
  e2e_helper sync
}

expect_saved() {
  e2e_ini_file "$E2E_WORK/expected.ini" "$@"
  e2e_expect_file "setting.ini with ${*: -1}" "$E2E_WORK/expected.ini" "$ini"
}

e2e_launch
e2e_wait_window 20000

# A face nobody has: entry 0 is shown; picking nothing keeps the face.
open_dialog
first_face=$(awk '$1 == "item" && $2 == 1002 { print $3; exit }' "$E2E_WORK/helper.out")
e2e_expect_eq "entry shown for a missing face" "0 $first_face" \
  "$(e2e_line "selected 1002") $(e2e_line "value 1002")"
e2e_helper select 1002 -1
# The red bar dragged from 0 past its right end, the opacity bar from 255 past
# its left end, a thumb position beyond the range forged for green.
drag_thumb 1005 low
drag_thumb 1021 high
e2e_helper scroll 1006 5 300 1
e2e_helper dialog-state
e2e_expect_eq "nothing picked in the list" "-1 -" "$(e2e_line "selected 1002") $(e2e_line "value 1002")"
e2e_expect_eq "red bar dragged past its end" "255 0 255 $(e2e_hex "R 255")" \
  "$(e2e_line "bar 1005") $(e2e_line "value 1015")"
e2e_expect_eq "green thumb forged at 300" "255 0 255 $(e2e_hex "G 255")" \
  "$(e2e_line "bar 1006") $(e2e_line "value 1016")"
e2e_expect_eq "opacity bar dragged past its end" "1 1 255" "$(e2e_line "bar 1021")"
ok_with_size "$(e2e_hex 3)"
saved=("fontface=$missing_face" backR=255 backG=255 toumeido=1)
expect_saved "${saved[@]}" fsize=6
e2e_helper info
e2e_expect_eq "outer height with size 6" $((2 * 6 + 10)) \
  $(($(e2e_field rect 4) - $(e2e_field rect 2)))

# The arrows stay within 6 to 256.
open_dialog
e2e_expect_eq "size box and up-down at 6" "$(e2e_hex 6) 6 6 256 1019" \
  "$(e2e_line "value 1019") $(e2e_line "updown 111")"
click_arrow down
e2e_helper dialog-state
e2e_expect_eq "down arrow at 6" "$(e2e_hex 6)" "$(e2e_line "value 1019")"
click_arrow up
e2e_helper dialog-state
e2e_expect_eq "up arrow from 6" "$(e2e_hex 7)" "$(e2e_line "value 1019")"
ok_with_size "$(e2e_hex 300)"
expect_saved "${saved[@]}" fsize=256
# A font that big makes the window as wide as the screen: the layout after the
# save pulls it to x 0, which the next save writes.
saved+=(winX=0)
e2e_helper info
e2e_expect_eq "outer height with size 256" $((2 * 256 + 10)) \
  $(($(e2e_field rect 4) - $(e2e_field rect 2)))

open_dialog
click_arrow up
e2e_helper dialog-state
e2e_expect_eq "up arrow at 256" "$(e2e_hex 256)" "$(e2e_line "value 1019")"
# 5000 nines: more than any int holds, so the box reads as no number.
ok_with_size "$(e2e_hex 9)" 5000
expect_saved "${saved[@]}" fsize=6

# Reading stops at the first character that is no digit.
open_dialog
ok_with_size "$(e2e_hex "40px")"
expect_saved "${saved[@]}" fsize=40

open_dialog
ok_with_size "$(e2e_hex "abc")"
expect_saved "${saved[@]}" fsize=6

e2e_stop
expect_saved "${saved[@]}" fsize=6

e2e_finish
