#!/usr/bin/env bash
# The settings dialog, driven the way a user's actions arrive: it opens with
# the settings (the Shift_JIS faces without the vertical ones, the background
# as the colour being edited), its bars and colour targets change only the
# preview, OK puts a bigger bold font, new colours, the lowest opacity and
# "not topmost" into setting.ini and onto the overlay, Cancel after changes
# leaves both alone. Kestrava.exe runs with the relay trace of its GDI calls:
# neither 20 previews nor 20 openings leave a GDI object behind.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

e2e_setup settings-dialog
e2e_install_app settings-dialog
ini=$E2E_APP_DIR/setting.ini

e2e_helper metrics || e2e_die "helper metrics failed"
cx=$(e2e_field cxfixedframe 1)
cy=$(e2e_field cyfixedframe 1)

# text_width HEIGHT WEIGHT FACE TEXT: the width of TEXT in the overlay's font.
text_width() {
  e2e_helper text-width "$1" "$2" "$(e2e_hex "$3")" "$4" || e2e_die "helper text-width failed"
  e2e_field width 1
}
ipv6_sample="FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF"
status_text="Npcap not found."

# The faces the list must hold: what the system enumerates for Shift_JIS, in
# its order, without the "@" faces (hex 40).
e2e_helper fonts || e2e_die "helper fonts failed"
expected_faces=$(awk '$1 == "face" && $2 !~ /^40/ { print $2 }' "$E2E_WORK/helper.out")
grep -q '^face 40' "$E2E_WORK/helper.out" || e2e_log "note: the system lists no @ face"
[ -n "$expected_faces" ] || e2e_die "the system lists no Shift_JIS face"

# check_state WHAT "PREFIX=VALUE"...: lines of the last dialog-state.
check_state() {
  local what=$1 pair
  shift
  for pair in "$@"; do
    e2e_expect_eq "$what: ${pair%%=*}" "${pair#*=}" "$(e2e_line "${pair%%=*}")"
  done
}

# The dialog's preview: previewRect (320, 210)-(400, 260) of its client area.
preview_at() {
  local client
  client=$(e2e_line "client 0")
  preview_left=$(($(cut -d' ' -f1 <<<"$client") + 320))
  preview_top=$(($(cut -d' ' -f2 <<<"$client") + 210))
}

# check_preview SHOT FRAME BACKGROUND: once the frame shows, the preview with
# the labels in the default DNS, TCP and ICMP colours.
check_preview() {
  e2e_screenshot_when "$1" "$preview_left" "$preview_top" "$2"
  e2e_check_preview "$1" "$preview_left" "$preview_top" "$2" "$3" "255 192 128" "255 255 0" "128 192 255"
}

# ---- Start: defaults, the picture before ----------------------------------------
e2e_launch_gdi_traced
e2e_wait_window 20000
left=$((E2E_SCREEN_WIDTH / 2))
outer_width=$(($(text_width 18 400 "ＭＳ Ｐゴシック" "$ipv6_sample") + 20))
visible_width=$((outer_width - 2 * cx))
visible_height=$((2 * 18 + 10 - 2 * cy))
e2e_helper sync
e2e_screenshot_when overlay-before "$left" 0 "0 255 0"
e2e_check_picture overlay-before "$left" 0 "$visible_width" "$visible_height" "0 255 0" "0 0 0" "255 192 128"
status_width_before=$(text_width 18 400 "ＭＳ Ｐゴシック" "$status_text")
ink_before=$(e2e_ink_box overlay-before "$left" 0 "$visible_width" "$visible_height" "0 0 0")
# The count sees the program's own objects: 4 surfaces with their bitmaps, 2
# fonts, 2 pens and 4 brushes (beside what the system's libraries keep).
e2e_gdi_live >"$E2E_WORK/gdi-start.txt"
gdi_start=$(wc -l <"$E2E_WORK/gdi-start.txt")
e2e_expect_eq "drawing objects after start-up" \
  "4 CreateCompatibleBitmap 4 CreateCompatibleDC 2 CreateFontA 2 CreatePen 4 CreateSolidBrush" \
  "$(grep -o -E 'gdi32[.](CreateCompatible(DC|Bitmap)|CreateFontA|CreatePen|CreateSolidBrush)' \
    "$E2E_WORK/gdi-start.txt" | sort | uniq -c | sed 's/gdi32[.]//' | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')"

