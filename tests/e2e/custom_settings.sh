#!/usr/bin/env bash
# A start with a hand-written setting.ini: one row of a 30-pixel bold font, half
# opacity, not topmost, other colours and place; the settings dialog closed with
# Cancel rewrites the file in the program's own form; the reset question
# answered Yes forgets the saved interface and shows the second box.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

e2e_setup custom-settings
e2e_install_app custom-settings
ini=$E2E_APP_DIR/setting.ini

e2e_helper metrics || e2e_die "helper metrics failed"
cx=$(e2e_field cxfixedframe 1)
cy=$(e2e_field cyfixedframe 1)

# Written by hand: keys in another order, one key in capitals, out-of-range
# colour components (read as 0), no trailing blank line.
printf '%s\r\n' \
  "winY=200" "winX=100" "wintop=0" "fontface=ＭＳ Ｐゴシック" "fsize=30" "ftype=700" \
  "TOUMEIDO=128" "backR=300" "backG=-5" "backB=96" "rectR=255" "rectG=0" "rectB=0" \
  "text1R=0" "text1G=255" "text1B=255" "sNIC=Kestrava test adapter" \
  "dnsdot=1" "dispprc=0" "notdisperr=0" | iconv -f UTF-8 -t CP932 >"$ini"
cp "$ini" "$E2E_WORK/written.ini"
# The same settings as the program writes them.
as_saved=(winX=100 winY=200 wintop=0 fsize=30 ftype=700 toumeido=128 backB=96 rectR=255 rectG=0
  text1R=0 text1G=255 text1B=255 "sNIC=Kestrava test adapter" dnsdot=1 dispprc=0 notdisperr=0)

e2e_helper text-width 30 700 "$(e2e_hex "ＭＳ Ｐゴシック")" "FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF:FFFF" ||
  e2e_die "helper text-width failed"
outer_width=$(($(e2e_field width 1) + 20))
visible_width=$((outer_width - 2 * cx))
# One row: outer height 30 + 10.
visible_height=$((30 + 10 - 2 * cy))

e2e_launch
e2e_wait_window 20000
e2e_expect_eq "visible area (left top right bottom)" \
  "100 200 $((100 + visible_width)) $((200 + visible_height))" "$(e2e_field visible)"
e2e_expect_eq "outer rectangle" \
  "$((100 - cx)) $((200 - cy)) $((100 - cx + outer_width)) $((200 - cy + 30 + 10))" "$(e2e_field rect)"
e2e_expect_eq "opacity" "alpha 128 flags 2" "$(e2e_field layered)"
e2e_expect_eq "topmost" 0 "$(e2e_field topmost)"
e2e_expect_file "setting.ini left alone at start" "$E2E_WORK/written.ini" "$ini"

sleep 1
e2e_screenshot custom
e2e_check_picture custom 100 200 "$visible_width" "$visible_height" "255 0 0" "0 0 96" "0 255 255"

# The settings dialog opens; Cancel still saves the settings.
e2e_helper command 40020
if e2e_helper wait-dialog 10000; then
  cp "$E2E_WORK/helper.out" "$E2E_WORK/settings-dialog.txt"
  e2e_expect_eq "settings dialog caption" "$(e2e_hex "設定")" "$(e2e_field caption)"
  e2e_helper press 2 5000 && e2e_pass "settings dialog closed with Cancel" ||
    e2e_fail "settings dialog did not close with Cancel"
  sleep 0.5
  e2e_ini_file "$E2E_WORK/expected-saved.ini" "${as_saved[@]}"
  e2e_expect_file "setting.ini after Cancel" "$E2E_WORK/expected-saved.ini" "$ini"
  e2e_helper info
  e2e_expect_eq "visible area after the re-layout" \
    "100 200 $((100 + visible_width)) $((200 + visible_height))" "$(e2e_field visible)"
else
  e2e_fail "no settings dialog after command 40020"
fi

# Reset answered Yes: sNIC back to "undefined" at once, then the second box.
e2e_helper command 40032
if e2e_helper wait-dialog 10000; then
  e2e_helper press 6 5000 && e2e_pass "reset question answered Yes" || e2e_fail "reset question did not close on Yes"
  if e2e_helper wait-dialog 10000; then
    e2e_expect_eq "second box caption" "$(e2e_hex "ネットワーク選択リセット")" "$(e2e_field caption)"
    done_text=$(e2e_hex "ネットワーク選択をリセットしました。一度終了して再起動してください。")
    grep -q "^control [0-9-]* Static text $done_text\$" "$E2E_WORK/helper.out" &&
      e2e_pass "second box text" || e2e_fail "second box text: $(cat "$E2E_WORK/helper.out")"
    e2e_ini_file "$E2E_WORK/expected-reset.ini" "${as_saved[@]}" sNIC=undefined
    e2e_expect_file "setting.ini after Yes" "$E2E_WORK/expected-reset.ini" "$ini"
    e2e_helper press 1 5000 && e2e_pass "second box closed with OK" || e2e_fail "second box did not close with OK"
  else
    e2e_fail "no second box after Yes"
  fi
else
  e2e_fail "no reset question after command 40032"
fi

e2e_stop
e2e_expect_file "setting.ini after exit" "$E2E_WORK/expected-reset.ini" "$ini"

e2e_finish
