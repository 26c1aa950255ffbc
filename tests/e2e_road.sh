#!/usr/bin/env bash
# The whole road in one run of the real program, with real X input and the PDF printer:
#   a picture copied by an X program brings up the remote control and the 42-inch preview;
#   the remote's menu switches 42 -> 57 -> 65 -> OFF -> 42;
#   縦印刷 and 横印刷 give A4 pages in portrait and landscape with the picture in place;
#   設定 from the tray icon sets A3 and 2 copies, and the next print uses them;
#   閉じる closes everything, text alone and a picture with text open nothing, a new picture
#   brings the windows back; a PNG alone (as browsers copy) is shown and printed; 終了 ends the
#   process and takes the icon away.
# Throughout, a second clipboard viewer that joined the chain before the program sees every
# change, also after the program has left the chain.
#
# Usage: scripts/testenv.sh bash tests/e2e_road.sh path/to/tessary.exe
# (road_helper.exe from tests/road_helpers.cpp is expected next to tessary.exe.)
set -uo pipefail
EXE=${1:?usage: e2e_road.sh path/to/tessary.exe}
source "$(dirname "$0")/e2e_lib.sh"

for tool in wine xclip xdotool xwininfo xdpyinfo import convert pdfinfo pdftoppm lpstat; do
    command -v "$tool" >/dev/null || {
        echo "e2e_road: $tool not found; run scripts/setup.sh" >&2
        exit 1
    }
done
HELPER=$(dirname "$EXE")/road_helper.exe
[[ -f $HELPER ]] || {
    echo "e2e_road: $HELPER not built" >&2
    exit 1
}
# The system interpreter starts much faster than a version manager's shim.
PY=/usr/bin/python3
[[ -x $PY ]] || PY=$(command -v python3)

PROG=$E2E_DIR/prog
INI=$PROG/CNT/Tessary.ini
PDF_DIR=${TESSARY_PDF_DIR:?}
COUNT=$E2E_DIR/viewer-count.txt
VIEWER_PID=
XCLIP_PIDS=()
CHANGES=0 # clipboard changes made, each of which the viewer must see
START=$SECONDS

# The environment's folder goes away with the run; keep the failure's picture where it is seen.
SHOT_DIR=${TESSARY_FAILURE_DIR:-/tmp}
fail() {
    echo "FAIL: $*" >&2
    local shot
    shot=$SHOT_DIR/e2e_road-failure-$(date +%Y%m%d-%H%M%S).png
    if import -window root "$shot" 2>/dev/null; then echo "screenshot: $shot" >&2; fi
    exit 1
}
pass() { echo "ok: $*"; }

cleanup() {
    set +e
    local pid
    if [[ -n $VIEWER_PID ]]; then
        touch "$E2E_DIR/stop"
        wait_for 5 pid_gone "$VIEWER_PID"
    fi
    for pid in "${XCLIP_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
    e2e_cleanup
}
trap cleanup EXIT

pid_gone() { ! kill -0 "$1" 2>/dev/null; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# --- windows --------------------------------------------------------------------------------------
named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1; }
visible() { [[ -n $(named "$1") ]]; }
hidden() { ! visible "$1"; }
# The program's mapped windows (its menus among them), as one line.
program_windows() { xdotool search --onlyvisible --class tessary 2>/dev/null | sort | xargs; }
no_program_windows() { [[ -z $(program_windows) ]]; }
changed_from() { [[ $(program_windows) != "$1" ]]; }

# "x y w h" of the visible window with this exact title; nothing when there is none.
geometry() {
    local id
    id=$(named "$1")
    if [[ -n $id ]]; then window_geometry "$id"; fi
}

read -r SCREEN_W SCREEN_H < <(xdpyinfo | awk '/dimensions:/ {split($2, d, "x"); print d[1], d[2]}')

