#!/usr/bin/env bash
# The window, its menu and the settings dialog, in two starts of Kestrava.exe
# without a capture library (the status text "Npcap not found."):
#   1. A first start in an empty folder, its GDI calls traced: setting.ini, the
#      window and its picture, the version box, the four reports, the reset
#      answered No, the settings dialog (bars, colour targets, OK), no GDI
#      object left by previews, OK or openings; a drag.
#   2. A hand-written setting.ini (keys in another order, one in capitals,
#      colours out of range, a face no font has); bad input in the settings
#      dialog, Cancel, sizes out of range; the reset answered Yes; exit through
#      the tray icon's menu.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

e2e_setup window
ini=$E2E_APP_DIR/setting.ini
ipv6=FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF status="Npcap not found."
face="ＭＳ Ｐゴシック" new_face="ＭＳ ゴシック" missing_face="Kestrava Missing Face"
# the widest address's width in the default font, the font OK chooses, a face no font has
read -r -d '' normal bold missing < <(e2e_text_widths 18 400 "$face" "$ipv6" + text 30 700 "$new_face" "$ipv6" \
  + text 30 700 "$missing_face" "$ipv6")

# area LEFT TOP SAMPLE_WIDTH FONT_SIZE ROWS: the visible area of a window at
# LEFT,TOP: as wide as the widest IPv6 address text plus 20, less the frame
area() { echo "$1 $2 $(($1 + $3 + 20 - 2 * cx)) $(($2 + $5 * $4 + 10 - 2 * cy))"; }
expect_window() { # WHAT AREA TOPMOST ALPHA, after e2e_window
  e2e_expect_eq "window $1: area, topmost, opacity" "$2 $3 alpha $4 flags 2" \
    "$E2E_VISIBLE $(e2e_get topmost) $(e2e_get layered)"
}
saved() { # KEY=VALUE...: setting.ini is that of a first start on this screen with these values
  local pair edits=(-e '')
  for pair in "$@"; do edits+=(-e "s|^${pair%%=*}=.*|$pair|"); done
  sed "${edits[@]}" "$E2E_DIR/expected/setting.ini" | e2e_cp932 >"$E2E_WORK/expected.ini"
  e2e_expect_file "setting.ini with ${*:-the defaults}" "$E2E_WORK/expected.ini" "$ini"
}
state() { # WHAT "PREFIX=VALUE"...: lines of the dialog's state (helper dialog)
  local what=$1 pair want= got=
  shift
  for pair in "$@"; do want+="${pair#*=}; " got+="$(e2e_get "${pair%%=*}"); "; done
  e2e_expect_eq "$what (${*%%=*})" "$want" "$got"
}
settings() { # the settings command, then VERBS... of the helper; the dialog's state in helper.out
  e2e_helper command 40020 + dialog 10000 設定 "$@" || e2e_die "no settings dialog, or $* failed"
}
index_of() { echo $(($(grep -nx "$(e2e_hex "$1")" <<<"$faces" | cut -d: -f1) - 1)); } # FACE in the font list

# ---- 1. First start --------------------------------------------------------------
e2e_launch gdi
e2e_window 30000
read -r cx cy <<<"$(e2e_get frame)"
left=$((E2E_SCREEN_WIDTH / 2))
e2e_expect_eq "window title" "$(e2e_hex Kestrava)" "$(e2e_get title)"
# the system adds WS_VISIBLE and WS_CLIPSIBLINGS, WS_EX_WINDOWEDGE and WS_EX_TOPMOST
e2e_expect_eq "style and extended style" "0x80480000 0x00080080" \
  "$(printf '0x%08x 0x%08x' $(($(e2e_get style) & ~0x14000000)) $(($(e2e_get exstyle) & ~0x108)))"
expect_window "at the first start" "$(area "$left" 0 "$normal" 18 2)" 1 255
saved
e2e_until 10 e2e_shows first "$left" 0 "0 255 0"
e2e_check_picture first "$E2E_VISIBLE" "255 255 255" "0 255 0" "0 0 0" "0=255 192 128"
e2e_check_text first "255 192 128" "18 400 $face" "$status" $((left + 5)) 3
# what start-up made, beside what the system's libraries keep
e2e_gdi_live >"$E2E_WORK/gdi-start.txt"
gdi_start=$(wc -l <"$E2E_WORK/gdi-start.txt")
e2e_expect_eq "drawing objects after start-up" \
  "4 CreateCompatibleBitmap 4 CreateCompatibleDC 2 CreateFontA 2 CreatePen 4 CreateSolidBrush" \
  "$(grep -oE 'CreateCompatible(DC|Bitmap)|CreateFontA|CreatePen|CreateSolidBrush' "$E2E_WORK/gdi-start.txt" |
    sort | uniq -c | xargs)"

