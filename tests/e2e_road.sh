#!/usr/bin/env bash
# The whole road in one run of the real program, with real X input and the PDF printer:
#   a picture copied by an X program brings up the remote control and the 42-inch preview;
#   the remote's menu switches 42 -> 57 -> 65 -> OFF -> 42;
#   縦印刷 and 横印刷 give A4 pages in portrait and landscape with the picture in place;
#   設定 from the tray icon sets A3 and 2 copies, and the next print uses them;
#   閉じる closes everything, text alone and a picture with text open nothing, a new picture
#   brings the windows back; a PNG alone (as browsers copy) is shown and printed; 終了 while the
#   preview waits for a producer that renders late shows nothing more, ends the process once the
#   render returns, and takes the icon away.
# Throughout, a second clipboard viewer that joined the chain before the program sees every
# change, also after the program has left the chain.
#
# Usage: scripts/testenv.sh bash tests/e2e_road.sh path/to/tessary.exe
# (road_helper.exe from tests/road_helpers.cpp is expected next to tessary.exe.)
set -uo pipefail
EXE=${1:?usage: e2e_road.sh path/to/tessary.exe}
source "$(dirname "$0")/e2e_lib.sh"

e2e_need wine xclip xdotool xev xwininfo xdpyinfo import convert pdfinfo pdftoppm lpstat ipptool
HELPER=$(dirname "$EXE")/road_helper.exe
[[ -f $HELPER ]] || {
    echo "e2e_road: $HELPER not built" >&2
    exit 1
}
PROG=$E2E_DIR/prog
INI=$PROG/CNT/Tessary.ini
COUNT=$E2E_DIR/viewer-count.txt
VIEWER_PID=
CHANGES=0 # clipboard changes made, each of which the viewer must see
START=$SECONDS

LATE_PID=
stop_viewer() {
    if [[ -n $VIEWER_PID ]]; then
        touch "$E2E_DIR/stop"
        wait_for 5 pid_gone "$VIEWER_PID"
    fi
    if [[ -n $LATE_PID ]]; then
        touch "$E2E_DIR/late-stop"
        wait_for 15 pid_gone "$LATE_PID"
    fi
}
e2e_on_exit stop_viewer

# --- pictures -------------------------------------------------------------------------------------
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

copy_picture_and_text() {
    timeout 60 wine "$HELPER" copy "$(winpath "$1")" "$2" >/dev/null 2>&1
}

# --- PDFs ---------------------------------------------------------------------------------------
# print_and_collect KEYS...: prints through the remote's menu (印刷, then the keys) and waits for
# the output; sets PRINT_PDF (the one new file) and PRINT_JOB ("id,copies,state" of the one new
# job).
print_and_collect() {
    local jobs_before files
    jobs_before=$(last_job_id)
    PDFS_BEFORE=$(pdf_count)
    remote_menu Down Down Right "$@" Return
    wait_for 60 pdfs_ready $((PDFS_BEFORE + 1)) "$PDFS_BEFORE" || fail "no PDF from the print ($*)"
    sleep 1 # anything more would have come by now
    files=$(($(pdf_count) - PDFS_BEFORE))
    ((files == 1)) || fail "the print gave $files PDF files, wanted 1"
    PRINT_PDF=$(newest_pdfs 1)
    PRINT_JOB=$(cups_jobs | awk -F, -v b="${jobs_before:-0}" '$1 + 0 > b + 0')
    [[ $PRINT_JOB =~ ^[0-9]+,[0-9]+,completed$ ]] || fail "the print's CUPS jobs: $PRINT_JOB"
    echo "print: ${PRINT_PDF##*/}, job $PRINT_JOB"
}
print_copies() { cut -d, -f2 <<<"$PRINT_JOB"; }

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
check_page "$PRINT_PDF" 595.3 841.9 "${PIC1[@]}"
(($(print_copies) == 1)) || fail "縦印刷 asked for $(print_copies) copies, wanted 1"
print_and_collect Down
check_page "$PRINT_PDF" 841.9 595.3 "${PIC1[@]}"
(($(print_copies) == 1)) || fail "横印刷 asked for $(print_copies) copies, wanted 1"
[[ -z $(find "$PROG" -maxdepth 1 -iname '*.bmp') ]] ||
    fail "bitmap files left in the program folder: $(ls "$PROG")"

# 4. Settings: A3 and 2 copies, and the next print uses them.
tray_menu "$TRAY_SLOT" Down Return
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
if ! ini_has "$INI" PSIZE=A3 || ! ini_has "$INI" PAGE=2; then
    fail "Tessary.ini after OK: $(tr '\r\n' '  ' <"$INI")"
fi
pass "settings saved: PSIZE=A3, PAGE=2"

# cups-pdf writes the page once; the copies are the job's.
print_and_collect
check_page "$PRINT_PDF" 841.9 1190.6 "${PIC1[@]}"
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
check_page "$PRINT_PDF" 841.9 1190.6 "${PIC1[@]}"
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

# 8. 終了 from the icon's menu while the preview waits for a producer that renders late (as
# Office and the OLE clipboard do): the display stands painted meanwhile, the render is asked for
# once, no window comes up after the exit (a message box would flash up for a moment), and the
# process ends once the render returns. Then the icon goes.
remote_menu Down Down Down Return
wait_for 10 no_program_windows || fail "windows still open after 閉じる: $(program_windows)"
LATE_COUNT=$E2E_DIR/late-count.txt
late_asked() { [[ $(cat "$LATE_COUNT" 2>/dev/null) == "$1" ]]; }
offer_late() {
    wine "$HELPER" late "$(winpath "$E2E_DIR/pic1.bmp")" 10000 "$(winpath "$LATE_COUNT")" \
        "$(winpath "$E2E_DIR/late-stop")" >/dev/null 2>&1 &
    LATE_PID=$!
    wait_for 30 test -s "$LATE_COUNT" # the offer is made (and may be asked for already)
}
change "a picture that renders late" offer_late
wait_for 20 late_asked 1 || fail "the preview did not ask for the late picture"
wait_for 5 visible ClipMain42V || fail "no preview while the producer renders"
sleep 0.5
read -r px py _ _ < <(geometry ClipMain42V)
screen_ppm
# The display's empty screen with its white size figure, not a black window.
check "$E2E_DIR/screen.ppm" 60 "size figure while waiting $((px + 374)) $((py + 45)) 250,251,255"
tray_menu "$TRAY_SLOT" Up Return
wait_for 5 no_program_windows || fail "windows still open after 終了: $(program_windows)"
xev -root -event substructure >"$E2E_DIR/maps.log" 2>&1 &
XEV_PID=$!
E2E_PIDS+=("$XEV_PID")
sleep 0.5
[[ ! -e $LATE_COUNT.done ]] || fail "the render returned before 終了 took effect: too slow a run"
wait_for 30 pid_gone "$PROG_PID" || fail "the program did not end after 終了"
kill "$XEV_PID"
! grep -q '^MapNotify' "$E2E_DIR/maps.log" || fail "a window came up after 終了 (a message box?)"
late_asked 1 || fail "the late picture was asked for $(cat "$LATE_COUNT") times, wanted 1"
pass "終了 while a late render was awaited: no window came up, the process ended"
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
e2e_end "in $((SECONDS - START)) s"
