# Shared steps of the end-to-end scripts, the demonstration and the benchmarks: the program
# folder, the fonts, Wine paths, the printer's jobs and PDFs; then, inside scripts/testenv.sh,
# starting and stopping programs, windows and the tray icon, the clipboard, the screen's colours
# and the printed pages, and one chain of exit steps.
#
#   source tests/e2e_lib.sh          inside scripts/testenv.sh (else the script is skipped, 77)
#   source tests/e2e_lib.sh --host   outside it: only the first part, nothing started
# shellcheck shell=bash disable=SC2317  # the exit steps run from the trap

# --- anywhere ---------------------------------------------------------------------------------

winpath() { printf 'Z:%s' "${1//\//\\}"; }

# e2e_install EXE DIR: a program folder with the exe and, unless DIR has its own already, the
# shipped settings. Commands run behind the prefix array E2E_AS (another user, say). Returns 1
# when the exe could not be copied, 2 when the settings could not.
E2E_AS=()
e2e_install() {
    local exe=$1 dir=$2
    "${E2E_AS[@]}" mkdir -p "$dir/CNT" && "${E2E_AS[@]}" cp "$exe" "$dir/tessary.exe" || return 1
    [[ -f $dir/CNT/Tessary.ini ]] ||
        "${E2E_AS[@]}" cp "$(dirname "$exe")/CNT/Tessary.ini" "$dir/CNT/Tessary.ini" || return 2
}

# The start of a registry file that replaces the Japanese Windows fonts, in UTF-8; the value names
# are not ASCII, so regedit wants the whole file converted to UTF-16LE.
e2e_font_replacements() {
    printf '\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    printf '"%s"="IPAPGothic"\r\n' "ＭＳ Ｐゴシック" "MS PGothic" "MS UI Gothic" "MS Shell Dlg"
    printf '"%s"="IPAGothic"\r\n' "ＭＳ ゴシック" "MS Gothic"
}

# Title bars draw their buttons with Marlett; this Wine does not load the one fonts-wine ships
# from its data folder, but takes it from the prefix's Fonts folder. Returns 1 when it is missing.
e2e_title_bar_font() {
    local marlett=/usr/share/wine/fonts/marlett.ttf
    [[ -f $marlett ]] || return 1
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts" &&
        cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
}

