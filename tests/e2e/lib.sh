# The end-to-end library: Kestrava.exe under Wine on a virtual X display, the
# helper that looks at and drives its window (win/e2e_helper.cpp), checks of
# bytes, pixels and held GDI objects, and the live test network (../net/netns.sh).
# Sourced by the scenarios here, scripts/run.sh and tests/bench/wine_*.sh, with
# E2E_WIN_BUILD (the Windows build) and E2E_PREFIX (the Wine prefix) set. Wine
# calls write into files, never into a pipe, which Wine's background processes
# would hold open.

# shellcheck source=../net/netns.sh
source "$(dirname "${BASH_SOURCE[0]}")/../net/netns.sh"
E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
E2E_PREFIX_VERSION="kestrava-e2e prefix 1" # bump when the set-up below changes
E2E_FAILURES=0 E2E_LAUNCHES=0 E2E_XVFB_PID= E2E_APP_PID= E2E_SERVER_PID=
E2E_RUN=() # what every Wine call runs through: (ip netns exec NS) on the test network
E2E_SCREEN_WIDTH=1280 E2E_SCREEN_HEIGHT=800

# ---- Findings and waits ----------------------------------------------------------
e2e_log() { echo "e2e: $*" >&2; }
e2e_die() { e2e_log "FATAL: $*"; exit 1; }
e2e_pass() { e2e_log "ok: $SECONDS $*"; }
e2e_fail() { e2e_log "FAIL: $*"; E2E_FAILURES=$((E2E_FAILURES + 1)); }
e2e_not() { ! "$@"; }
# e2e_check WHAT CMD...: a check that CMD succeeds
e2e_check() { if "${@:2}"; then e2e_pass "$1"; else e2e_fail "$1"; fi; }
e2e_until() { net_until "$@"; } # SECONDS CMD...: CMD every 0.1 s until it succeeds, or 1 after SECONDS
e2e_expect_eq() { # WHAT EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then e2e_pass "$1 = $3"; else e2e_fail "$1: expected '$2', got '$3'"; fi
}
e2e_expect_file() { # WHAT EXPECTED_FILE ACTUAL_FILE, byte for byte
  cmp -s "$2" "$3" && e2e_pass "$1 ($(stat -c %s "$3") bytes as expected)" && return
  e2e_fail "$1: $3 differs from $2: $(cmp "$2" "$3" 2>&1 | head -1)"
  diff <(od -An -c "$2") <(od -An -c "$3") | head -10 >&2
}
e2e_finish() {
  [ "$E2E_FAILURES" -eq 0 ] || e2e_die "$E2E_FAILURES check(s) failed; logs and screenshots in $E2E_WORK"
  e2e_log "all checks passed"
}

# ---- Wine, the display and the prefix -------------------------------------------
# e2e_exec CMD...: becomes CMD in the environment of every Wine call (Japanese
# locale: ANSI code page 932); in a subshell, so that a background one's $! is it
e2e_exec() {
  exec "${E2E_RUN[@]}" env LC_ALL=ja_JP.UTF-8 "WINEDEBUG=${E2E_WINEDEBUG:--all}" "WINEPREFIX=$E2E_PREFIX" \
    "DISPLAY=$DISPLAY" "$@"
}
e2e_wine() { (e2e_exec wine "${@:3}") >"$1" 2>"$2"; } # OUT ERR ARGS...
e2e_wineserver() { (e2e_exec wineserver "$@") >>"$E2E_WORK/wineserver.log" 2>&1; }

# Xvfb on a display it picks itself, with a white root window (so that what
# lies outside the program's visible area can be told apart); exports DISPLAY.
e2e_start_xvfb() {
  : >"$E2E_WORK/xvfb.display"
  Xvfb -displayfd 3 -screen 0 "${1:-${E2E_SCREEN_WIDTH}x${E2E_SCREEN_HEIGHT}x24}" -nolisten tcp -wr \
    3>"$E2E_WORK/xvfb.display" >"$E2E_WORK/xvfb.log" 2>&1 &
  E2E_XVFB_PID=$!
  e2e_until 10 test -s "$E2E_WORK/xvfb.display" || e2e_die "Xvfb did not start: $(cat "$E2E_WORK/xvfb.log")"
  export DISPLAY=":$(head -1 "$E2E_WORK/xvfb.display")"
}
e2e_stop_xvfb() {
  [ -z "$E2E_XVFB_PID" ] || { kill "$E2E_XVFB_PID" && wait "$E2E_XVFB_PID"; } 2>/dev/null
  E2E_XVFB_PID=
}