# --- pictures and colours -------------------------------------------------------------------------
# make_bmp FILE "r,g,b" x4: a 320 x 200 24-bit bottom-up BMP in quadrants (top left, top right,
# bottom left, bottom right).
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
# make_alpha_bmp FILE: 320 x 200, 32 bits with a V5 header and an alpha mask, as a Linux desktop
# copies a transparent picture: clear (00000000) top left and bottom right, opaque blue beside.
make_alpha_bmp() {
    "$PY" - "$1" <<'EOF'
import struct, sys
w, h = 320, 200
clear, blue = bytes(4), bytes((255, 0, 0, 255))
pixels = b''.join((blue if (x >= w // 2) != (y >= h // 2) else clear)
                  for y in range(h - 1, -1, -1) for x in range(w))
info = struct.pack('<IiiHHIIiiIIIIII', 124, w, h, 1, 32, 3, len(pixels), 2835, 2835, 0, 0,
                   0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
info += struct.pack('<I', 0x73524742) + bytes(124 - len(info) - 4)
head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
open(sys.argv[1], 'wb').write(head + info + pixels)
EOF
}
PIC1=("255,0,0" "0,255,0" "0,0,255" "255,255,0")       # red, green / blue, yellow
PIC2=("255,0,255" "0,255,255" "255,255,255" "255,128,0") # magenta, cyan / white, orange
make_bmp "$E2E_DIR/pic1.bmp" "${PIC1[@]}"
make_bmp "$E2E_DIR/pic2.bmp" "${PIC2[@]}"

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
    out=$(probe "$@") || fail "could not read $1"
    if grep -q '^bad' <<<"$out"; then fail "colours: $(grep '^bad' <<<"$out" | tr '\n' ';')"; fi
}

screen_ppm() {
    import -window root -depth 8 "$E2E_DIR/screen.ppm" 2>/dev/null || fail "no screenshot"
}

# The picture's four quadrants inside a preview's screen box (bx by bw bh on the client area),
# and the bezel just left of the box not painted over.
check_preview_picture() {
    local name=$1 bx=$2 by=$3 bw=$4 bh=$5 colours=("${@:6:4}") x y
    read -r x y _ _ < <(geometry "$name")
    local x1=$((x + bx + bw / 4)) x3=$((x + bx + bw * 3 / 4))
    local y1=$((y + by + bh / 4)) y3=$((y + by + bh * 3 / 4))
    screen_ppm
    check "$E2E_DIR/screen.ppm" 40 "$name top left $x1 $y1 ${colours[0]}" \
        "$name top right $x3 $y1 ${colours[1]}" "$name bottom left $x1 $y3 ${colours[2]}" \
        "$name bottom right $x3 $y3 ${colours[3]}" \
        "!$name bezel left of the picture $((x + bx - 3)) $y1 ${colours[0]}"
    pass "$name shows the picture in its screen box"
}

# check_preview NAME W H: the preview has that client size and is centred on the screen.
check_preview() {
    local name=$1 x y w h
    read -r x y w h < <(geometry "$name")
    [[ "$w $h" == "$2 $3" ]] || fail "$name is ${w}x$h, wanted ${2}x$3"
    local dx=$((2 * x - (SCREEN_W - w))) dy=$((2 * y - (SCREEN_H - h)))
    ((dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1)) ||
        fail "$name at $x,$y is not centred on ${SCREEN_W}x$SCREEN_H"
    pass "$name ${w}x$h centred at $x,$y"
}

check_remote() {
    local geo
    geo=$(geometry ClipRemort)
    [[ $geo == "211 461 42 141" ]] || fail "remote control at $geo, wanted 211 461 42 141"
    pass "remote control at 211,461, 42x141"
}

# --- the clipboard and the second viewer ----------------------------------------------------------
viewer_count() { cat "$COUNT" 2>/dev/null || echo 0; }
viewer_above() { (($(viewer_count) > $1)); }

# change DESCRIPTION COMMAND...: makes one clipboard change and waits until the second viewer
# has seen it. The program passes the notice on before its own examination, so what the change
# opens is waited for afterwards.
change() {
    local what=$1 before
    shift
    before=$(viewer_count)
    "$@" || fail "could not copy $what"
    CHANGES=$((CHANGES + 1))
    wait_for 30 viewer_above "$before" ||
        fail "the second clipboard viewer did not see $what (count stayed $before)"
}

# An X program keeps offering what it copied until something else takes the clipboard.
copy_picture() {
    xclip -quiet -selection clipboard -t image/bmp -i "$1" >/dev/null 2>&1 &
    XCLIP_PIDS+=($!)
}
copy_png() {
    xclip -quiet -selection clipboard -t image/png -i "$1" >/dev/null 2>&1 &
    XCLIP_PIDS+=($!)
}
copy_text() {
    printf '%s' "$1" >"$E2E_DIR/text.txt"
    xclip -quiet -selection clipboard -i "$E2E_DIR/text.txt" >/dev/null 2>&1 &
    XCLIP_PIDS+=($!)
}
copy_picture_and_text() {
    timeout 60 wine "$HELPER" copy "$(winpath "$1")" "$2" >/dev/null 2>&1
}

# --- menus ----------------------------------------------------------------------------------------
# remote_menu KEY...: right button on the remote's picture, then the keys (the menu opens with
# nothing selected: スイッチ, 印刷, 閉じる).
remote_menu() {
    local before rx ry
    visible ClipRemort || fail "no remote control to open the menu on"
    read -r rx ry _ _ < <(geometry ClipRemort)
    before=$(program_windows)
    xdotool mousemove $((rx + 21)) $((ry + 120)) click 3
    wait_for 10 changed_from "$before" || fail "no menu after a right press on the remote"
    sleep 0.4
    local key
    for key in "$@"; do
        xdotool key "$key"
        sleep 0.25
    done
}
# The sizes under スイッチ: 42ｲﾝﾁ, 57ｲﾝﾁ, 65ｲﾝﾁ, OFF.
choose_size() {
    local keys=(Down Right) i
    for ((i = 0; i < $1; i++)); do keys+=(Down); done
    remote_menu "${keys[@]}" Return
}

# tray_menu KEY...: right press on the program's icon (設定, リモコン, 終了), then the keys.
tray_menu() {
    local before
    before=$(mapped_windows)
    tray_right_click "$TRAY_SLOT"
    wait_new_window 10 "$before" >/dev/null || fail "no menu after a right press on the icon"
    sleep 0.4
    xdotool key "$@"
}

# --- PDFs -----------------------------------------------------------------------------------------
pdf_count() { find "$PDF_DIR" -maxdepth 1 -name '*.pdf' | wc -l; }
no_jobs_pending() { [[ -z $(lpstat -o 2>/dev/null) ]]; }
pdfs_ready() {
    (($(pdf_count) >= $1)) && no_jobs_pending || return 1
    local f
    while read -r f; do
        pdfinfo "$f" >/dev/null 2>&1 || return 1
    done < <(newest_pdfs $(($1 - PDFS_BEFORE)))
}
# The N newest PDFs, oldest first.
newest_pdfs() {
    find "$PDF_DIR" -maxdepth 1 -name '*.pdf' -printf '%T@ %p\n' | sort -n | tail -n "$1" |
        cut -d' ' -f2-
}

# CUPS's jobs as "id,copies,state", one a line. The server is a local socket, written into the
# URI's host the way ipptool wants it.
cat >"$E2E_DIR/jobs.test" <<'EOF'
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
cups_jobs() {
    local host=localhost
    if [[ ${CUPS_SERVER:-} == /* ]]; then host=${CUPS_SERVER//\//%2F}; fi
    ipptool -c "ipp://$host/printers/TessaryPDF" "$E2E_DIR/jobs.test" | tail -n +2
}
last_job_id() { cups_jobs | cut -d, -f1 | sort -n | tail -n1; }

# print_and_collect KEYS...: prints through the remote's menu (印刷, then the keys) and waits for
# the output; sets PRINT_PDF (the one new file) and PRINT_JOB ("id,copies,state" of the one new
# job).
print_and_collect() {
    local jobs_before files
    jobs_before=$(last_job_id)
    PDFS_BEFORE=$(pdf_count)
    remote_menu Down Down Right "$@" Return
    wait_for 60 pdfs_ready $((PDFS_BEFORE + 1)) || fail "no PDF from the print ($*)"
    sleep 1 # anything more would have come by now
    files=$(($(pdf_count) - PDFS_BEFORE))
    ((files == 1)) || fail "the print gave $files PDF files, wanted 1"
    PRINT_PDF=$(newest_pdfs 1)
    PRINT_JOB=$(cups_jobs | awk -F, -v b="${jobs_before:-0}" '$1 + 0 > b + 0')
    [[ $PRINT_JOB =~ ^[0-9]+,[0-9]+,completed$ ]] || fail "the print's CUPS jobs: $PRINT_JOB"
    echo "print: ${PRINT_PDF##*/}, job $PRINT_JOB"
}
print_copies() { cut -d, -f2 <<<"$PRINT_JOB"; }

# check_page PDF WANT_W WANT_H [COLOURS x4]: one page, its size as seen (rotation applied) in
# points within 2 points, and the picture (PIC1's quadrants by default) stretched over it.
check_page() {
    local pdf=$1 want_w=$2 want_h=$3 w h rot pages colours=("${PIC1[@]}")
    (($# >= 7)) && colours=("${@:4:4}")
    read -r pages w h rot < <(pdfinfo "$pdf" | awk '/^Pages:/ {n=$2}
        /^Page size:/ {w=$3; h=$5} /^Page rot:/ {r=$3}
        END {if (r % 180) print n, h, w, r; else print n, w, h, r+0}')
    ((pages == 1)) || fail "${pdf##*/} has ${pages:-no} pages, wanted 1"
    awk -v w="$w" -v h="$h" -v ww="$want_w" -v wh="$want_h" \
        'BEGIN { exit !((w - ww) ^ 2 <= 4 && (h - wh) ^ 2 <= 4) }' ||
        fail "${pdf##*/} is $w x $h pts (rotated $rot), wanted $want_w x $want_h"
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

# === the road =====================================================================================
e2e_install "$EXE" "$PROG"

# Whatever an earlier program left on the clipboard would open the windows at the start.
copy_text "nothing to show"
sleep 1

# The second viewer joins the chain first.
wine "$HELPER" viewer "$(winpath "$COUNT")" "$(winpath "$E2E_DIR/stop")" >/dev/null 2>&1 &
VIEWER_PID=$!
wait_for 60 test -s "$COUNT" || fail "the second clipboard viewer did not join the chain"
JOINED=$(viewer_count)
pass "second viewer in the chain"

# The icons already there, once a program of an earlier test has gone with its icon (Wine takes
# a moment to remove it, and a count taken meanwhile is one too many).
wait_for 20 gone "$PROG" || true
sleep 2
TRAY_SLOT=$(tray_icons_settled)
[[ $TRAY_SLOT =~ ^[0-9]+$ ]] || fail "the tray's icons did not settle before the start"
e2e_start "$PROG"
PROG_PID=$E2E_LAST_PID
wait_for 60 tray_icons_are $((TRAY_SLOT + 1)) ||
    fail "the program's icon did not appear: $(tray_icons) icons, $TRAY_SLOT before" \
        "(tray $(tray_window): $(window_geometry "$(tray_window)" 2>/dev/null))"
pass "icon in the tray"
no_program_windows || fail "windows open at start with nothing on the clipboard"

# 1. A picture: the remote control and the configured preview.
# opened_by WHAT COLOURS...: the remote control at its place and the 42-inch preview showing
# the picture of these quadrant colours.
opened_by() {
    local what=$1
    shift
    wait_for 20 visible ClipRemort || fail "the remote control did not appear for $what"
    wait_for 20 visible ClipMain42V || fail "the 42-inch preview did not appear for $what"
    sleep 0.5
    check_remote
    check_preview ClipMain42V 469 265
    check_preview_picture ClipMain42V 56 24 355 217 "$@"
}
change "a picture" copy_picture "$E2E_DIR/pic1.bmp"
opened_by "a picture" "${PIC1[@]}"

# 2. Sizes: 42 -> 57 -> 65 -> OFF -> 42.
switch_size() {
    local index=$1 name=$2 old=$3
    choose_size "$index"
    wait_for 20 visible "$name" || fail "$name did not open from the menu"
    wait_for 10 hidden "$old" || fail "$old stayed open after choosing $name"
    sleep 0.5
    check_preview "$name" "$4" "$5"
    check_preview_picture "$name" "${@:6:4}" "${PIC1[@]}"
}
switch_size 1 ClipMain57V ClipMain42V 563 280 52 10 461 261
switch_size 2 ClipMain65V ClipMain57V 552 358 10 10 533 293
choose_size 3
wait_for 10 hidden ClipMain65V || fail "OFF left the 65-inch preview open"
visible ClipRemort || fail "OFF closed the remote control"
pass "OFF closed the preview, the remote control stays"
switch_size 0 ClipMain42V ClipMain65V 469 265 56 24 355 217

# 3. Portrait and landscape on the shipped A4, one copy.
print_and_collect
check_page "$PRINT_PDF" 595.3 841.9
(($(print_copies) == 1)) || fail "縦印刷 asked for $(print_copies) copies, wanted 1"
print_and_collect Down
check_page "$PRINT_PDF" 841.9 595.3
(($(print_copies) == 1)) || fail "横印刷 asked for $(print_copies) copies, wanted 1"
[[ -z $(find "$PROG" -maxdepth 1 -iname '*.bmp') ]] ||
    fail "bitmap files left in the program folder: $(ls "$PROG")"

# 4. Settings: A3 and 2 copies, and the next print uses them.
dialog_window() { named 設定; }
tray_menu Down Return
wait_for 20 visible 設定 || fail "no settings dialog after 設定"
read -r dx dy dw dh < <(geometry 設定)
((dw == 334 && dh == 208)) || fail "the settings dialog is ${dw}x$dh, wanted 334x208"
sleep 0.5
xdotool mousemove $((dx + 50 + 8)) $((dy + 78 + 8)) click 1 # A3
sleep 0.3
xdotool mousemove $((dx + 136 + 20)) $((dy + 106 + 10)) click 1 # copies
sleep 0.3
xdotool key --clearmodifiers Home shift+End BackSpace
xdotool type --delay 50 2
sleep 0.3
xdotool mousemove $((dx + 248 + 31)) $((dy + 140 + 10)) click 1 # OK
wait_for 15 hidden 設定 || fail "the settings dialog stayed open after OK"
ini_has() { grep -qa "^$1"$'\r$' "$INI"; }
if ! ini_has PSIZE=A3 || ! ini_has PAGE=2; then
    fail "Tessary.ini after OK: $(tr '\r\n' '  ' <"$INI")"
fi
pass "settings saved: PSIZE=A3, PAGE=2"

# cups-pdf writes the page once; the copies are the job's.
print_and_collect
check_page "$PRINT_PDF" 841.9 1190.6
(($(print_copies) == 2)) || fail "the print asked for $(print_copies) copies, wanted 2"
pass "the print is A3, 2 copies"

# 5. 閉じる closes the remote control and the preview; the program stays.
remote_menu Down Down Down Return
wait_for 10 no_program_windows || fail "windows still open after 閉じる: $(program_windows)"
pid_gone "$PROG_PID" && fail "the program ended on 閉じる"
pass "閉じる closed the remote control and the preview"

# Text alone, and a picture together with text, open nothing.
change "text" copy_text "テキストだけ"
sleep 1.5
no_program_windows || fail "text alone opened windows: $(program_windows)"
pass "text alone opens nothing"
change "a picture with text" copy_picture_and_text "$E2E_DIR/pic2.bmp" "写真と文字"
sleep 1.5
no_program_windows || fail "a picture with text opened windows: $(program_windows)"
pass "a picture with text opens nothing"

# 6. A new picture brings them back, at the fixed place, showing the new picture.
change "a new picture" copy_picture "$E2E_DIR/pic2.bmp"
opened_by "a new picture" "${PIC2[@]}"

# 7. A PNG, as browsers and screenshot tools copy a picture (Windows programs see only "PNG"):
# the same windows, and 縦印刷 prints it.
remote_menu Down Down Down Return
wait_for 10 no_program_windows || fail "windows still open after 閉じる: $(program_windows)"
convert "$E2E_DIR/pic1.bmp" "$E2E_DIR/pic1.png" || fail "could not make the PNG"
change "a PNG" copy_png "$E2E_DIR/pic1.png"
opened_by "a PNG" "${PIC1[@]}"
print_and_collect
check_page "$PRINT_PDF" 841.9 1190.6
pass "a PNG alone is shown and printed"

# A transparent picture as it arrives from X: a plain 32-bit CF_DIB with the alpha in its fourth
# bytes. Clear areas are white on the screen and on the page, not black.
remote_menu Down Down Down Return
wait_for 10 no_program_windows || fail "windows still open after 閉じる: $(program_windows)"
make_alpha_bmp "$E2E_DIR/clear.bmp"
CLEAR=("255,255,255" "0,0,255" "0,0,255" "255,255,255")
change "a transparent picture" copy_picture "$E2E_DIR/clear.bmp"
opened_by "a transparent picture" "${CLEAR[@]}"
print_and_collect
check_page "$PRINT_PDF" 841.9 1190.6 "${CLEAR[@]}"
pass "a transparent picture is shown and printed over white"

# 8. 終了 from the icon's menu: the process ends, the icon goes.
tray_menu Up Return
wait_for 30 pid_gone "$PROG_PID" || fail "the program did not end after 終了"
wait_for 20 gone "$PROG" || fail "tessary.exe still running after 終了"
wait_for 20 tray_icons_are "$TRAY_SLOT" || fail "the icon stayed in the tray ($(tray_icons) icons)"
# Nor does anything answer in its place any more.
if [[ -n $(tray_window) ]]; then
    before=$(mapped_windows)
    tray_right_click "$TRAY_SLOT"
    if wait_new_window 2 "$before" >/dev/null; then
        fail "a menu still opens from the icon's place"
    fi
fi
no_program_windows || fail "windows left after 終了: $(program_windows)"
pass "終了 ended the program and removed its icon"

# The program left the chain cleanly: the viewer behind it still hears of changes.
change "text after the exit" copy_text "おわり"
touch "$E2E_DIR/stop"
wait_for 10 pid_gone "$VIEWER_PID" || fail "the second viewer did not end"
VIEWER_PID=
seen=$(($(viewer_count) - JOINED))
((seen >= CHANGES)) || fail "the second viewer saw $seen changes, wanted at least $CHANGES"
pass "the second viewer saw $seen notices for $CHANGES changes"
echo "e2e_road: all checks passed in $((SECONDS - START)) s"
