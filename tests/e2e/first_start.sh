#!/usr/bin/env bash
# First start in an empty folder: setting.ini written with the defaults, the
# window at its default place and size with the capture library's status text,
# the version box, the four reports written and opened (one through the
# window's right-click menu), the reset question answered No, a drag to another
# place, exit, and a second start that comes back at the dragged place and is
# ended through the tray icon's menu.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

e2e_setup first-start
e2e_install_app first-start
ini=$E2E_APP_DIR/setting.ini

e2e_helper metrics || e2e_die "helper metrics failed"
cx=$(e2e_field cxfixedframe 1)
cy=$(e2e_field cyfixedframe 1)
e2e_expect_eq "screen width" "$E2E_SCREEN_WIDTH" "$(e2e_field cxscreen 1)"
e2e_expect_eq "screen height" "$E2E_SCREEN_HEIGHT" "$(e2e_field cyscreen 1)"
e2e_expect_eq "monitors" 1 "$(e2e_field monitors 1)"

# The outer width is the width of the widest IPv6 address text in the default
# font plus 20; measure that text in the same font the program creates.
e2e_helper text-width 18 400 "$(e2e_hex "ＭＳ Ｐゴシック")" "FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF" ||
  e2e_die "helper text-width failed"
sample=$(e2e_field width 1)
outer_width=$((sample + 20))
[ "$outer_width" -lt 30 ] && outer_width=30
visible_width=$((outer_width - 2 * cx))
# Two rows (dispprc=1) of the 18-pixel font.
visible_height=$((2 * 18 + 10 - 2 * cy))
left=$((E2E_SCREEN_WIDTH / 2))

e2e_launch
e2e_wait_window 20000

e2e_expect_eq "window title" "$(e2e_hex Kestrava)" "$(e2e_field title)"
style=$(e2e_field style)
exstyle=$(e2e_field exstyle)
# The system adds WS_VISIBLE and WS_CLIPSIBLINGS to the style, and
# WS_EX_WINDOWEDGE (dialog frame) and WS_EX_TOPMOST to the extended style.
e2e_expect_eq "window style" 0x80480000 "$(printf '0x%08x' $((style & ~0x14000000)))"
e2e_expect_eq "window extended style" 0x00080080 "$(printf '0x%08x' $((exstyle & ~0x00000108)))"
e2e_expect_eq "topmost" 1 "$(e2e_field topmost)"
e2e_expect_eq "opacity" "alpha 255 flags 2" "$(e2e_field layered)"
e2e_expect_eq "visible area (left top right bottom)" \
  "$left 0 $((left + visible_width)) $visible_height" "$(e2e_field visible)"
e2e_expect_eq "outer rectangle" \
  "$((left - cx)) $((-cy)) $((left - cx + outer_width)) $((2 * 18 + 10 - cy))" "$(e2e_field rect)"

# setting.ini is written at start when it is missing.
e2e_ini_file "$E2E_WORK/expected-setting.ini"
e2e_expect_file "setting.ini written at the first start" "$E2E_WORK/expected-setting.ini" "$ini"

# "Npcap not found." in the DNS colour on black inside the green frame. Give the
# first paint a moment.
sleep 1
e2e_screenshot first
e2e_check_picture first "$left" 0 "$visible_width" "$visible_height" "0 255 0" "0 0 0" "255 192 128"

# The version box.
e2e_helper command 40002
if e2e_helper wait-dialog 10000; then
  e2e_expect_eq "version box caption" "$(e2e_hex "バージョン")" "$(e2e_field caption)"
  grep -q "^control -1 Static text $(e2e_hex "Kestrava Ver.2.30")\$" "$E2E_WORK/helper.out" &&
    e2e_pass "version box text" || e2e_fail "version box text: $(cat "$E2E_WORK/helper.out")"
  grep -q "^control 1 Button text $(e2e_hex OK)\$" "$E2E_WORK/helper.out" &&
    e2e_pass "version box OK button" || e2e_fail "version box OK button missing"
  e2e_helper press 1 5000 && e2e_pass "version box closed with OK" ||
    e2e_fail "version box did not close with OK"
else
  e2e_fail "no version box after command 40002"
fi