# e2e_ensure_prefix [record-browser]: makes the prefix once and sets it up in
# place: Wine's fonts, the Japanese faces mapped to the IPA fonts, no window
# manager's decoration, HTML files opened by Wine's browser launcher. With
# record-browser the "browser" only writes the address it was given into
# $E2E_PREFIX/opened.txt; without, Wine's list of Linux browsers is used.
e2e_ensure_prefix() {
  local mode=${1:-} browsers=-
  mkdir -p "$(dirname "$E2E_PREFIX")"
  [ "$(cat "$E2E_PREFIX/kestrava-e2e.version" 2>/dev/null)" != "$E2E_PREFIX_VERSION $mode" ] || return 0
  if [ ! -f "$E2E_PREFIX/system.reg" ]; then
    e2e_log "creating the Wine prefix $E2E_PREFIX"
    # no Mono or Gecko: their installers would ask questions
    WINEDLLOVERRIDES="mscoree=;mshtml=" e2e_wine "$E2E_WORK/wineboot.log" "$E2E_WORK/wineboot.err" wineboot -i ||
      e2e_die "wineboot failed: $(cat "$E2E_WORK/wineboot.err")"
    e2e_wineserver -w
  fi
  mkdir -p "$E2E_PREFIX/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/* "$E2E_PREFIX/drive_c/windows/Fonts/"
  if [ "$mode" == record-browser ]; then
    browsers="\"$E2E_PREFIX/record-browser.sh\""
    printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"$(dirname "$0")/opened.txt"\n' >"$E2E_PREFIX/record-browser.sh"
    chmod +x "$E2E_PREFIX/record-browser.sh"
  fi
  # prefix.reg, as regedit reads it: UTF-16LE with a byte-order mark, CR LF
  { printf '\xff\xfe' && sed "s|@BROWSERS@|$browsers|; s/\$/\r/" "$E2E_DIR/prefix.reg" | iconv -f UTF-8 -t UTF-16LE; } \
    >"$E2E_PREFIX/drive_c/kestrava-e2e.reg"
  e2e_wine "$E2E_WORK/regedit.out" "$E2E_WORK/regedit.err" regedit /S 'C:\kestrava-e2e.reg' || e2e_die "regedit failed"
  e2e_wineserver -w
  echo "$E2E_PREFIX_VERSION $mode" >"$E2E_PREFIX/kestrava-e2e.version"
}

# ---- The program -----------------------------------------------------------------

# e2e_setup NAME: the scenario's folder, the clean-up at exit, the display, the
# prefix without a capture library, and a fresh C:\kestrava-e2e\NAME holding
# Kestrava.exe, where setting.ini and the reports land (E2E_APP_DIR).
e2e_setup() {
  [ -f "$E2E_WIN_BUILD/Kestrava.exe" ] || e2e_die "no $E2E_WIN_BUILD/Kestrava.exe (build the windows preset)"
  E2E_WORK=${E2E_WORK:-$(dirname "$E2E_PREFIX")/e2e-work}/$1
  rm -rf "$E2E_WORK" && mkdir -p "$E2E_WORK"
  trap e2e_cleanup EXIT
  e2e_start_xvfb
  e2e_ensure_prefix record-browser
  rm -rf "$E2E_PREFIX/drive_c/windows/system32/Npcap"
  E2E_APP_DIR=$E2E_PREFIX/drive_c/kestrava-e2e/$1
  E2E_APP_WINDIR="C:\\kestrava-e2e\\$1"
  rm -rf "$E2E_APP_DIR" && mkdir -p "$E2E_APP_DIR" && cp "$E2E_WIN_BUILD/Kestrava.exe" "$E2E_APP_DIR/"
}

# e2e_launch [gdi]: starts Kestrava.exe in the background (E2E_APP_PID); with
# gdi, Wine's relay trace of its GDI calls goes into its standard error.
e2e_launch() {
  [ "${1:-}" != gdi ] || e2e_wine "$E2E_WORK/reg.out" "$E2E_WORK/reg.err" reg add 'HKCU\Software\Wine\Debug' \
    /v RelayInclude /t REG_SZ /d "$E2E_GDI_CALLS" /f || e2e_die "cannot limit the relay trace"
  E2E_LAUNCHES=$((E2E_LAUNCHES + 1))
  (E2E_WINEDEBUG=${1:+-all,+pid,+relay} e2e_exec wine "$E2E_APP_WINDIR\\Kestrava.exe") \
    >"$E2E_WORK/kestrava.$E2E_LAUNCHES.out" 2>"$E2E_WORK/kestrava.$E2E_LAUNCHES.err" &
  E2E_APP_PID=$!
}
e2e_app_running() { [ -n "$E2E_APP_PID" ] && kill -0 "$E2E_APP_PID" 2>/dev/null; }

