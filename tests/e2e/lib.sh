# Shared shell functions for running Kestrava.exe under Wine: a virtual X
# display, a Wine prefix prepared for Japanese text and a recording browser,
# starting and stopping the program, and the checks of the end-to-end tests.
# Sourced (bash) by every scenario script in this folder, by measure.sh and by
# scripts/run.sh.
#
# Set before calling the functions:
#   E2E_WIN_BUILD  the Windows build folder holding Kestrava.exe and
#                  kestrava-e2e-helper.exe
#   E2E_PREFIX     the Wine prefix (created on first use); the tests use
#                  <linux build folder>/e2e/wine-prefix
#   E2E_WORK       a scratch folder for logs and screenshots (created)
#
# From scripts/run.sh, for instance:
#   E2E_WIN_BUILD=build/windows E2E_PREFIX=... E2E_WORK=... (mkdir -p it)
#   e2e_use_display          # Xvfb only when DISPLAY is unset
#   e2e_ensure_prefix
#   e2e_use_app "$PWD/build/windows"   # or e2e_install_app NAME for a copy
#   e2e_launch; wait "$E2E_APP_PID"; e2e_wineserver -k; e2e_stop_xvfb
#
# Rules kept here for every Wine call: one environment (DISPLAY, WINEPREFIX,
# LC_ALL=ja_JP.UTF-8 so that Wine's ANSI code page is 932), output always
# redirected to files (Wine's background processes would hold a pipe open),
# and at the end the program's own exit command, then `wineserver -k`, then
# the X server we started, by its process id.

# Bump when the prefix set-up below changes: older prefixes are set up again.
E2E_PREFIX_VERSION="kestrava-e2e prefix 1"

E2E_XVFB_PID=
E2E_APP_PID=
E2E_APP_DIR=
E2E_APP_WINDIR=
E2E_FAILURES=0
E2E_LAUNCHES=0
# A command that every Wine call runs through, e.g. (ip netns exec NAME) for
# the live-capture tests, whose Wine processes all live in a network namespace.
E2E_RUN=()

e2e_log() { echo "e2e: $*" >&2; }

# A failure that makes the rest of the scenario pointless.
e2e_die() {
  echo "e2e: FATAL: $*" >&2
  exit 1
}

# A failed check: reported, counted, and the scenario goes on.
e2e_fail() {
  echo "e2e: FAIL: $*" >&2
  E2E_FAILURES=$((E2E_FAILURES + 1))
}

e2e_pass() { echo "e2e: ok: $*" >&2; }

# e2e_expect_eq WHAT EXPECTED ACTUAL
e2e_expect_eq() {
  if [ "$2" == "$3" ]; then
    e2e_pass "$1 = $3"
  else
    e2e_fail "$1: expected '$2', got '$3'"
  fi
}

# e2e_expect_file WHAT EXPECTED_FILE ACTUAL_FILE: byte-for-byte comparison.
e2e_expect_file() {
  if [ ! -f "$3" ]; then
    e2e_fail "$1: $3 does not exist"
  elif cmp -s "$2" "$3"; then
    e2e_pass "$1 ($(stat -c %s "$3") bytes as expected)"
  else
    e2e_fail "$1: $3 differs from $2; first difference: $(cmp "$2" "$3" 2>&1 | head -1)"
    diff <(od -An -c "$2") <(od -An -c "$3") | head -10 >&2 || true
  fi
}

# The environment of every Wine call. E2E_WINEDEBUG, when set, replaces the
# quiet default (e2e_launch_gdi_traced sets it for one launch).
e2e_wine_env() {
  echo "LC_ALL=ja_JP.UTF-8"
  echo "WINEDEBUG=${E2E_WINEDEBUG:--all}"
  echo "WINEPREFIX=$E2E_PREFIX"
  echo "DISPLAY=$DISPLAY"
}

# e2e_wine OUT ERR ARGS...: runs wine with ARGS, stdout into OUT, stderr into ERR.
e2e_wine() {
  local out=$1 err=$2
  shift 2
  local env
  mapfile -t env < <(e2e_wine_env)
  "${E2E_RUN[@]}" env "${env[@]}" wine "$@" >"$out" 2>"$err"
}

e2e_wineserver() {
  local env
  mapfile -t env < <(e2e_wine_env)
  "${E2E_RUN[@]}" env "${env[@]}" wineserver "$@" >>"$E2E_WORK/wineserver.log" 2>&1
}

