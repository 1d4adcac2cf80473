#!/usr/bin/env bash
# Choosing the network under Wine, with two usable interfaces (two veth pairs
# of the test network):
#   1. no network up at the start: "Network not found."; both come up while
#      the program runs and a later refresh asks with dialog 115, listing both
#      with the first selected. While the dialog is open the timer goes on and
#      no capture starts. Its refresh lists them again; OK with nothing
#      selected asks to select; OK after picking the second captures there and
#      saves it.
#   2. the next start opens the saved one without asking;
#   3. "Reset network selection" forgets it, so the start after asks again;
#      Cancel then opens the first;
#   4. that interface vanishes while it is captured: the window goes on, a
#      report is still written and the program exits normally.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
source "$here/live_lib.sh"

live_setup capture-dialog kl2 2
e2e_install_app capture-dialog
ini=$E2E_APP_DIR/setting.ini
caption=$(e2e_hex "Network Interface Card選択")

saved_interface() { tr -d '\r' <"$ini" | sed -n 's/^sNIC=//p'; }

# wait_saved NAME: setting.ini names NAME (saved once the capture is open)
wait_saved() {
  local i
  for i in $(seq 50); do
    [ "$(saved_interface)" == "$1" ] && break
    sleep 0.1
  done
  e2e_expect_eq "sNIC in setting.ini" "$1" "$(saved_interface)"
}

# expect_list SEL: dialog 115 lists kl2h1 and kl2h2 with item SEL selected
expect_list() {
  e2e_helper dialog-state || e2e_fail "no dialog to read"
  e2e_expect_eq "the dialog's list" "$1 $(e2e_hex kl2h1) $(e2e_hex kl2h2)" \
    "$(awk '$2 == 1025 && ($1 == "selected" || $1 == "item") { printf "%s%s", sep, $3; sep = " " }' \
      "$E2E_WORK/helper.out")"
}

# ---- 1. Both networks come up while the program runs ---------------------------

net_host ip link set kl2h1 down
net_host ip link set kl2h2 down
e2e_launch
e2e_wait_window 30000
read -r left top right bottom <<<"$(e2e_field visible)"
status_width=$(live_text_width "Network not found.")
for try in $(seq 20); do
  e2e_screenshot not-found
  box=$(live_text_box not-found "$left" "$top" $((right - left)) $((bottom - top)) 255 192 128)
  [ "$box" != none ] && break
  sleep 0.5
done
live_check_text '"Network not found." in the DNS colour' "$box" "$status_width" $((left + 5)) \
  "$top" $((top + 3 + 18))

net_host ip link set kl2h1 up
net_host ip link set kl2h2 up
e2e_helper wait-dialog 20000 "$caption" || e2e_die "no dialog 115 after the networks came up"
expect_list 0
# Several refreshes pass while the dialog waits; none may open a capture.
sleep 2
e2e_expect_eq "captures while the dialog is open" "" "$(live_capture_ifaces)"

e2e_helper select 1025 1 || e2e_fail "selecting the second network failed"
e2e_helper click 1026 || e2e_fail "clicking the refresh button failed"
e2e_helper wait-dialog 5000 "$caption"
expect_list 0

e2e_helper select 1025 -1 || e2e_fail "clearing the selection failed"
e2e_helper press 1 1000 && e2e_fail "OK with nothing selected closed the dialog"
if e2e_helper wait-dialog 5000 "$(e2e_hex エラー)"; then
  grep -q "^control [0-9-]* Static text $(e2e_hex 選択してください。)\$" "$E2E_WORK/helper.out" &&
    e2e_pass "OK with nothing selected: 選択してください。" ||
    e2e_fail "the box after OK says: $(cat "$E2E_WORK/helper.out")"
  e2e_helper press 1 5000 || e2e_fail "the box did not close"
else
  e2e_fail "no box after OK with nothing selected"
fi

e2e_helper select 1025 1 || e2e_fail "selecting the second network failed"
e2e_helper press 1 5000 || e2e_fail "OK did not close dialog 115"
live_wait_capture kl2h2
e2e_expect_eq "captured interfaces" "kl2h2" "$(live_capture_ifaces)"
wait_saved kl2h2
# Frames of the first pair are not seen; those of the second are analysed.
net_host ping -c1 -W2 10.77.0.2 >>"$E2E_WORK/traffic.log" 2>&1
live_until_report icmp "<td>10.78.0.2</td>" net_host ping -c1 -W2 10.78.0.2
grep -q "10.77.0.2" "$E2E_APP_DIR/icmp.html" && e2e_fail "icmp.html shows traffic of kl2h1"
e2e_exit_app

# ---- 2. The saved network opens without a dialog --------------------------------

e2e_launch
e2e_wait_window 30000
live_wait_capture kl2h2
e2e_helper wait-dialog 0 && e2e_fail "a dialog appeared: $(cat "$E2E_WORK/helper.out")"

# ---- 3. Reset, then Cancel opens the first --------------------------------------

e2e_helper command 40032
e2e_helper wait-dialog 10000 && e2e_helper press 6 5000 || e2e_fail "no reset question answered Yes"
e2e_helper wait-dialog 10000 && e2e_helper press 1 5000 || e2e_fail "no box after the reset"
e2e_expect_eq "sNIC after the reset" undefined "$(saved_interface)"
e2e_exit_app
e2e_expect_eq "sNIC after exit" undefined "$(saved_interface)"

e2e_launch
e2e_helper wait-dialog 30000 "$caption" || e2e_die "no dialog 115 at the start after the reset"
expect_list 0
e2e_helper press 2 5000 || e2e_fail "Cancel did not close dialog 115"
live_wait_capture kl2h1
wait_saved kl2h1

# ---- 4. The captured interface vanishes -----------------------------------------

e2e_wait_window 10000
net_host ip link del kl2h1
e2e_helper tray-click || e2e_fail "the window did not take the tray click"
live_report dns
e2e_expect_eq "window after the interface vanished" 1 "$(e2e_helper info && e2e_field shown 1)"
e2e_exit_app

e2e_finish