# The four reports, one at a time: each file beside the executable with the
# empty tables, and opened through the browser. The first item of the menu that
# a right click on the window opens is the process report; the others are sent
# as commands.
opened=$(e2e_opened_file)
for report in process:menu tcp:40026 dns:40024 icmp:40028; do
  name=${report%%:*}
  id=${report#*:}
  : >"$opened"
  if [ "$id" == menu ]; then
    xdotool mousemove $((left + 60)) 20 click 3
    e2e_helper wait-menu 5000 && e2e_pass "right click on the window opens the menu" ||
      e2e_fail "no menu after a right click on the window"
    xdotool key Down sleep 0.2 key Return
  else
    e2e_helper command "$id"
  fi
  for _ in $(seq 100); do
    [ -s "$opened" ] && break
    sleep 0.1
  done
  e2e_empty_report "$name" "$E2E_WORK/expected-$name.html"
  e2e_expect_file "$name.html after $id" "$E2E_WORK/expected-$name.html" "$E2E_APP_DIR/$name.html"
  address=$(head -1 "$opened")
  path=${address#file://}
  if [ -n "$address" ] && [ "$(realpath -m "$path")" == "$(realpath "$E2E_APP_DIR/$name.html")" ]; then
    e2e_pass "$name.html opened in the browser ($address)"
  else
    e2e_fail "$name.html not opened in the browser: recorded '$address'"
  fi
done

# The reset question answered No leaves setting.ini as it was.
cp "$ini" "$E2E_WORK/before-reset.ini"
e2e_helper command 40032
if e2e_helper wait-dialog 10000; then
  e2e_expect_eq "reset question caption" "$(e2e_hex "ネットワーク選択リセット")" "$(e2e_field caption)"
  question=$(e2e_hex "現在のネットワーク選択をリセットしますか？")0d0a$(e2e_hex "（WiFiと有線など、複数の有効なネットワークがある場合のみ。）")
  grep -q "^control [0-9-]* Static text $question\$" "$E2E_WORK/helper.out" &&
    e2e_pass "reset question text" || e2e_fail "reset question text: $(cat "$E2E_WORK/helper.out")"
  e2e_helper press 7 5000 && e2e_pass "reset question answered No" || e2e_fail "reset question did not close on No"
  sleep 0.5
  e2e_helper wait-dialog 0 && e2e_fail "a box followed the answer No: $(cat "$E2E_WORK/helper.out")"
  e2e_expect_file "setting.ini after answering No" "$E2E_WORK/before-reset.ini" "$ini"
else
  e2e_fail "no reset question after command 40032"
fi

# Drag the window by the mouse: 200 right, 300 down. The first move with the
# button held starts the system's move loop; the window follows from there.
xdotool mousemove $((left + 60)) 20 sleep 0.2 mousedown 1 sleep 0.2 mousemove $((left + 61)) 21 sleep 0.2
for step in $(seq 10); do
  xdotool mousemove $((left + 61 + 20 * step)) $((21 + 30 * step)) sleep 0.05
done
xdotool sleep 0.2 mouseup 1 sleep 0.3
new_left=$((left + 200))
new_top=300
e2e_helper info
e2e_expect_eq "visible area after the drag" \
  "$new_left $new_top $((new_left + visible_width)) $((new_top + visible_height))" "$(e2e_field visible)"

# Exit writes the window's place into setting.ini.
e2e_stop
e2e_ini_file "$E2E_WORK/expected-after-drag.ini" "winX=$new_left" "winY=$new_top"
e2e_expect_file "setting.ini after exit" "$E2E_WORK/expected-after-drag.ini" "$ini"

# The next start puts the window back there.
e2e_launch
e2e_wait_window 20000
e2e_expect_eq "visible area at the next start" \
  "$new_left $new_top $((new_left + visible_width)) $((new_top + visible_height))" "$(e2e_field visible)"
sleep 1
e2e_screenshot second
e2e_check_picture second "$new_left" "$new_top" "$visible_width" "$visible_height" "0 255 0" "0 0 0" "255 192 128"

# This time exit through the tray icon's menu, whose last item is Exit. Wine
# shows the icon in its own tray window.
tray=$(xdotool search --name "Wine System Tray" | head -1)
if [ -n "$tray" ]; then
  eval "$(xdotool getwindowgeometry --shell "$tray")"
  xdotool mousemove $((X + 12)) $((Y + HEIGHT - 12)) click 3
  e2e_helper wait-menu 5000 && e2e_pass "right click on the tray icon opens the menu" ||
    e2e_fail "no menu after a right click on the tray icon"
  xdotool key Up sleep 0.2 key Return
  e2e_wait_exit && e2e_pass "the menu's last item ends the program"
else
  e2e_fail "no Wine tray window holding the icon"
fi
e2e_stop
e2e_expect_file "setting.ini after the second exit" "$E2E_WORK/expected-after-drag.ini" "$ini"

e2e_finish