# Starts Xvfb on a display it picks itself (so parallel runs never collide) and
# exports DISPLAY. The root window is white, so that everything outside the
# program's visible area can be told from its black background.
e2e_start_xvfb() {
  local geometry=${1:-1280x800x24}
  local fdfile=$E2E_WORK/xvfb.display
  : >"$fdfile"
  Xvfb -displayfd 3 -screen 0 "$geometry" -nolisten tcp -wr 3>"$fdfile" \
    >"$E2E_WORK/xvfb.log" 2>&1 &
  E2E_XVFB_PID=$!
  local i
  for i in $(seq 100); do
    if [ -s "$fdfile" ]; then
      export DISPLAY=":$(head -1 "$fdfile")"
      return 0
    fi
    kill -0 "$E2E_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  cat "$E2E_WORK/xvfb.log" >&2
  e2e_die "Xvfb did not start"
}

# For scripts/run.sh: use the user's display, or a virtual one when there is none.
e2e_use_display() {
  if [ -z "${DISPLAY:-}" ]; then
    e2e_start_xvfb "$@"
  fi
}

e2e_stop_xvfb() {
  if [ -n "$E2E_XVFB_PID" ]; then
    kill "$E2E_XVFB_PID" 2>/dev/null || true
    wait "$E2E_XVFB_PID" 2>/dev/null || true
    E2E_XVFB_PID=
  fi
}

# Writes a .reg file as regedit wants it: UTF-16LE with a byte-order mark, CR LF.
e2e_write_reg() {
  local target=$1
  {
    printf '\xff\xfe'
    sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE
  } >"$target"
}

# e2e_ensure_prefix [record-browser]: creates the Wine prefix once (under a
# lock, so concurrent callers wait for the first one) and sets it up: Wine's own
# fonts, the Japanese font faces mapped to the IPA fonts, no window-manager
# decoration, HTML files opened by Wine's browser launcher. With
# record-browser (the tests) the launcher's "browser" only records the address
# it was asked to open into $E2E_PREFIX/opened.txt; without it Wine's default
# list of Linux browsers is used. An existing prefix is set up in place, never
# removed.
e2e_ensure_prefix() {
  local mode=${1:-}
  mkdir -p "$(dirname "$E2E_PREFIX")"
  local lockfd
  exec {lockfd}>"$E2E_PREFIX.lock"
  flock -w 600 "$lockfd" || e2e_die "cannot lock $E2E_PREFIX.lock"
  if [ "$(cat "$E2E_PREFIX/kestrava-e2e.version" 2>/dev/null)" != "$E2E_PREFIX_VERSION $mode" ]; then
    if [ ! -f "$E2E_PREFIX/system.reg" ]; then
      e2e_log "creating the Wine prefix $E2E_PREFIX"
      local env
      mapfile -t env < <(e2e_wine_env)
      # No Mono or Gecko: their installers would ask questions.
      env "${env[@]}" WINEDLLOVERRIDES="mscoree=;mshtml=" wine wineboot -i \
        >"$E2E_WORK/wineboot.log" 2>&1 || {
        cat "$E2E_WORK/wineboot.log" >&2
        e2e_die "wineboot failed"
      }
      e2e_wineserver -w
    fi
    e2e_log "setting up the Wine prefix $E2E_PREFIX"
    mkdir -p "$E2E_PREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/* "$E2E_PREFIX/drive_c/windows/Fonts/"

    local browsers='-'
    if [ "$mode" == record-browser ]; then
      browsers="\"$E2E_PREFIX/record-browser.sh\""
      cat >"$E2E_PREFIX/record-browser.sh" <<'EOF'
#!/bin/sh
# Stands in for the web browser: records the address it was asked to open.
printf '%s\n' "$*" >>"$(dirname "$0")/opened.txt"
EOF
      chmod +x "$E2E_PREFIX/record-browser.sh"
    fi

    e2e_write_reg "$E2E_PREFIX/drive_c/kestrava-e2e.reg" <<EOF
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Decorated"="N"
"Managed"="N"

[HKEY_CLASSES_ROOT\\.html]
@="htmlfile"

[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]
@="\\"C:\\\\windows\\\\system32\\\\winebrowser.exe\\" \\"%1\\""

[HKEY_CURRENT_USER\\Software\\Wine\\WineBrowser]
"Browsers"=$browsers

EOF
    e2e_wine "$E2E_WORK/regedit.out" "$E2E_WORK/regedit.err" regedit /S 'C:\kestrava-e2e.reg' ||
      e2e_die "regedit failed"
    e2e_wineserver -w
    echo "$E2E_PREFIX_VERSION $mode" >"$E2E_PREFIX/kestrava-e2e.version"
  fi
  flock -u "$lockfd"
  exec {lockfd}>&-
}