# CUPS's jobs, of every printer, as "id,copies,state", one a line. The server is a local socket,
# written into the URI's host the way ipptool wants it.
cups_jobs() {
    local host=localhost request=${TMPDIR:-/tmp}/tessary-jobs.$$.test
    if [[ ${CUPS_SERVER:-} == /* ]]; then host=${CUPS_SERVER//\//%2F}; fi
    cat >"$request" <<'EOF'
{
    OPERATION Get-Jobs
    GROUP operation-attributes-tag
    ATTR charset attributes-charset utf-8
    ATTR naturalLanguage attributes-natural-language en
    ATTR uri printer-uri $uri
    ATTR keyword which-jobs all
    ATTR keyword requested-attributes job-id,copies,job-state
    STATUS successful-ok
    DISPLAY job-id
    DISPLAY copies
    DISPLAY job-state
}
EOF
    ipptool -c "ipp://$host/" "$request" | tail -n +2
    rm -f "$request"
}
last_job_id() { cups_jobs | cut -d, -f1 | sort -n | tail -n1; }

# pdf_page_size PDF: "PAGES W H", the size of the first page as seen (rotation applied), in points.
pdf_page_size() {
    pdfinfo "$1" 2>/dev/null | awk '/^Pages:/ {n=$2} /^Page size:/ {w=$3; h=$5} /^Page rot:/ {r=$3}
        END {if (r % 180) print n + 0, h, w; else print n + 0, w, h}'
}

[[ ${1:-} == --host ]] && return 0

# --- inside the test environment ----------------------------------------------------------------

if [[ ${TESSARY_TESTENV:-} != 1 ]]; then
    echo "skipped: run inside scripts/testenv.sh" >&2
    exit 77
fi

E2E_NAME=${E2E_NAME:-$(basename "$0" .sh)}
E2E_DIR=$(mktemp -d "${TESSARY_TESTENV_DIR:-/tmp}/$E2E_NAME.XXXXXX")
E2E_PIDS=()
E2E_PROGRAMS=()
E2E_EXIT=()
E2E_FAILED=0

# e2e_on_exit COMMAND: run when the script ends, the last one added first, before the processes
# in E2E_PIDS are stopped and E2E_DIR goes.
e2e_on_exit() { E2E_EXIT=("$1" "${E2E_EXIT[@]}"); }
# The next script starts from nothing: no program of this environment left running (a window
# left open, or a picture left on the clipboard, would open windows in the next one). The
# clipboard is emptied on the Windows side, where Wine may keep what an X program offered.
E2E_HELPER=${E2E_HELPER:-$(dirname "${EXE:-.}")/road_helper.exe}
e2e_empty_clipboard() {
    [[ ! -f $E2E_HELPER ]] || timeout 30 wine "$E2E_HELPER" clipboard empty >/dev/null 2>&1
}
e2e_leave_nothing() {
    local pid left=()
    if [[ ${#E2E_PROGRAMS[@]} -gt 0 || -n $(program_windows) ]]; then
        timeout 20 wine taskkill /IM tessary.exe >/dev/null 2>&1
        for pid in "${E2E_PROGRAMS[@]}"; do
            wait_for 10 pid_gone "$pid" || kill -KILL "$pid" 2>/dev/null
        done
        if ! wait_for 5 no_program_windows; then
            timeout 20 wine taskkill /F /IM tessary.exe >/dev/null 2>&1
            wait_for 5 no_program_windows || left+=("windows $(program_windows)")
        fi
    fi
    for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
    e2e_empty_clipboard || left+=("the clipboard")
    wait_for 120 no_jobs_pending || left+=("print jobs $(lpstat -o | cut -d' ' -f1 | xargs)")
    ((${#left[@]} == 0)) && return 0
    echo "$E2E_NAME: left behind: ${left[*]}" >&2
    return 1
}
e2e_cleanup() {
    local status=$? step
    set +e
    for step in "${E2E_EXIT[@]}"; do eval "$step"; done
    e2e_leave_nothing || ((status != 0)) || status=1
    rm -rf "$E2E_DIR"
    exit "$status"
}
trap e2e_cleanup EXIT

# e2e_need TOOL...: ends the script when one is missing.
e2e_need() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || {
            echo "$E2E_NAME: $tool not found; run scripts/setup.sh" >&2
            exit 1
        }
    done
}

# fail MESSAGE: ends the script, keeping a picture of the screen (the environment's folder goes
# with the run): E2E_FAILURE_SHOT, or one in TESSARY_FAILURE_DIR (/tmp). With E2E_KEEP_GOING=1
# it counts the failure and returns 1 (the script goes on without set -e); e2e_end then ends the
# script with it.
E2E_FAIL_PREFIX="FAIL:"
E2E_SHOT_PREFIX="screenshot:"
fail() {
    echo "$E2E_FAIL_PREFIX $*" >&2
    E2E_FAILED=1
    [[ ${E2E_KEEP_GOING:-} == 1 ]] && return 1
    local shot=${E2E_FAILURE_SHOT:-${TESSARY_FAILURE_DIR:-/tmp}/$E2E_NAME-failure-$(date +%Y%m%d-%H%M%S).png}
    if [[ -n ${DISPLAY:-} ]] && import -window root "$shot" 2>/dev/null; then
        echo "$E2E_SHOT_PREFIX $shot" >&2
    fi
    exit 1
}
pass() { echo "ok: $*"; }
e2e_end() {
    ((E2E_FAILED == 0)) || exit 1
    echo "$E2E_NAME: all checks passed${1:+ $1}"
}

# wait_for SECONDS COMMAND...: polls until the command succeeds. Counted by the clock: a check
# that takes a screenshot can itself take half a second on a loaded machine.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}
pid_gone() { ! kill -0 "$1" 2>/dev/null; }

# --- programs ---------------------------------------------------------------------------------

# e2e_start DIR: starts DIR/tessary.exe; sets E2E_LAST_PID. Wine's output goes to E2E_LOG.
E2E_LOG=/dev/null
e2e_start() {
    (cd "$1" && exec wine "$1/tessary.exe" >>"$E2E_LOG" 2>&1) &
    E2E_LAST_PID=$!
    E2E_PIDS+=("$E2E_LAST_PID")
    E2E_PROGRAMS+=("$E2E_LAST_PID")
}

# e2e_stop PID: closes the program as a session end does (WM_CLOSE to its windows: it leaves the
# chain and the tray), then insists.
e2e_stop() {
    [[ -n $1 ]] && ! pid_gone "$1" || return 0
    timeout 20 wine taskkill /IM tessary.exe >/dev/null 2>&1
    wait_for 5 pid_gone "$1" || kill -KILL "$1" 2>/dev/null
    wait "$1" 2>/dev/null
    return 0
}

# gone DIR: no tessary.exe of that program folder is running.
gone() { ! pgrep -f "$1/tessary.exe" >/dev/null; }

# Processes of this test environment whose command line starts with the text PREFIX (a Windows
# path, say): the same path can be running in another environment's Wine on this machine.
env_pids() {
    local f pid cmd
    for f in /proc/[0-9]*/cmdline; do
        pid=${f#/proc/}
        pid=${pid%/cmdline}
        cmd=$({ tr '\0' ' ' <"$f"; } 2>/dev/null) || continue
        [[ $cmd == "$1"* ]] || continue
        grep -qzx "TESSARY_TESTENV_DIR=$TESSARY_TESTENV_DIR" "/proc/$pid/environ" 2>/dev/null &&
            echo "$pid"
    done
}
env_count() { env_pids "$1" | wc -l; }
env_count_is() { [[ $(env_count "$1") == "$2" ]]; }

# --- windows ----------------------------------------------------------------------------------

# The visible top-level window with this exact title.
named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1; }
visible() { [[ -n $(named "$1") ]]; }
hidden() { ! visible "$1"; }

# Absolute position of a window: "X Y W H".
window_geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4}
        /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}