# e2e_helper ARGS...: the Windows helper; its output in $E2E_WORK/helper.out
e2e_helper() { e2e_wine "$E2E_WORK/helper.out" "$E2E_WORK/helper.err" "$E2E_WIN_BUILD/kestrava-e2e-helper.exe" "$@"; }
# e2e_get PREFIX [N]: the rest of the helper's first line that starts with
# PREFIX and a blank, or word N of that rest.
e2e_get() {
  awk -v p="$1 " -v n="${2:-0}" 'index($0, p) == 1 {
    $0 = substr($0, length(p) + 1); print n ? $n : $0; exit }' "$E2E_WORK/helper.out"
}
e2e_hex() { printf '%s' "$1" | iconv -f UTF-8 -t CP932 | od -An -tx1 -v | tr -d ' \n'; }

# e2e_window [MS]: the overlay, shown within MS (0); the helper's output then
# describes it, and E2E_VISIBLE is its visible area "LEFT TOP RIGHT BOTTOM"
# (right and bottom exclusive)
e2e_window() {
  e2e_helper wait-window "${1:-0}" || e2e_die "no Kestrava window"
  E2E_VISIBLE=$(e2e_get visible)
}

# e2e_dialog WHAT CAPTION [ID:TEXT...]: within 30 s a dialog (or box) of that
# caption whose control ID (any, when empty) shows each TEXT; its state stays
# in helper.out. Returns 1 when there is no such dialog.
e2e_dialog() {
  local what=$1 caption=$2 label id missing=
  shift 2
  e2e_helper dialog 30000 "$caption" || { e2e_fail "$what: no dialog \"$caption\""; return 1; }
  for label in "$@"; do
    id=${label%%:*}
    grep -qE "^value ${id:-[-0-9]+} $(e2e_hex "${label#*:}")\$" "$E2E_WORK/helper.out" || missing+=" $label"
  done
  [ -z "$missing" ] && e2e_pass "$what: \"$caption\" with $# texts" || e2e_fail "$what: not shown:$missing"
}

# e2e_text_widths HEIGHT WEIGHT FACE TEXT...: their widths in that font, one a line
e2e_text_widths() {
  e2e_helper text "$@" || e2e_die "helper text failed"
  awk '$1 == "text" { print $2 }' "$E2E_WORK/helper.out"
}

# The program's exit command; then its process must end with status 0 within 15 s.
e2e_exit_app() {
  e2e_app_running || { e2e_fail "Kestrava.exe had ended before the exit command"; return 1; }
  e2e_helper command 40008 || e2e_fail "posting the exit command failed"
  e2e_wait_exit
}
e2e_wait_exit() {
  e2e_until 15 e2e_not e2e_app_running || { e2e_fail "Kestrava.exe did not end within 15 s"; return 1; }
  wait "$E2E_APP_PID"
  e2e_expect_eq "exit status of Kestrava.exe" 0 $?
  E2E_APP_PID=
}

e2e_cleanup() {
  e2e_wineserver -k
  net_teardown
  e2e_stop_xvfb
  for pid in $E2E_APP_PID $E2E_SERVER_PID; do wait "$pid"; done 2>/dev/null
}

# ---- Files -----------------------------------------------------------------------
# Expected files are UTF-8 with LF line ends in expected/, derived by hand; the
# program writes code page 932 with CR LF.
e2e_cp932() { sed 's/$/\r/' | iconv -f UTF-8 -t CP932; }

e2e_saved() { tr -d '\r' <"$E2E_APP_DIR/setting.ini" | sed -n "s/^$1=//p"; } # a value of setting.ini

# e2e_expected_report dns|tcp|icmp|process TARGET [empty]: the report of the
# live scenario's traffic, or with empty the one of empty tables (no rows).
e2e_expected_report() {
  sed -E "${3:+/^<tr><td[^>]*>[0-9]/d}" "$E2E_DIR/expected/$1.html" | e2e_cp932 >"$2"
}

# e2e_report dns|tcp|icmp|process [CMD...]: the report's menu command (or
# CMD); returns once the report was handed to the browser.
e2e_report() {
  local -A id=([dns]=40024 [tcp]=40026 [icmp]=40028 [process]=40034)
  : >"$E2E_PREFIX/opened.txt"
  [ $# -gt 1 ] || set -- "$1" e2e_helper command "${id[$1]}"
  "${@:2}" || e2e_die "${*:2} failed"
  e2e_until 15 test -s "$E2E_PREFIX/opened.txt" || e2e_die "the $1 report was not opened within 15 s"
}

# ---- Pictures --------------------------------------------------------------------
# Areas are "LEFT TOP RIGHT BOTTOM" in screen pixels, right and bottom exclusive.
e2e_screenshot() { import -display "$DISPLAY" -window root "$E2E_WORK/$1.png" || e2e_die "screenshot failed"; }
# e2e_pixels SHOT X Y W H: "x y r g b" of each pixel of the rectangle
e2e_pixels() {
  convert "$E2E_WORK/$1.png" -crop "$4x$5+$2+$3" +repage -depth 8 txt:- |
    awk -v x0="$2" -v y0="$3" -F'[ ,:()]+' 'NR > 1 { print $1 + x0, $2 + y0, $3, $4, $5 }'
}
# e2e_shows SHOT X Y "R G B": a screenshot in which that pixel has the colour;
# e2e_until 10 e2e_shows ... waits for a repaint to reach the screen
e2e_shows() { e2e_screenshot "$1" && [ "$(e2e_pixels "$1" "$2" "$3" 1 1 | cut -d' ' -f3-)" == "$4" ]; }

# e2e_menu WHAT X Y first|last: a right click at X,Y opens a popup menu (tried
# for 15 s: one while the program runs a command is ignored), then a click on
# its first or last item
e2e_right_click() { xdotool mousemove "$1" "$2" click 3 && e2e_helper wait-menu 5000; }
e2e_menu() {
  local l t r b
  e2e_until 15 e2e_right_click "$2" "$3" || { e2e_fail "no menu after a right click on $1"; return 1; }
  read -r l t r b <<<"$(e2e_get menu)"
  [ "$4" == first ] && b=$((t + 16)) # the item 8 pixels from the top, else from the bottom
  xdotool mousemove $((l + 20)) $((b - 8)) click 1
}

# e2e_check_picture SHOT AREA AROUND FRAME BACKGROUND ROWS: a 1-pixel frame in
# FRAME ("r g b"); inside only BACKGROUND and text, each band of rows in its
# colour, smoothed glyph edges lying between the two; at least 5 pixels of
# each band's pure colour; and, unless AROUND is "-", the pixels right around
# the area in AROUND. ROWS: "Y=r g b;..." with the first row of each band
# relative to the area's top, the first band at 0.
e2e_check_picture() {
  local l t r b result
  read -r l t r b <<<"$2"
  local x=$((l > 0 ? l - 1 : 0)) y=$((t > 0 ? t - 1 : 0))
  result=$(e2e_pixels "$1" "$x" "$y" $((r + 1 - x)) $((b + 1 - y)) | awk -v l="$l" -v t="$t" \
    -v r=$((r - 1)) -v b=$((b - 1)) -v around="$3" -v frame="$4" -v back="$5" -v rows="$6" '
    BEGIN { split(back, g, " "); n = split(rows, band, ";")
      for (i = 1; i <= n; i++) { split(band[i], kv, "="); top[i] = kv[1]; colour[i] = kv[2] } }
    function wrong(what) { if (!bad[what]++) first[what] = $0 }
    function near(a, e) { return a - e <= 3 && e - a <= 3 }
    { p[1] = $3; p[2] = $4; p[3] = $5; pixel = $3 " " $4 " " $5
      if ($1 < l || $1 > r || $2 < t || $2 > b) { if (around != "-" && pixel != around) wrong("around"); next }
      if ($1 == l || $1 == r || $2 == t || $2 == b) { if (pixel != frame) wrong("frame"); next }
      for (i = n; i > 1 && $2 - t < top[i]; i--) ;
      if (pixel == colour[i]) pure[i]++
      split(colour[i], c, " "); best = 1
      for (j = 2; j <= 3; j++) if ((c[j] - g[j])^2 > (c[best] - g[best])^2) best = j
      k = c[best] == g[best] ? 0 : (p[best] - g[best]) / (c[best] - g[best]); ok = k >= 0 && k <= 1
      for (j = 1; j <= 3; j++) if (!near(p[j], g[j] + k * (c[j] - g[j]))) ok = 0
      if (!ok) wrong("inside") }
    END { for (i = 1; i <= n; i++) if (pure[i] < 5) printf "only %d pixels of %s; ", pure[i], colour[i]
      for (w in bad) printf "%d %s pixels wrong (first: %s); ", bad[w], w, first[w] }')
  [ -z "$result" ] && e2e_pass "$1 ($2): frame $4, background $5, text $6, around $3" || e2e_fail "$1 ($2): $result"
}

# e2e_check_text SHOT "R G B" "HEIGHT WEIGHT FACE" TEXT X|centred Y: up to 15 s
# of repaints (tray clicks) and screenshots until the overlay (E2E_VISIBLE)
# shows TEXT drawn at X (or centred) and Y in that font and colour: the pixels
# of that colour inside its frame lie as those the helper's drawing of the text
# covers whole. The last screenshot is SHOT.png.
e2e_text_shown() {
  local l t r b
  read -r l t r b <<<"$E2E_VISIBLE"
  e2e_helper tray-click && e2e_screenshot "$1" &&
    E2E_BOX=$(e2e_pixels "$1" $((l + 1)) $((t + 1)) $((r - l - 2)) $((b - t - 2)) | awk -v c="$2" '
      $3 " " $4 " " $5 == c { if (!n++ || $1 < l) l = $1; if ($1 > r) r = $1; if (n == 1 || $2 < t) t = $2; b = $2 }
      END { print n ? l " " r " " t " " b : "none" }') && [ "$E2E_BOX" == "$3" ]
}
e2e_check_text() {
  local height weight face width l r t b x=$5 left right
  read -r height weight face <<<"$3"
  e2e_helper text "$height" "$weight" "$face" "$4" || e2e_die "helper text failed"
  read -r width l r t b <<<"$(e2e_get text)"
  read -r left _ right _ <<<"$E2E_VISIBLE"
  [ "$x" != centred ] || x=$((left + (right - left - width) / 2))
  e2e_until 15 e2e_text_shown "$1" "$2" "$((x + l)) $((x + r)) $(($6 + t)) $(($6 + b))"
  e2e_check "$1: \"$4\" at $x,$6 in $2 covers x $((x + l))..$((x + r)), y $(($6 + t))..$(($6 + b)) (found: $E2E_BOX)" \
    [ $? -eq 0 ]
}

# ---- GDI objects under Wine --------------------------------------------------------
# Wine's GetGuiResources is a stub, so the objects the program holds are counted
# from the relay trace (which leaves out calls among Wine's own libraries): a
# handle that a making call returns is held until DeleteObject or DeleteDC of it
# succeeds, or ReleaseDC of what GetDC or GetWindowDC gave, or SetWindowRgn hands
# it to the system. Only the first process counts, not Wine's desktop process.
E2E_GDI_CALLS="$(printf 'gdi32.Create%s;' Pen PenIndirect SolidBrush BrushIndirect HatchBrush PatternBrush \
  DIBPatternBrushPt FontA FontW FontIndirectA FontIndirectW FontIndirectExW CompatibleDC DCA DCW ICA ICW \
  CompatibleBitmap Bitmap BitmapIndirect DIBSection DIBitmap RectRgn RectRgnIndirect RoundRectRgn EllipticRgn \
  EllipticRgnIndirect PolygonRgn Palette)gdi32.ExtCreatePen;gdi32.ExtCreateRegion;gdi32.DeleteObject;\
gdi32.DeleteDC;user32.GetDC;user32.GetDCEx;user32.GetWindowDC;user32.ReleaseDC;user32.SetWindowRgn"

e2e_gdi_trace() { echo "$E2E_WORK/kestrava.$E2E_LAUNCHES.err"; }
e2e_gdi_pid() { awk -F: '/^[0-9a-f]+:[0-9a-f]+:/ { print $1; exit }' "$(e2e_gdi_trace)"; }
# e2e_gdi_live: the objects the program holds, one a line: the handle and the
# call that made it ("01100054 gdi32.CreateSolidBrush(00000000)").
e2e_gdi_live() {
  awk -v pid="$(e2e_gdi_pid)" -F: '$1 == pid && $3 ~ /^(Call|Ret) +(gdi32|user32)[.][A-Za-z]+[(]/ {
      thread = $2; rest = substr($0, length($1 $2) + 3); isCall = rest ~ /^Call/
      sub(/^[A-Za-z]+ +/, "", rest); name = substr(rest, 1, index(rest, "(") - 1)
      if (isCall) { pending[thread, name] = substr(rest, 1, index(rest, ")")); next }
      result = rest; sub(/.*retval=/, "", result); sub(/ .*/, "", result)
      if (result ~ /^0+$/) next # failed: nothing made, nothing freed
      split(substr(pending[thread, name], length(name) + 2), arg, /[,)]/)
      fn = substr(name, index(name, ".") + 1)
      if (fn ~ /^(Create|ExtCreate|GetDC|GetWindowDC)/) live[result] = pending[thread, name]
      else if (fn == "DeleteObject" || fn == "DeleteDC") delete live[arg[1]]
      else delete live[arg[2]] # ReleaseDC, SetWindowRgn
    }
    END { for (h in live) print h, live[h] }' "$(e2e_gdi_trace)" | sort
}
e2e_gdi_mark() { stat -c %s "$(e2e_gdi_trace)"; }
# e2e_gdi_calls MARK TEXT: the program's traced calls since MARK that begin with TEXT
e2e_gdi_calls() {
  tail -c +$(($1 + 1)) "$(e2e_gdi_trace)" |
    awk -v head="$(e2e_gdi_pid):" -v call=":Call $2" 'index($0, head) == 1 && index($0, call) { n++ } END { print n + 0 }'
}

# ---- The live test network ---------------------------------------------------------
# e2e_network PREFIX PAIRS: the test network (netns.sh) with its services, a
# Wine server started inside its host namespace, through which every Wine call
# then runs, and Wine's wpcap.dll at hand (E2E_WPCAP). A server started outside
# would make the program's sockets in this machine's own network. Without root
# the scenario is skipped (status 77).
E2E_WPCAP=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/wpcap.dll
e2e_network() {
  [ "$(id -u)" -eq 0 ] || { e2e_log "skipped: the test network needs root"; exit 77; }
  [ -f "$E2E_WPCAP" ] || e2e_die "Wine's wpcap.dll is not at $E2E_WPCAP"
  NET_LOG=$E2E_WORK/net
  net_setup "$1" "$2" || e2e_die "cannot build the test network $1"
  net_start_services || e2e_die "the test network's services did not start"
  e2e_wineserver -k # none may be left from setting the prefix up
  E2E_RUN=(ip netns exec "$NET_HOST")
  # Debian's wineserver wrapper adds options: its binary, directly
  (e2e_exec /usr/lib/wine/wineserver64 -f -p) >>"$E2E_WORK/wineserver.log" 2>&1 &
  E2E_SERVER_PID=$!
  # it listens once the socket in its folder exists
  e2e_until 10 test -S "/proc/$E2E_SERVER_PID/cwd/socket" || e2e_die "the Wine server did not start"
  ip netns pids "$NET_HOST" | grep -qx "$E2E_SERVER_PID" || e2e_die "no Wine server in $NET_HOST"
}

# The interfaces of the host namespace, once for each packet socket bound to
# it (/proc/net/packet's 5th column): a capture is open on one once it is listed.
e2e_capture_ifaces() {
  net_host ip -o link show | net_host awk -F': ' 'NR == FNR { split($0, f, " "); if (FNR > 1) n[f[5]]++; next }
    { sub(/@.*/, "", $2); for (k = 0; k < n[$1]; k++) print $2 }' /proc/net/packet -
}
e2e_capturing() { e2e_capture_ifaces | grep -qx "$1"; }
e2e_wait_capture() { e2e_until 30 e2e_capturing "$1" || e2e_die "no capture on $1 within 30 s: $(e2e_capture_ifaces | xargs)"; }
# e2e_until_report KIND TEXT CMD...: runs CMD and the report until the report
# holds TEXT: for traffic sent while the capture may still be starting, or to
# know that everything sent before was analysed (frames arrive in order).
e2e_until_report() {
  local try
  for try in $(seq 8); do
    "${@:3}" >>"$E2E_WORK/traffic.log" 2>&1
    e2e_report "$1"
    grep -qF "$2" "$E2E_APP_DIR/$1.html" && return 0
  done
  e2e_die "$1.html never showed '$2' after 8 tries of: ${*:3}"
}