e2e_helper command 40002
e2e_dialog "version box" バージョン "-1:Kestrava Ver.2.30" "1:OK" &&
  e2e_check "version box closed with OK" e2e_helper press 1

# The four reports of empty tables, beside the program and opened; the first
# item of the menu that a right click on the window opens is the process report.
for kind in process tcp dns icmp; do
  if [ $kind == process ]; then e2e_report $kind e2e_menu "the window" $((left + 60)) 20 first; else e2e_report $kind; fi
  e2e_expected_report $kind "$E2E_WORK/expected-$kind.html" empty
  e2e_expect_file "$kind.html" "$E2E_WORK/expected-$kind.html" "$E2E_APP_DIR/$kind.html"
  opened=$(head -1 "$E2E_PREFIX/opened.txt")
  e2e_expect_eq "address opened" "$(realpath "$E2E_APP_DIR/$kind.html")" "$(realpath -m "${opened#file://}")"
done

e2e_helper command 40032
e2e_dialog "reset question" ネットワーク選択リセット \
  ":現在のネットワーク選択をリセットしますか？"$'\r\n'"（WiFiと有線など、複数の有効なネットワークがある場合のみ。）" &&
  e2e_check "reset question answered No" e2e_helper press 7
e2e_helper dialog 500 && e2e_fail "a box followed the answer No"

# The settings dialog: its texts and the settings in its controls; the faces
# are those the system lists for Shift_JIS, without the "@" ones.
e2e_helper fonts || e2e_die "helper fonts failed"
faces=$(awk '$1 == "face" && $2 !~ /^40/ { print $2 }' "$E2E_WORK/helper.out")
e2e_helper command 40020
e2e_dialog "settings dialog" 設定 -1:フォント 1018:太字 -1:サイズ -1:ウィンドウ 1020:常に手前に表示 -1:透明 \
  -1:不透明 1023:2行でプロセス名を表示する。 1024:エラー率を表示しない。 -1:カラー 1008:背景 1009:DNS 1010:TCP \
  1012:ICMP 1011:IPv4枠 1013:IPv6枠 -1:DNS 1022:ドットを含まない名前はエラーとしてカウントしない。 1:OK 2:Cancel
state "opened" "check 1018=0" "check 1020=1" "check 1022=0" "check 1023=1" "check 1024=1" \
  "check 1008=1" "check 1009=0" "check 1010=0" "check 1012=0" "check 1011=0" "check 1013=0" \
  "value 1015=$(e2e_hex "R 0")" "value 1016=$(e2e_hex "G 0")" "value 1017=$(e2e_hex "B 0")" \
  "bar 1005=0 0 255" "bar 1006=0 0 255" "bar 1007=0 0 255" "bar 1021=255 1 255" \
  "value 1019=$(e2e_hex 18)" "updown 111=18 6 256 1019" \
  "selected 1002=$(index_of "$face")"
e2e_expect_eq "font list" "$(xargs <<<"$faces")" "$(awk '$1 == "item" && $2 == 1002 { print $3 }' \
  "$E2E_WORK/helper.out" | xargs)"
# the preview: (320, 210)-(400, 260) of the client area, the labels in the
# default DNS, TCP and ICMP colours
preview="$(($(e2e_get client 1) + 320)) $(($(e2e_get client 2) + 210))"
preview+=" $((${preview% *} + 80)) $((${preview#* } + 50))"
check_preview() { # SHOT FRAME BACKGROUND
  e2e_until 10 e2e_shows "$1" ${preview% * *} "$2"
  e2e_check_picture "$1" "$preview" - "$2" "$3" "0=255 192 128;20=255 255 0;36=128 192 255"
}

gdi_open=$(e2e_gdi_live | wc -l)
mark=$(e2e_gdi_mark)
e2e_helper scroll 1005 1 0 20 # the red bar a step right, and a repaint, 20 times
e2e_check "20 previews painted" [ "$(e2e_gdi_calls "$mark" "gdi32.CreatePen(")" -ge 20 ]
e2e_expect_eq "GDI objects after 20 previews" "$gdi_open" "$(e2e_gdi_live | wc -l)"

# blue a page right 6 times: 96; green a page left at 0: stays 0
e2e_helper scroll 1007 3 0 6 + scroll 1006 2 0 1 + dialog 0
state "background" "value 1015=$(e2e_hex "R 20")" "value 1016=$(e2e_hex "G 0")" \
  "value 1017=$(e2e_hex "B 96")" "bar 1005=20 0 255" "bar 1006=0 0 255" "bar 1007=96 0 255"
e2e_helper click 1013 + scroll 1006 5 128 1 + dialog 0 # the green thumb dragged to 128
state "IPv6 frame" "check 1013=1" "check 1008=0" "value 1015=$(e2e_hex "R 255")" \
  "value 1016=$(e2e_hex "G 128")" "value 1017=$(e2e_hex "B 255")" "bar 1005=255 0 255" "bar 1006=128 0 255"
check_preview preview-ipv6 "255 128 255" "20 0 96"
# green a page right at 255: stays 255; the red thumb released at 200; the
# opacity a page left 20 times from 255, and a line: 1, not below
e2e_helper click 1011 + scroll 1006 3 0 1 + scroll 1005 4 200 1 + scroll 1021 2 0 20 + scroll 1021 0 0 1 + dialog 0
state "IPv4 frame and opacity" "check 1011=1" "check 1013=0" "value 1015=$(e2e_hex "R 200")" \
  "value 1016=$(e2e_hex "G 255")" "value 1017=$(e2e_hex "B 0")" "bar 1006=255 0 255" "bar 1021=1 1 255"
check_preview preview-ipv4 "200 255 0" "20 0 96"
e2e_helper select 1002 "$(index_of "$new_face")" + set-text 1019 30 + click 1018 + click 1020 + \
  click 1022 + click 1024 + command 40020
sleep 0.5 # the second settings command opens nothing while the dialog is open
e2e_helper dialog 0
state "choices" "check 1018=1" "check 1020=0" "check 1022=1" "check 1024=0" "check 1023=1" \
  "value 1002=$(e2e_hex "$new_face")" "value 1019=$(e2e_hex 30)" "dialogs=1"
e2e_helper click 1 + sync
after_ok=(wintop=0 fsize=30 "fontface=$new_face" ftype=700 toumeido=1 backR=20 backB=96 rectR=200 rect2G=128
  dnsdot=1 notdisperr=0)
saved "${after_ok[@]}"
e2e_window
expect_window "after OK" "$(area "$left" 0 "$bold" 30 2)" 0 1
e2e_until 10 e2e_shows after-ok "$left" 0 "200 255 0"
e2e_check_picture after-ok "$E2E_VISIBLE" "255 255 255" "200 255 0" "20 0 96" "0=255 192 128"
e2e_check_text after-ok "255 192 128" "30 700 $new_face" "$status" $((left + 5)) 3
# OK replaced the font, pens and brushes one for one, made from the new values
e2e_gdi_live >"$E2E_WORK/gdi-after-ok.txt"
e2e_expect_eq "GDI objects after OK" "$gdi_start" "$(wc -l <"$E2E_WORK/gdi-after-ok.txt")"
for made in "CreatePen(00000000,00000001,00ff80ff)" "CreatePen(00000000,00000001,0000ffc8)" \
  "CreateSolidBrush(00600014)" "CreateFontA(0000001e,00000000,00000000,00000000,000002bc,"; do
  e2e_check "the overlay holds $made" grep -qF "gdi32.$made" "$E2E_WORK/gdi-after-ok.txt"
done
mark=$(e2e_gdi_mark)
openings=()
for button in 1 1 1 1 1 1 1 1 1 1 2 2 2 2 2 2 2 2 2 2; do openings+=(command 40020 + dialog 10000 + press $button +); done
e2e_check "20 openings, 10 closed with OK and 10 with Cancel" e2e_helper "${openings[@]}" sync
e2e_expect_eq "GDI objects after 20 openings" "$gdi_start" "$(e2e_gdi_live | wc -l)"
e2e_expect_eq "main fonts made by 10 times OK" 10 "$(e2e_gdi_calls "$mark" "gdi32.CreateFontA(")"
saved "${after_ok[@]}"

# Dragged 200 to the left and 300 down: the first move with the button held
# starts the system's move loop, and the window follows from there.
xdotool mousemove $((left + 60)) 20 sleep 0.2 mousedown 1 sleep 0.2 mousemove $((left + 59)) 21 sleep 0.2
for step in $(seq 10); do xdotool mousemove $((left + 59 - 20 * step)) $((21 + 30 * step)) sleep 0.05; done
xdotool sleep 0.2 mouseup 1 sleep 0.3
e2e_window
expect_window "after the drag" "$(area $((left - 200)) 300 "$bold" 30 2)" 0 1
e2e_exit_app
saved "${after_ok[@]}" winX=$((left - 200)) winY=300

# ---- 2. A hand-written setting.ini -------------------------------------------------
printf '%s\r\n' winY=200 winX=100 wintop=0 "fontface=$missing_face" fsize=30 ftype=700 TOUMEIDO=128 backR=300 \
  backG=-5 backB=96 rectR=255 rectG=0 rectB=0 text1R=0 text1G=255 text1B=255 "sNIC=Kestrava test adapter" \
  dnsdot=1 dispprc=0 notdisperr=0 | iconv -f UTF-8 -t CP932 >"$ini"
cp "$ini" "$E2E_WORK/written.ini"
as_saved=(winX=100 winY=200 wintop=0 "fontface=$missing_face" fsize=30 ftype=700 toumeido=128 backB=96 rectR=255
  rectG=0 text1R=0 text1G=255 text1B=255 "sNIC=Kestrava test adapter" dnsdot=1 dispprc=0 notdisperr=0)
e2e_launch
e2e_window 30000
custom=$(area 100 200 "$missing" 30 1)
expect_window "from the hand-written file" "$custom" 0 128
e2e_expect_file "setting.ini left alone at start" "$E2E_WORK/written.ini" "$ini"
e2e_until 10 e2e_shows custom 100 200 "255 0 0"
e2e_check_picture custom "$custom" "255 255 255" "255 0 0" "0 0 96" "0=0 255 255"

settings
state "a face no font has" "selected 1002=0" "value 1002=$(e2e_get "item 1002")" "updown 111=30 6 256 1019"
read -r l t r b <<<"$(e2e_get "rect 111")"
xdotool mousemove $(((l + r) / 2)) $((t + (b - t) / 4)) sleep 0.1 click 1 sleep 0.3 # the up arrow
# no face picked, the red thumb dragged past the range, topmost and two rows
e2e_helper select 1002 -1 + scroll 1005 5 300 1 + click 1020 + click 1023 + dialog 0
state "bad input" "value 1019=$(e2e_hex 31)" "selected 1002=-1" "value 1002=-" "bar 1005=255 0 255" \
  "value 1015=$(e2e_hex "R 255")"
e2e_helper click 2 + sync
saved "${as_saved[@]}" # Cancel copies nothing, and saves

ok_with_size() { # TEXT KEY=VALUE...: no face picked, TEXT in the size box, OK; then setting.ini
  settings + select 1002 -1 + set-text 1019 "$1" + click 1 + sync
  saved "${@:2}"
}
ok_with_size 3 "${as_saved[@]}" fsize=6
ok_with_size 300 "${as_saved[@]}" fsize=256
# that big, the window is as wide as the screen: the layout after the save
# pulls it to x 0, which the next save writes
as_saved+=(winX=0)
ok_with_size "$(printf '9%.0s' $(seq 5000))" "${as_saved[@]}" fsize=6 # more than an int holds: no number
ok_with_size 40px "${as_saved[@]}" fsize=40 # reading stops at the first non-digit

e2e_helper command 40032
e2e_dialog "reset question" ネットワーク選択リセット && e2e_check "reset answered Yes" e2e_helper press 6
e2e_dialog "second box" ネットワーク選択リセット ":ネットワーク選択をリセットしました。一度終了して再起動してください。"
saved "${as_saved[@]}" fsize=40 sNIC=undefined
e2e_helper press 1

# Exit through the tray icon's menu, whose last item it is: Wine shows the
# icon in a tray window of its own.
tray=$(xdotool search --onlyvisible --name "Wine System Tray" | head -1)
[ -n "$tray" ] || e2e_die "no Wine tray window"
eval "$(xdotool getwindowgeometry --shell "$tray")"
e2e_menu "the tray icon" $((X + 12)) $((Y + HEIGHT - 12)) last
e2e_wait_exit
saved "${as_saved[@]}" fsize=40 sNIC=undefined
e2e_finish