# The same for the visible window with this exact title; nothing when there is none.
geometry() {
    local id
    id=$(named "$1")
    if [[ -n $id ]]; then window_geometry "$id"; fi
}
screen_size() { xdpyinfo | awk '/dimensions:/ {split($2, d, "x"); print d[1], d[2]}'; }

# Top-level windows mapped right now, one id per line.
mapped_windows() {
    xwininfo -root -children | awk '/^ +0x/ {print $1}' | while read -r id; do
        if xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable'; then echo "$id"; fi
    done | sort
}
# Windows mapped since the list BEFORE (menus are top-level windows).
new_windows() { comm -13 <(echo "$1") <(mapped_windows); }
has_new_window() { [[ -n $(new_windows "$1") ]]; }
# wait_new_window SECONDS BEFORE: prints the first window mapped since the list BEFORE.
wait_new_window() {
    local deadline=$((SECONDS + $1)) w
    while :; do
        w=$(new_windows "$2" | head -n1)
        if [[ -n $w ]]; then
            echo "$w"
            return 0
        fi
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# The program's mapped windows (its menus among them), as one line.
program_windows() { xdotool search --onlyvisible --class tessary 2>/dev/null | sort | xargs; }
no_program_windows() { [[ -z $(program_windows) ]]; }
changed_from() { [[ $(program_windows) != "$1" ]]; }

# Colour of a screen pixel as "R G B" (0-255).
pixel_at() {
    import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null |
        sed -n '2s/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p'
}

# --- the tray ---------------------------------------------------------------------------------

tray_window() { named 'Wine System Tray'; }

# Number of icons shown in the tray: the tray is a row of square slots on a plain background,
# so a slot whose pixels are not all of one colour holds an icon.
tray_icons() {
    local w x y ww hh
    w=$(tray_window)
    [[ -n $w ]] || {
        echo 0
        return
    }
    read -r x y ww hh < <(window_geometry "$w")
    import -window root -crop "${ww}x${hh}+$x+$y" +repage "$E2E_DIR/tray.png" 2>/dev/null
    convert "$E2E_DIR/tray.png" -crop "${hh}x${hh}" +repage \
        -format '%[fx:standard_deviation>0.02?1:0]\n' info: 2>/dev/null | grep -c '^1'
}
tray_icons_are() { [[ $(tray_icons) == "$1" ]]; }
# The icon count once the tray has settled: two equal readings half a second apart (a reading
# taken while the tray is being drawn can be off by one). Fails when it does not settle in 20 s.
tray_icons_settled() {
    local a b deadline=$((SECONDS + 20))
    a=$(tray_icons)
    while ((SECONDS < deadline)); do
        sleep 0.5
        b=$(tray_icons)
        if [[ $a == "$b" ]]; then
            echo "$a"
            return 0
        fi
        a=$b
    done
    return 1
}

# Right-clicks the Nth tray icon (from 0).
tray_right_click() {
    local n=${1:-0} w x y ww hh
    w=$(tray_window)
    [[ -n $w ]] || fail "no tray window"
    read -r x y ww hh < <(window_geometry "$w")
    xdotool mousemove $((x + hh / 2 + n * hh)) $((y + hh / 2)) click 3
}

# tray_menu N KEY...: right press on the Nth icon (設定, リモコン, 終了), then the keys.
tray_menu() {
    local n=$1 before
    shift
    before=$(mapped_windows)
    tray_right_click "$n"
    wait_new_window 10 "$before" >/dev/null || fail "no menu after a right press on the icon"
    sleep 0.4
    xdotool key "$@"
}

# --- the remote control and the previews --------------------------------------------------------

# remote_menu KEY...: right button on the remote's picture, then the keys (the menu opens with
# nothing selected: スイッチ, 印刷, 閉じる). Returns 1 when no menu opened.
remote_menu() {
    local before rx ry key
    visible ClipRemort || fail "no remote control to open the menu on" || return 1
    read -r rx ry _ _ < <(geometry ClipRemort)
    before=$(program_windows)
    xdotool mousemove $((rx + 21)) $((ry + 120)) click 3
    wait_for 10 changed_from "$before" || fail "no menu after a right press on the remote" ||
        return 1
    sleep 0.5
    for key in "$@"; do
        xdotool key "$key"
        sleep 0.25
    done
}
# choose_size N: the Nth size under スイッチ (42ｲﾝﾁ, 57ｲﾝﾁ, 65ｲﾝﾁ, OFF).
choose_size() {
    local keys=(Down Right) i
    for ((i = 0; i < $1; i++)); do keys+=(Down); done
    remote_menu "${keys[@]}" Return
}

check_remote() {
    local geo
    geo=$(geometry ClipRemort)
    [[ $geo == "211 461 42 141" ]] || fail "remote control at $geo, wanted 211 461 42 141" ||
        return
    pass "remote control at 211,461, 42x141"
}

# check_preview NAME W H: the preview has that client size and is centred on the screen (within
# half a pixel, as rounding allows).
check_preview() {
    local name=$1 x y w h sw sh
    read -r x y w h < <(geometry "$name")
    read -r sw sh < <(screen_size)
    [[ "$w $h" == "$2 $3" ]] || fail "$name is ${w}x$h, wanted ${2}x$3" || return
    local dx=$((2 * x - (sw - w))) dy=$((2 * y - (sh - h)))
    ((dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1)) ||
        fail "$name at $x,$y is not centred on ${sw}x$sh" || return
    pass "$name ${w}x$h centred at $x,$y"
}

# check_preview_picture NAME BX BY BW BH COLOURS x4: the picture's four quadrants inside the
# preview's screen box (BX BY BW BH on the client area), and the bezel just left of the box not
# painted over.
check_preview_picture() {
    local name=$1 bx=$2 by=$3 bw=$4 bh=$5 colours=("${@:6:4}") x y
    read -r x y _ _ < <(geometry "$name")
    local x1=$((x + bx + bw / 4)) x3=$((x + bx + bw * 3 / 4))
    local y1=$((y + by + bh / 4)) y3=$((y + by + bh * 3 / 4))
    screen_ppm
    check "$E2E_DIR/screen.ppm" 40 "$name top left $x1 $y1 ${colours[0]}" \
        "$name top right $x3 $y1 ${colours[1]}" "$name bottom left $x1 $y3 ${colours[2]}" \
        "$name bottom right $x3 $y3 ${colours[3]}" \
        "!$name bezel left of the picture $((x + bx - 3)) $y1 ${colours[0]}" || return
    pass "$name shows the picture in its screen box"
}

# --- the clipboard ----------------------------------------------------------------------------

# An X program keeps offering what it copied until something else takes the clipboard; each one
# is stopped with the script.
copy_picture() {
    xclip -quiet -selection clipboard -t image/bmp -i "$1" >/dev/null 2>&1 &
    E2E_PIDS+=($!)
}
copy_png() {
    xclip -quiet -selection clipboard -t image/png -i "$1" >/dev/null 2>&1 &
    E2E_PIDS+=($!)
}
copy_text() {
    printf '%s' "$1" >"$E2E_DIR/text.txt"
    xclip -quiet -selection clipboard -i "$E2E_DIR/text.txt" >/dev/null 2>&1 &
    E2E_PIDS+=($!)
}

# make_bmp FILE "r,g,b" x4: a 320 x 200 24-bit bottom-up BMP in quadrants (top left, top right,
# bottom left, bottom right).
PY=/usr/bin/python3 # starts much faster than a version manager's shim
[[ -x $PY ]] || PY=$(command -v python3)
make_bmp() {
    "$PY" - "$@" <<'EOF'
import struct, sys
path, quads = sys.argv[1], [tuple(int(c) for c in q.split(',')) for q in sys.argv[2:6]]
w, h = 320, 200
stride = (w * 3 + 3) & ~3
rows = []
for y in range(h - 1, -1, -1):
    row = bytearray()
    for x in range(w):
        r, g, b = quads[(2 if y >= h // 2 else 0) + (1 if x >= w // 2 else 0)]
        row += bytes((b, g, r))
    rows.append(bytes(row) + b'\0' * (stride - w * 3))
pixels = b''.join(rows)
info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
open(path, 'wb').write(head + info + pixels)
EOF
}

# --- colours on the screen and on the page ------------------------------------------------------

# The screen as 8-bit PPM (import can hand back 16-bit samples of the root window otherwise).
screen_ppm() {
    import -window root -depth 8 "$E2E_DIR/screen.ppm" 2>/dev/null || fail "no screenshot"
}

# probe PPM TOLERANCE "label x y r,g,b"...: one line per probe, "ok label" or "bad label: got ...";
# a label starting with "!" wants the colour NOT to be there.
probe() {
    "$PY" - "$@" <<'EOF'
import sys
data = open(sys.argv[1], 'rb').read()
tolerance = int(sys.argv[2])
fields, pos = [], 0  # P6 header: magic, width, height, maxval
while len(fields) < 4:
    while data[pos:pos + 1].isspace():
        pos += 1
    start = pos
    while not data[pos:pos + 1].isspace():
        pos += 1
    fields.append(data[start:pos])
pos += 1
width, height = int(fields[1]), int(fields[2])
for item in sys.argv[3:]:
    label, x, y, rgb = item.rsplit(' ', 3)
    x, y, want = int(x), int(y), [int(c) for c in rgb.split(',')]
    got = data[pos + (y * width + x) * 3:][:3] if 0 <= x < width and 0 <= y < height else b''
    same = len(got) == 3 and all(abs(p - q) <= tolerance for p, q in zip(got, want))
    negate = label.startswith('!')
    if same != negate:
        print('ok ' + label.lstrip('!'))
    else:
        print('bad %s at %d,%d: wanted %s%s, got %s' % (label.lstrip('!'), x, y,
              'anything but ' if negate else '', rgb, ' '.join(map(str, got)) or 'nothing'))
EOF
}

# check PPM TOLERANCE PROBE...: all must hold.
check() {
    local out
    out=$(probe "$@") || fail "could not read $1" || return 1
    if grep -q '^bad' <<<"$out"; then
        fail "colours: $(grep '^bad' <<<"$out" | tr '\n' ';')"
        return 1
    fi
}

# --- PDFs -------------------------------------------------------------------------------------

pdf_count() { find "$TESSARY_PDF_DIR" -maxdepth 1 -name '*.pdf' | wc -l; }
no_jobs_pending() { [[ -z $(lpstat -o 2>/dev/null) ]]; }
# The N newest PDFs, oldest first.
newest_pdfs() {
    find "$TESSARY_PDF_DIR" -maxdepth 1 -name '*.pdf' -printf '%T@ %p\n' | sort -n |
        tail -n "$1" | cut -d' ' -f2-
}
# pdfs_ready N BEFORE: N PDFs, no job left in CUPS, and each PDF since BEFORE of them whole.
pdfs_ready() {
    (($(pdf_count) >= $1)) && no_jobs_pending || return 1
    local f
    while read -r f; do
        pdfinfo "$f" >/dev/null 2>&1 || return 1
    done < <(newest_pdfs $(($1 - $2)))
}

# check_page PDF WANT_W WANT_H COLOURS x4: one page, its size as seen in points within 2 points,
# and the picture of these quadrant colours stretched over it.
check_page() {
    local pdf=$1 want_w=$2 want_h=$3 colours=("${@:4:4}") pages w h
    read -r pages w h < <(pdf_page_size "$pdf")
    ((pages == 1)) || fail "${pdf##*/} has ${pages:-no} pages, wanted 1"
    awk -v w="$w" -v h="$h" -v ww="$want_w" -v wh="$want_h" \
        'BEGIN { exit !((w - ww) ^ 2 <= 4 && (h - wh) ^ 2 <= 4) }' ||
        fail "${pdf##*/} is $w x $h pts, wanted $want_w x $want_h"
    rm -f "$E2E_DIR/page.ppm"
    pdftoppm -r 20 -singlefile "$pdf" "$E2E_DIR/page" ||
        fail "pdftoppm could not render ${pdf##*/}"
    local pw ph
    read -r pw ph < <(head -c 64 "$E2E_DIR/page.ppm" | tr -s ' \n' '  ' | awk '{print $2, $3}')
    # The picture fills the printable area; the quarter points lie well inside it.
    check "$E2E_DIR/page.ppm" 60 "top left $((pw / 4)) $((ph / 4)) ${colours[0]}" \
        "top right $((pw * 3 / 4)) $((ph / 4)) ${colours[1]}" \
        "bottom left $((pw / 4)) $((ph * 3 / 4)) ${colours[2]}" \
        "bottom right $((pw * 3 / 4)) $((ph * 3 / 4)) ${colours[3]}"
    pass "${pdf##*/}: one page of $w x $h pts, picture in place"
}

# --- the settings dialog ----------------------------------------------------------------------

# The settings dialog of the program, opened with "設定" from the Nth tray icon's menu.
settings_dialog() { named 設定; }
has_settings_dialog() { [[ -n $(settings_dialog) ]]; }
no_settings_dialog() { ! has_settings_dialog; }
open_settings_dialog() {
    tray_menu "$1" Down Return
    wait_for 15 has_settings_dialog || fail "no settings dialog after 設定"
}

# settings_dialog_save_copies N: types N as the number of copies (Combo2) and presses OK.
settings_dialog_save_copies() {
    local x y w h
    read -r x y w h < <(window_geometry "$(settings_dialog)")
    xdotool mousemove $((x + 136 + 20)) $((y + 106 + 10)) click 1
    sleep 0.3
    xdotool key --clearmodifiers Home shift+End BackSpace
    xdotool type --delay 50 "$1"
    sleep 0.3
    xdotool mousemove $((x + 248 + 31)) $((y + 140 + 10)) click 1
}

# ini_has FILE LINE: the settings file holds the line (CRLF-ended, as the program writes).
ini_has() { grep -qa "^$2"$'\r$' "$1"; }

# The installer's window.
setup_window() { xdotool search --onlyvisible --name '^Tessary セットアップ' 2>/dev/null | head -n1; }
has_setup_window() { [[ -n $(setup_window) ]]; }

# --- the start ---------------------------------------------------------------------------------

# What an earlier test sent to the printer lands before this one counts its own PDFs; a picture
# that a window test left on the clipboard would open the program's windows at its start.
wait_for 120 no_jobs_pending || echo "$E2E_NAME: print jobs of an earlier test still pending" >&2
e2e_empty_clipboard || echo "$E2E_NAME: could not empty the clipboard" >&2