# e2e_setup NAME: the scratch folder, the cleanup trap, a virtual display and
# the prefix. Every scenario script starts with it.
e2e_setup() {
  local name=$1
  [ -n "${E2E_WIN_BUILD:-}" ] || e2e_die "E2E_WIN_BUILD is not set"
  [ -n "${E2E_PREFIX:-}" ] || e2e_die "E2E_PREFIX is not set"
  E2E_WORK=${E2E_WORK:-$(dirname "$E2E_PREFIX")/e2e-work}/$name
  rm -rf "$E2E_WORK"
  mkdir -p "$E2E_WORK"
  trap e2e_cleanup EXIT
  [ -f "$E2E_WIN_BUILD/Kestrava.exe" ] || e2e_die "$E2E_WIN_BUILD/Kestrava.exe is missing (build the windows preset first)"
  [ -f "$E2E_WIN_BUILD/kestrava-e2e-helper.exe" ] || e2e_die "$E2E_WIN_BUILD/kestrava-e2e-helper.exe is missing"
  local screen=${E2E_SCREEN:-1280x800x24}
  E2E_SCREEN_WIDTH=${screen%%x*}
  screen=${screen#*x}
  E2E_SCREEN_HEIGHT=${screen%%x*}
  e2e_start_xvfb "${E2E_SCREEN:-1280x800x24}"
  e2e_ensure_prefix record-browser
  # The scenarios see the program without a capture library.
  [ ! -e "$E2E_PREFIX/drive_c/windows/system32/Npcap/wpcap.dll" ] ||
    e2e_die "$E2E_PREFIX has a capture library in system32/Npcap; the tests need a prefix without one"
}

# e2e_install_app NAME: a fresh folder C:\kestrava-e2e\NAME holding a copy of
# Kestrava.exe, so that setting.ini and the reports land beside it.
e2e_install_app() {
  local name=$1
  E2E_APP_DIR=$E2E_PREFIX/drive_c/kestrava-e2e/$name
  E2E_APP_WINDIR="C:\\kestrava-e2e\\$name"
  rm -rf "$E2E_APP_DIR"
  mkdir -p "$E2E_APP_DIR"
  cp "$E2E_WIN_BUILD/Kestrava.exe" "$E2E_APP_DIR/" || e2e_die "cannot copy Kestrava.exe"
}

# e2e_use_app DIR: run the Kestrava.exe that lies in the Unix folder DIR (Wine
# shows the root of the Unix file system as drive Z:).
e2e_use_app() {
  E2E_APP_DIR=$(cd "$1" && pwd) || e2e_die "no folder $1"
  [ -f "$E2E_APP_DIR/Kestrava.exe" ] || e2e_die "$E2E_APP_DIR/Kestrava.exe is missing"
  E2E_APP_WINDIR="Z:${E2E_APP_DIR//\//\\}"
}

# Starts Kestrava.exe from E2E_APP_DIR in the background; E2E_APP_PID is the
# Wine process that runs it.
e2e_launch() {
  [ -n "$E2E_APP_DIR" ] || e2e_die "e2e_install_app first"
  E2E_LAUNCHES=$((E2E_LAUNCHES + 1))
  local env
  mapfile -t env < <(e2e_wine_env)
  "${E2E_RUN[@]}" env "${env[@]}" wine "$E2E_APP_WINDIR\\Kestrava.exe" \
    >"$E2E_WORK/kestrava.$E2E_LAUNCHES.out" 2>"$E2E_WORK/kestrava.$E2E_LAUNCHES.err" &
  E2E_APP_PID=$!
}

e2e_app_running() {
  [ -n "$E2E_APP_PID" ] && kill -0 "$E2E_APP_PID" 2>/dev/null
}

# e2e_helper ARGS...: runs the Windows helper; its output is in
# $E2E_WORK/helper.out, with Unix line ends.
e2e_helper() {
  local rc=0
  e2e_wine "$E2E_WORK/helper.raw" "$E2E_WORK/helper.err" \
    "$E2E_WIN_BUILD/kestrava-e2e-helper.exe" "$@" || rc=$?
  tr -d '\r' <"$E2E_WORK/helper.raw" >"$E2E_WORK/helper.out"
  return $rc
}

# e2e_field KEY [N]: field N (default: all after the key) of the helper's line KEY.
e2e_field() {
  if [ $# -ge 2 ]; then
    awk -v k="$1" -v n="$2" '$1 == k { print $(n + 1); exit }' "$E2E_WORK/helper.out"
  else
    awk -v k="$1" '$1 == k { $1 = ""; sub(/^ /, ""); print; exit }' "$E2E_WORK/helper.out"
  fi
}

# Waits up to MS milliseconds for the overlay window; the helper's output then
# describes it.
e2e_wait_window() {
  e2e_helper wait-window "${1:-20000}" || {
    cat "$E2E_WORK/helper.out" >&2
    e2e_die "the Kestrava window did not appear"
  }
}

# The program's own exit command, then waiting for its process to end.
# Returns 1 when it did not end within 15 s.
e2e_exit_app() {
  e2e_app_running || {
    e2e_fail "Kestrava.exe was no longer running when it was asked to exit"
    return 1
  }
  e2e_helper command 40008 || e2e_fail "posting the exit command failed"
  e2e_wait_exit
}

# Waits up to 15 s for the Kestrava.exe process to end, which must give the
# exit status 0; 1 (and a failed check) when it does not end.
e2e_wait_exit() {
  local i status
  for i in $(seq 150); do
    if ! e2e_app_running; then
      status=0
      wait "$E2E_APP_PID" 2>/dev/null || status=$?
      E2E_APP_PID=
      e2e_expect_eq "exit status of Kestrava.exe" 0 "$status"
      return 0
    fi
    sleep 0.1
  done
  e2e_fail "Kestrava.exe did not end within 15 s of the exit command"
  return 1
}

# Exit command (unless the process was already seen to end), wait for the
# process, then stop every Wine process of the prefix.
e2e_stop() {
  if [ -n "$E2E_APP_PID" ]; then
    e2e_exit_app || true
  fi
  e2e_wineserver -k || true
  if [ -n "$E2E_APP_PID" ]; then
    wait "$E2E_APP_PID" 2>/dev/null || true
    E2E_APP_PID=
  fi
}

e2e_cleanup() {
  if e2e_app_running; then
    e2e_wineserver -k || true
    wait "$E2E_APP_PID" 2>/dev/null || true
  fi
  e2e_stop_xvfb
}

# Ends a scenario: its exit status tells ctest whether every check passed.
e2e_finish() {
  if [ "$E2E_FAILURES" -ne 0 ]; then
    e2e_log "$E2E_FAILURES check(s) failed; logs and screenshots in $E2E_WORK"
    exit 1
  fi
  e2e_log "all checks passed"
  exit 0
}

# e2e_cp932 TEXT: the code page 932 bytes of a UTF-8 text, on stdout.
e2e_cp932() { printf '%s' "$1" | iconv -f UTF-8 -t CP932; }

# e2e_hex TEXT: the same bytes as lower-case hex, as the helper prints texts.
e2e_hex() { e2e_cp932 "$1" | od -An -tx1 -v | tr -d ' \n'; }

# e2e_screenshot NAME: the whole virtual screen into $E2E_WORK/NAME.png.
e2e_screenshot() {
  import -display "$DISPLAY" -window root "$E2E_WORK/$1.png" 2>"$E2E_WORK/import.err" ||
    e2e_die "screenshot failed"
}

# e2e_pixels NAME X Y W H: the pixels of a rectangle of a screenshot, one line
# "x y r g b" each, in screen coordinates.
e2e_pixels() {
  convert "$E2E_WORK/$1.png" -crop "$4x$5+$2+$3" +repage -depth 8 txt:- |
    awk -v x0="$2" -v y0="$3" -F'[ ,:()]+' 'NR > 1 { print $1 + x0, $2 + y0, $3, $4, $5 }'
}

# e2e_opened_file: the file holding the addresses that the recording browser
# was asked to open, one a line.
e2e_opened_file() { echo "$E2E_PREFIX/opened.txt"; }

# e2e_default_ini SCREEN_WIDTH: the 29 lines of setting.ini as a first start
# writes them on a single screen of that width, in UTF-8 without line ends.
e2e_default_ini() {
  cat <<INI
winX=$(($1 / 2))
winY=0
wintop=1
fsize=18
fontface=ＭＳ Ｐゴシック
ftype=400
toumeido=255
backR=0
backG=0
backB=0
rectR=0
rectG=255
rectB=0
rect2R=255
rect2G=0
rect2B=255
text1R=255
text1G=192
text1B=128
text2R=255
text2G=255
text2B=0
text3R=128
text3G=192
text3B=255
sNIC=undefined
dnsdot=0
dispprc=1
notdisperr=1
INI
}

# e2e_ini_file TARGET [KEY=VALUE...]: writes the default lines with the given
# values replaced, as the program writes the file: code page 932, CR LF.
# Needs E2E_SCREEN_WIDTH.
e2e_ini_file() {
  local target=$1
  shift
  local lines
  lines=$(e2e_default_ini "$E2E_SCREEN_WIDTH")
  local pair
  for pair in "$@"; do
    local key=${pair%%=*}
    grep -q "^$key=" <<<"$lines" || e2e_die "no setting.ini key $key"
    lines=$(awk -v k="$key" -v line="$pair" -F= '$1 == k { print line; next } { print }' <<<"$lines")
  done
  printf '%s\n' "$lines" | sed 's/$/\r/' | iconv -f UTF-8 -t CP932 >"$target"
}

# e2e_header_row "LABEL|LABEL|...": a report's header row (the label
# "ICMP from|to" holds the separator and is given as "ICMP from/to").
e2e_header_row() {
  local label row="<tr>"
  local IFS='|'
  for label in $1; do
    row+="<td style='color:#fff;background-color:#000'>${label//from\/to/from|to}</td>"
  done
  printf '%s</tr>' "$row"
}

# e2e_empty_report dns|tcp|icmp|process TARGET: the report a program with empty
# traffic tables writes (code page 932, CR LF): the head, the two header rows
# and the closing lines.
e2e_empty_report() { e2e_report "$1" "$2" "" ""; }

# e2e_report dns|tcp|icmp|process TARGET ROWS4 ROWS6: the same with the rows
# of its two sections (UTF-8 lines, without line ends; "" for none).
e2e_report() {
  local kind=$1 target=$2 rows4=$3 rows6=$4 title labels4 labels6 second=""
  case $kind in
    dns)
      title=DNS
      labels4="No.|Name|IPv4 Address"
      labels6="No.|Name|IPv6 Address"
      ;;
    tcp)
      title=TCP
      labels4="No.|IPv4 Address|Name|Local Port|Total|Resend|Status|Process"
      labels6="No.|IPv6 Address|Name|Local Port|Total|Resend|Status|Process"
      ;;
    icmp)
      title=ICMP
      labels4="No.|ICMP from/to|IPv4 Target|Name|Type|Code|Direction"
      labels6="No.|ICMP from/to|IPv6 Target|Name|Type|Code|Direction"
      ;;
    process)
      title=プロセス
      labels4="No.|プロセス|IPv4 Address|Host Name"
      labels6="No.|プロセス|IPv6 Address|Host Name"
      second="<table>"
      ;;
    *) e2e_die "no report $kind" ;;
  esac
  {
    cat <<HEAD
<html>
<head>
<title>$title</title>
<meta http-equiv="Content-Type" content="text/html; charset=shift_jis">
<meta http-equiv="content-style-type" content="text/css">
<style type="text/css">
body {font-size:75%;color:#505050;line-height:150%;letter-spacing:1px;background-color:#ffffff;}
table,td{border:1px solid;border-collapse: collapse;padding:2px;}
</style>
</head>
<body>
HEAD
    printf '<table>%s\n' "$(e2e_header_row "$labels4")"
    [ -z "$rows4" ] || printf '%s\n' "$rows4"
    printf '%s%s\n' "$second" "$(e2e_header_row "$labels6")"
    [ -z "$rows6" ] || printf '%s\n' "$rows6"
    printf '</table>\n</body></html>\n'
  } | sed 's/$/\r/' | iconv -f UTF-8 -t CP932 >"$target"
}