# ---- Opening: the controls show the settings ------------------------------------
e2e_helper command 40020
e2e_helper wait-dialog 10000 || e2e_die "no settings dialog after command 40020"
e2e_helper dialog-state
cp "$E2E_WORK/helper.out" "$E2E_WORK/dialog-open.txt"
e2e_expect_eq "caption" "$(e2e_hex "設定")" "$(e2e_field caption)"
for label in "-1:フォント" "1018:太字" "-1:サイズ" "-1:ウィンドウ" "1020:常に手前に表示" "-1:透明" \
  "-1:不透明" "1023:2行でプロセス名を表示する。" "1024:エラー率を表示しない。" "-1:カラー" "1008:背景" \
  "1009:DNS" "1010:TCP" "1012:ICMP" "1011:IPv4枠" "1013:IPv6枠" "-1:DNS" \
  "1022:ドットを含まない名前はエラーとしてカウントしない。" "1:OK" "2:Cancel"; do
  grep -q "^control ${label%%:*} [A-Za-z]* text $(e2e_hex "${label#*:}")\$" "$E2E_WORK/helper.out" &&
    e2e_pass "control ${label%%:*} \"${label#*:}\"" || e2e_fail "no control ${label%%:*} \"${label#*:}\""
done
check_state "opened" "check 1018=0" "check 1020=1" "check 1022=0" "check 1023=1" "check 1024=1" \
  "check 1008=1" "check 1009=0" "check 1010=0" "check 1012=0" "check 1011=0" "check 1013=0" \
  "value 1015=$(e2e_hex "R 0")" "value 1016=$(e2e_hex "G 0")" "value 1017=$(e2e_hex "B 0")" \
  "bar 1005=0 0 255" "bar 1006=0 0 255" "bar 1007=0 0 255" "bar 1021=255 1 255" \
  "value 1019=$(e2e_hex 18)" "updown 111=18 6 256 1019"
actual_faces=$(awk '$1 == "item" && $2 == 1002 { print $3 }' "$E2E_WORK/helper.out")
e2e_expect_eq "font list (the Shift_JIS faces without @)" "$(tr '\n' ' ' <<<"$expected_faces")" \
  "$(tr '\n' ' ' <<<"$actual_faces")"
default_index=$(grep -n -x "$(e2e_hex "ＭＳ Ｐゴシック")" <<<"$expected_faces" | head -1 | cut -d: -f1)
e2e_expect_eq "selected face" "$((default_index - 1))" "$(e2e_line "selected 1002")"
preview_at
check_preview dialog-open "0 255 0" "0 0 0"

# ---- 20 previews hold no GDI object ---------------------------------------------
# The red bar one step right 20 times, each followed by a repaint of the preview.
gdi_open=$(e2e_gdi_count)
mark=$(e2e_gdi_mark)
e2e_helper scroll 1005 1 0 20
previews=$(e2e_gdi_calls "$mark" "gdi32.CreatePen(")
[ "$previews" -ge 20 ] && e2e_pass "$previews previews painted" || e2e_fail "only $previews previews painted"
e2e_expect_eq "GDI objects after 20 previews" "$gdi_open" "$(e2e_gdi_count)"

# ---- Colours, opacity, font and options ------------------------------------------
e2e_helper scroll 1007 3 0 6  # blue page right 6 times: 96
e2e_helper scroll 1006 2 0 1  # green page left at 0: stays 0
e2e_helper dialog-state
check_state "background" "value 1015=$(e2e_hex "R 20")" "value 1016=$(e2e_hex "G 0")" \
  "value 1017=$(e2e_hex "B 96")" "bar 1005=20 0 255" "bar 1006=0 0 255" "bar 1007=96 0 255"

e2e_helper click 1013
e2e_helper scroll 1006 5 128 1 # the green thumb dragged to 128
e2e_helper dialog-state
check_state "IPv6 frame" "check 1013=1" "check 1008=0" "value 1015=$(e2e_hex "R 255")" \
  "value 1016=$(e2e_hex "G 128")" "value 1017=$(e2e_hex "B 255")" "bar 1005=255 0 255" "bar 1006=128 0 255"
check_preview preview-ipv6 "255 128 255" "20 0 96"

e2e_helper click 1011
e2e_helper scroll 1006 3 0 1   # green page right at 255: stays 255
e2e_helper scroll 1005 4 200 1 # red thumb released at 200
e2e_helper scroll 1021 2 0 20  # opacity page left 20 times from 255: 1, not below
e2e_helper scroll 1021 0 0 1
e2e_helper dialog-state
check_state "IPv4 frame and opacity" "check 1011=1" "check 1013=0" "value 1015=$(e2e_hex "R 200")" \
  "value 1016=$(e2e_hex "G 255")" "value 1017=$(e2e_hex "B 0")" "bar 1006=255 0 255" "bar 1021=1 1 255"
check_preview preview-ipv4 "200 255 0" "20 0 96"

new_face="ＭＳ ゴシック"
face_index=$(grep -n -x "$(e2e_hex "$new_face")" <<<"$expected_faces" | head -1 | cut -d: -f1)
[ -n "$face_index" ] || e2e_die "the system has no face $new_face"
e2e_helper select 1002 $((face_index - 1))
e2e_helper set-text 1019 "$(e2e_hex 30)"
for box in 1018 1020 1022 1024; do e2e_helper click $box; done
# A second settings command while the dialog is open opens nothing.
e2e_helper command 40020
sleep 0.5
e2e_helper dialog-state
check_state "choices" "check 1018=1" "check 1020=0" "check 1022=1" "check 1024=0" "check 1023=1" \
  "value 1002=$(e2e_hex "$new_face")" "value 1019=$(e2e_hex 30)" "dialogs=1"
e2e_screenshot dialog-changed
e2e_helper click 1
e2e_helper wait-dialog 0 && e2e_fail "the dialog is still open after OK"

# ---- After OK: setting.ini, the window, its picture and its GDI objects ---------
e2e_helper sync
outer_width=$(($(text_width 30 700 "$new_face" "$ipv6_sample") + 20))
visible_width=$((outer_width - 2 * cx))
visible_height=$((2 * 30 + 10 - 2 * cy))
# The wider window still fits to the right of its place.
after_ok=(winX=$left wintop=0 fsize=30 "fontface=$new_face" ftype=700 toumeido=1 backR=20 backB=96
  rectR=200 rect2G=128 dnsdot=1 notdisperr=0)
e2e_ini_file "$E2E_WORK/expected-ok.ini" "${after_ok[@]}"
e2e_expect_file "setting.ini after OK" "$E2E_WORK/expected-ok.ini" "$ini"
e2e_helper info
e2e_expect_eq "visible area after OK" "$left 0 $((left + visible_width)) $visible_height" "$(e2e_field visible)"
e2e_expect_eq "topmost after OK" 0 "$(e2e_field topmost)"
e2e_expect_eq "opacity after OK" "alpha 1 flags 2" "$(e2e_field layered)"
e2e_screenshot_when overlay-after "$left" 0 "200 255 0"
e2e_check_picture overlay-after "$left" 0 "$visible_width" "$visible_height" "200 255 0" "20 0 96" "255 192 128"

# The status text in the new font: it starts at x 5 and ends where its width
# says (less the last glyph's right bearing); the old one ended far sooner.
status_width=$(text_width 30 700 "$new_face" "$status_text")
read -r _ ink_top ink_right ink_bottom <<<"$(e2e_ink_box overlay-after "$left" 0 "$visible_width" "$visible_height" "20 0 96")"
read -r _ _ ink_right_before _ <<<"$ink_before"
span_ok() { [ "$1" -le $((5 + $2)) ] && [ "$1" -ge $((5 + $2 - 10)) ]; }
span_ok "$ink_right_before" "$status_width_before" && span_ok "$ink_right" "$status_width" &&
  e2e_pass "status text ends at x $ink_right (font width $status_width; before: $ink_right_before of $status_width_before)" ||
  e2e_fail "status text ends at x $ink_right for width $status_width, before at $ink_right_before for $status_width_before"
[ "$ink_top" -ge 3 ] && [ "$ink_bottom" -le $((3 + 30)) ] && [ $((ink_bottom - ink_top)) -ge 15 ] &&
  e2e_pass "status text rows $ink_top to $ink_bottom in the 30-pixel font" ||
  e2e_fail "status text rows $ink_top to $ink_bottom do not fit the 30-pixel font at y 3"

# OK replaced the font, pens and brushes one for one; the ones the overlay
# holds are made from the new values (an IPv6 event would draw its frame with
# the pen of 255, 128, 255).
e2e_gdi_live >"$E2E_WORK/gdi-after-ok.txt"
e2e_expect_eq "GDI objects after OK" "$gdi_start" "$(wc -l <"$E2E_WORK/gdi-after-ok.txt")"
for made in "CreatePen(00000000,00000001,00ff80ff)" "CreatePen(00000000,00000001,0000ffc8)" \
  "CreateSolidBrush(00600014)" "CreateFontA(0000001e,00000000,00000000,00000000,000002bc,"; do
  grep -q -F "gdi32.$made" "$E2E_WORK/gdi-after-ok.txt" && e2e_pass "the overlay holds $made" ||
    e2e_fail "the overlay holds no $made"
done

# ---- 20 openings hold no GDI object; OK untouched rewrites the same file ---------
mark=$(e2e_gdi_mark)
e2e_helper open-close 10 1 && e2e_helper open-close 10 2 ||
  e2e_fail "open and close 20 times: $(cat "$E2E_WORK/helper.out")"
e2e_expect_eq "GDI objects after 20 openings" "$gdi_start" "$(e2e_gdi_count)"
e2e_expect_eq "main fonts made by 10 times OK" 10 "$(e2e_gdi_calls "$mark" "gdi32.CreateFontA(")"
e2e_expect_file "setting.ini after OK and Cancel untouched" "$E2E_WORK/expected-ok.ini" "$ini"

# ---- Cancel after changes ---------------------------------------------------------
e2e_helper command 40020
e2e_helper wait-dialog 10000 || e2e_die "no settings dialog for Cancel"
e2e_helper scroll 1005 5 255 1
e2e_helper set-text 1019 "$(e2e_hex 12)"
for box in 1018 1020 1023; do e2e_helper click $box; done
e2e_helper click 2
e2e_helper sync
e2e_expect_file "setting.ini after Cancel" "$E2E_WORK/expected-ok.ini" "$ini"
e2e_helper info
e2e_expect_eq "visible area after Cancel" "$left 0 $((left + visible_width)) $visible_height" "$(e2e_field visible)"
e2e_expect_eq "topmost after Cancel" 0 "$(e2e_field topmost)"
e2e_screenshot_when overlay-cancel "$left" 0 "200 255 0"
e2e_check_picture overlay-cancel "$left" 0 "$visible_width" "$visible_height" "200 255 0" "20 0 96" "255 192 128"

e2e_stop
e2e_expect_file "setting.ini after exit" "$E2E_WORK/expected-ok.ini" "$ini"
e2e_log "screenshots: $E2E_WORK/{overlay-before,dialog-open,preview-ipv6,preview-ipv4,dialog-changed,overlay-after,overlay-cancel}.png"

e2e_finish