# e2e_check_picture SHOT L T W H FRAME BACKGROUND TEXT: checks the overlay's
# visible area L,T (W×H) on a screenshot: a 1-pixel frame in FRAME ("r g b"),
# inside only BACKGROUND and text in TEXT (with the grey levels of smoothed
# glyph edges between the two), at least 20 pixels of pure TEXT colour, and the
# white root window right around the area (nothing of the window's own frame
# shows). Each finding is counted as a failed check.
e2e_check_picture() {
  local shot=$1 l=$2 t=$3 w=$4 h=$5 frame=$6 back=$7 text=$8
  local x0=$((l > 0 ? l - 1 : 0)) y0=$((t > 0 ? t - 1 : 0))
  local x1=$((l + w + 1)) y1=$((t + h + 1))
  local result
  result=$(e2e_pixels "$shot" "$x0" "$y0" $((x1 - x0)) $((y1 - y0)) | awk \
    -v l="$l" -v t="$t" -v r=$((l + w - 1)) -v b=$((t + h - 1)) \
    -v frame="$frame" -v back="$back" -v text="$text" '
    BEGIN { split(frame, f, " "); split(back, g, " "); split(text, c, " ")
            best = 1; for (i = 2; i <= 3; i++) if ((c[i] - g[i])^2 > (c[best] - g[best])^2) best = i }
    function near(a, e) { return a - e <= 3 && e - a <= 3 }
    {
      p[1] = $3; p[2] = $4; p[3] = $5
      if ($1 < l || $1 > r || $2 < t || $2 > b) {
        if (!(p[1] == 255 && p[2] == 255 && p[3] == 255)) { outside++; if (!so) so = $0 }
      } else if ($1 == l || $1 == r || $2 == t || $2 == b) {
        if (!(p[1] == f[1] && p[2] == f[2] && p[3] == f[3])) { framebad++; if (!sf) sf = $0 }
      } else {
        if (p[1] == c[1] && p[2] == c[2] && p[3] == c[3]) pure++
        k = (c[best] == g[best]) ? 0 : (p[best] - g[best]) / (c[best] - g[best])
        ok = k >= 0 && k <= 1
        for (i = 1; i <= 3; i++) if (!near(p[i], g[i] + k * (c[i] - g[i]))) ok = 0
        if (!ok) { inside++; if (!si) si = $0 }
      }
    }
    END { printf "%d %d %d %d|%s|%s|%s\n", outside, framebad, inside, pure, so, sf, si }')
  local counts=${result%%|*} samples=${result#*|}
  read -r outside framebad inside pure <<<"$counts"
  local what="picture $shot at $l,$t ${w}x$h"
  [ "$outside" -eq 0 ] && e2e_pass "$what: white all around" ||
    e2e_fail "$what: $outside pixels around the visible area are not the white root (first: ${samples%%|*})"
  samples=${samples#*|}
  [ "$framebad" -eq 0 ] && e2e_pass "$what: frame in $frame" ||
    e2e_fail "$what: $framebad frame pixels are not $frame (first: ${samples%%|*})"
  samples=${samples#*|}
  [ "$inside" -eq 0 ] && e2e_pass "$what: inside only $back and $text" ||
    e2e_fail "$what: $inside pixels inside are neither $back nor $text (first: $samples)"
  [ "$pure" -ge 20 ] && e2e_pass "$what: $pure text pixels in $text" ||
    e2e_fail "$what: only $pure pixels in the text colour $text"
}

# ---- GDI objects under Wine ----------------------------------------------------
# Wine's GetGuiResources is a stub (0, ERROR_CALL_NOT_IMPLEMENTED), so the
# tests count the GDI objects of the program from Wine's relay trace, limited
# (RelayInclude) to the calls that create, hand over and delete them. Each
# handle a creating call returns is held until a DeleteObject or DeleteDC of it
# succeeds; ReleaseDC gives back what GetDC or GetWindowDC gave; SetWindowRgn
# hands its region to the system, which deletes it. The trace has one "Call"
# line with the arguments and one "Ret" line with the result per call, each
# headed by the process and the thread; calls that Wine's own user32 and gdi32
# make among themselves are not traced, so what is counted is what the program
# and the controls of its dialogs hold. Processes the program starts (Wine's
# desktop process, when none runs yet) write into the same trace: only the
# lines of the first process, the program's, count.
E2E_GDI_CALLS="gdi32.CreatePen;gdi32.CreatePenIndirect;gdi32.ExtCreatePen;\
gdi32.CreateSolidBrush;gdi32.CreateBrushIndirect;gdi32.CreateHatchBrush;\
gdi32.CreatePatternBrush;gdi32.CreateDIBPatternBrushPt;gdi32.CreateFontA;gdi32.CreateFontW;\
gdi32.CreateFontIndirectA;gdi32.CreateFontIndirectW;gdi32.CreateFontIndirectExW;\
gdi32.CreateCompatibleDC;gdi32.CreateDCA;gdi32.CreateDCW;gdi32.CreateICA;gdi32.CreateICW;\
gdi32.CreateCompatibleBitmap;gdi32.CreateBitmap;gdi32.CreateBitmapIndirect;\
gdi32.CreateDIBSection;gdi32.CreateDIBitmap;gdi32.CreateRectRgn;gdi32.CreateRectRgnIndirect;\
gdi32.CreateRoundRectRgn;gdi32.CreateEllipticRgn;gdi32.CreateEllipticRgnIndirect;\
gdi32.CreatePolygonRgn;gdi32.ExtCreateRegion;gdi32.CreatePalette;\
gdi32.DeleteObject;gdi32.DeleteDC;user32.GetDC;user32.GetDCEx;user32.GetWindowDC;\
user32.ReleaseDC;user32.SetWindowRgn"

# e2e_launch_gdi_traced: e2e_launch with the relay trace of the calls above in
# the program's standard error ($E2E_WORK/kestrava.N.err).
e2e_launch_gdi_traced() {
  e2e_wine "$E2E_WORK/relay-include.out" "$E2E_WORK/relay-include.err" \
    reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /d "$E2E_GDI_CALLS" /f ||
    e2e_die "cannot limit the relay trace"
  E2E_WINEDEBUG=-all,+pid,+relay e2e_launch
}

# The trace of the last launch.
e2e_gdi_trace() { echo "$E2E_WORK/kestrava.$E2E_LAUNCHES.err"; }

# The program's process id as the trace writes it: the first one in it.
e2e_gdi_pid() { awk -F: '/^[0-9a-f]+:[0-9a-f]+:/ { print $1; exit }' "$(e2e_gdi_trace)"; }

# e2e_gdi_live: the GDI objects the program holds now, one a line: the handle
# and the call that made it ("01100054 gdi32.CreateSolidBrush(00000000)").
e2e_gdi_live() {
  awk -v pid="$(e2e_gdi_pid)" '
    /^[0-9a-f]+:[0-9a-f]+:(Call|Ret) +(gdi32|user32)[.][A-Za-z]+[(]/ {
      if (substr($0, 1, index($0, ":") - 1) != pid) next
      rest = substr($0, index($0, ":") + 1)
      colon = index(rest, ":"); thread = substr(rest, 1, colon - 1)
      rest = substr(rest, colon + 1); isCall = rest ~ /^Call/
      sub(/^[A-Za-z]+ +/, "", rest)                 # "gdi32.CreatePen(...) ret=..."
      name = substr(rest, 1, index(rest, "(") - 1)
      if (isCall) { args = substr(rest, 1, index(rest, ")")); pending[thread, name] = args; next }
      result = rest; sub(/.*retval=/, "", result); sub(/ .*/, "", result)
      if (result ~ /^0+$/) next                     # failed: nothing made, nothing freed
      split(substr(pending[thread, name], length(name) + 2), arg, /[,)]/)
      fn = substr(name, index(name, ".") + 1)
      if (fn ~ /^(Create|ExtCreate|GetDC|GetWindowDC)/) live[result] = pending[thread, name]
      else if (fn == "DeleteObject" || fn == "DeleteDC") delete live[arg[1]]
      else if (fn == "ReleaseDC" || fn == "SetWindowRgn") delete live[arg[2]]
    }
    END { for (h in live) print h, live[h] }' "$(e2e_gdi_trace)" | sort
}

e2e_gdi_count() { e2e_gdi_live | wc -l; }

# e2e_gdi_mark: the length of the trace now, for e2e_gdi_calls.
e2e_gdi_mark() { stat -c %s "$(e2e_gdi_trace)"; }

# e2e_gdi_calls MARK TEXT: how many of the program's traced calls since MARK
# begin with TEXT ("gdi32.CreatePen(").
e2e_gdi_calls() {
  tail -c +$(($1 + 1)) "$(e2e_gdi_trace)" |
    awk -v head="$(e2e_gdi_pid):" -v call=":Call $2" \
      'index($0, head) == 1 && index($0, call) { n++ } END { print n + 0 }'
}

# ---- Dialogs and pictures ------------------------------------------------------

# e2e_line PREFIX: the rest of the first line of helper.out that starts with
# PREFIX and a blank ("bar 1005" gives "0 0 255").
e2e_line() {
  awk -v p="$1 " 'index($0, p) == 1 { print substr($0, length(p) + 1); exit }' "$E2E_WORK/helper.out"
}

# e2e_text TEXT: hex of TEXT in code page 932, "-" for an empty text, as the
# helper prints texts.
e2e_text() {
  if [ -z "$1" ]; then echo -; else e2e_hex "$1"; fi
}

# e2e_screenshot_when NAME X Y "R G B": screenshots until the pixel X,Y shows
# the colour (up to 10 s), so that a repaint has reached the screen; the last
# one stays as NAME.png.
e2e_screenshot_when() {
  local name=$1 x=$2 y=$3 want=$4 i
  for i in $(seq 50); do
    e2e_screenshot "$name"
    [ "$(e2e_pixels "$name" "$x" "$y" 1 1 | cut -d' ' -f3-)" == "$want" ] && return 0
    sleep 0.2
  done
  e2e_log "pixel $x,$y of $name.png is not $want after 10 s"
}

# e2e_ink_box SHOT L T W H BACKGROUND: the box of the pixels inside the frame of
# the area L,T (W×H) that are not BACKGROUND ("r g b"), relative to L,T:
# "left top right bottom", or "none".
e2e_ink_box() {
  e2e_pixels "$1" $(($2 + 1)) $(($3 + 1)) $(($4 - 2)) $(($5 - 2)) | awk -v l="$2" -v t="$3" -v back="$6" '
    $3 " " $4 " " $5 != back {
      x = $1 - l; y = $2 - t
      if (!n++ || x < x0) x0 = x; if (n == 1 || y < y0) y0 = y
      if (x > x1) x1 = x; if (y > y1) y1 = y
    }
    END { if (n) print x0, y0, x1, y1; else print "none" }'
}

# e2e_check_preview SHOT L T FRAME BACKGROUND DNS TCP ICMP: the settings
# dialog's preview whose top-left corner is at L,T on the screen (80×50): a
# 1-pixel frame in FRAME, inside BACKGROUND with the labels "DNS", "TCP" and
# "ICMP" (rows from y 4, 20 and 36, 12 pixels high) in their colours, the
# smoothed edges of a glyph between its colour and the background, and at
# least 5 pixels of each label's pure colour.
e2e_check_preview() {
  local shot=$1 l=$2 t=$3 frame=$4 back=$5
  local result
  result=$(e2e_pixels "$shot" "$l" "$t" 80 50 | awk -v l="$l" -v t="$t" \
    -v frame="$frame" -v back="$back" -v c1="$6" -v c2="$7" -v c3="$8" '
    BEGIN { split(frame, f, " "); split(back, g, " ") }
    function near(a, e) { return a - e <= 3 && e - a <= 3 }
    {
      x = $1 - l; y = $2 - t; p[1] = $3; p[2] = $4; p[3] = $5
      if (x == 0 || y == 0 || x == 79 || y == 49) {
        if (!(p[1] == f[1] && p[2] == f[2] && p[3] == f[3])) { framebad++; if (!sf) sf = $0 }
        next
      }
      row = y < 20 ? 1 : y < 36 ? 2 : 3
      split(row == 1 ? c1 : row == 2 ? c2 : c3, c, " ")
      if (p[1] == c[1] && p[2] == c[2] && p[3] == c[3]) pure[row]++
      best = 1; for (i = 2; i <= 3; i++) if ((c[i] - g[i])^2 > (c[best] - g[best])^2) best = i
      k = (c[best] == g[best]) ? 0 : (p[best] - g[best]) / (c[best] - g[best])
      ok = k >= 0 && k <= 1
      for (i = 1; i <= 3; i++) if (!near(p[i], g[i] + k * (c[i] - g[i]))) ok = 0
      if (!ok) { inside++; if (!si) si = $0 }
    }
    END { printf "%d %d %d %d %d|%s|%s\n", framebad, inside, pure[1], pure[2], pure[3], sf, si }')
  local framebad inside p1 p2 p3
  read -r framebad inside p1 p2 p3 <<<"${result%%|*}"
  local samples=${result#*|} what="preview $shot at $l,$t"
  [ "$framebad" -eq 0 ] && e2e_pass "$what: frame in $frame" ||
    e2e_fail "$what: $framebad frame pixels are not $frame (first: ${samples%%|*})"
  [ "$inside" -eq 0 ] && e2e_pass "$what: inside only $back and the label colours" ||
    e2e_fail "$what: $inside pixels inside are neither $back nor their label's colour (first: ${samples#*|})"
  [ "$p1" -ge 5 ] && [ "$p2" -ge 5 ] && [ "$p3" -ge 5 ] &&
    e2e_pass "$what: labels in $6 / $7 / $8 ($p1, $p2, $p3 pure pixels)" ||
    e2e_fail "$what: too few label pixels in $6 / $7 / $8: $p1, $p2, $p3"
}
