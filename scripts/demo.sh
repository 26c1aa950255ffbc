#!/usr/bin/env bash
# Usage: scripts/testenv.sh scripts/demo.sh path/to/tessary.exe OUT_DIR [PICTURE_DIR]
#
# A walk through Tessary on the test environment's virtual display: start it, copy a sample
# picture, let the remote control and the 42-inch preview come up, switch to 57 and 65 inches,
# print portrait and landscape, open the settings dialog, quit. OUT_DIR gets a screenshot of each
# step, the printed PDFs and a rendering of the portrait page. With PICTURE_DIR, cropped pictures
# for the README go there too (tray-menu, remote-menu, preview42/57/65, settings, printed-page).
set -euo pipefail

EXE=${1:?usage: demo.sh path/to/tessary.exe OUT_DIR [PICTURE_DIR]}
OUT=${2:?usage: demo.sh path/to/tessary.exe OUT_DIR [PICTURE_DIR]}
PICS=${3:-}

if [[ ${TESSARY_TESTENV:-} != 1 ]]; then
    echo "demo: run me inside scripts/testenv.sh" >&2
    exit 2
fi
E2E_NAME=demo
source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e_lib.sh"
e2e_need wine xclip xdotool xwininfo xdpyinfo import convert display pdftoppm pdfinfo lpstat
[[ -f $EXE ]] || {
    echo "demo: $EXE not found" >&2
    exit 1
}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
if [[ -n $PICS ]]; then
    mkdir -p "$PICS"
    PICS=$(cd "$PICS" && pwd)
fi

WORK=$E2E_DIR
PROG=$WORK/prog
E2E_LOG=$WORK/wine.log
STEP=0
E2E_FAIL_PREFIX="demo: FAILED:"
E2E_SHOT_PREFIX="demo: the screen at that moment:"
E2E_FAILURE_SHOT=$OUT/failure.png

CURRENT_STEP="setting up"
step() {
    CURRENT_STEP=$*
    echo "demo: $*"
}
# A command that fails outside fail() names its step and line, never a silent exit.
set -E
trap 'echo "demo: FAILED: step \"$CURRENT_STEP\": \"$BASH_COMMAND\" failed at line $LINENO" >&2' ERR

has_tray() { [[ -n $(tray_window) ]]; }

# Right-clicks the first tray icon and waits for its menu.
open_tray_menu() {
    local x y _ h before
    read -r x y _ h < <(window_geometry "$(tray_window)")
    before=$(mapped_windows)
    # The icon's lower right corner: the menu opens beside the icon, not over it.
    xdotool mousemove $((x + h - 4)) $((y + h - 4)) click 3
    wait_for 10 has_new_window "$before" || fail "no menu on a right click on the tray icon"
    MENU_WINDOWS=$(new_windows "$before")
    sleep 0.5
}

# Points at item N (from 0) of the 3 in the tray menu; click_tray_item also clicks it. The mouse
# rather than keys: the keyboard focus may be on another window of the program.
point_tray_item() {
    local x y w h
    read -r x y w h < <(window_geometry "$(echo "$MENU_WINDOWS" | head -n1)")
    xdotool mousemove $((x + w / 2)) $((y + 3 + (h - 6) * (2 * $1 + 1) / 6))
    sleep 0.4
}
click_tray_item() {
    point_tray_item "$1"
    xdotool click 1
}

# Right-clicks the remote control's picture and waits for its menu.
open_remote_menu() {
    local x y w h before
    read -r x y w h < <(geometry ClipRemort)
    before=$(mapped_windows)
    xdotool mousemove $((x + w / 2)) $((y + h - 20)) click 3
    wait_for 10 has_new_window "$before" || fail "no menu on a right click on the remote control"
    MENU_BEFORE=$before
    sleep 0.5
}

# Keys for an open menu, a little apart so that each one is seen.
keys() {
    local k
    for k in "$@"; do
        xdotool key "$k"
        sleep 0.3
    done
}

# --- screenshots ----------------------------------------------------------------------------

# shot NAME: the whole screen as OUT/NN-NAME.png; the last one is kept in $WORK/screen.png.
shot() {
    STEP=$((STEP + 1))
    local file
    file=$(printf '%s/%02d-%s.png' "$OUT" "$STEP" "$1")
    import -window root "$WORK/screen.png" || fail "screenshot failed"
    cp "$WORK/screen.png" "$file"
}

# picture NAME MARGIN WINDOW...: the last screenshot cropped to the windows plus a margin.
picture() {
    [[ -n $PICS ]] || return 0
    local name=$1 margin=$2 id x y w h sw sh
    shift 2
    local x0=100000 y0=100000 x1=0 y1=0
    for id in "$@"; do
        read -r x y w h < <(window_geometry "$id")
        ((x < x0)) && x0=$x
        ((y < y0)) && y0=$y
        ((x + w > x1)) && x1=$((x + w))
        ((y + h > y1)) && y1=$((y + h))
    done
    read -r sw sh < <(xdpyinfo | awk '/dimensions:/ {split($2, d, "x"); print d[1], d[2]}')
    x0=$((x0 - margin < 0 ? 0 : x0 - margin))
    y0=$((y0 - margin < 0 ? 0 : y0 - margin))
    x1=$((x1 + margin > sw ? sw : x1 + margin))
    y1=$((y1 + margin > sh ? sh : y1 + margin))
    convert "$WORK/screen.png" -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage -strip \
        "$PICS/$name.png" || fail "could not crop $name.png"
}

# tray_picture NAME MARGIN: the last screenshot cropped to the tray icon and its open menu; not
# the test desktop's tray window around them (its caption, its empty space).
tray_picture() {
    [[ -n $PICS ]] || return 0
    local x y w h id mx my mw mh x1 y1
    read -r x y _ h < <(window_geometry "$(tray_window)")
    x1=$((x + h)) y1=$((y + h))
    for id in $MENU_WINDOWS; do
        read -r mx my mw mh < <(window_geometry "$id")
        ((mx + mw > x1)) && x1=$((mx + mw))
        ((my + mh > y1)) && y1=$((my + mh))
    done
    x1=$((x1 + $2)) y1=$((y1 + $2))
    w=$((x1 - x)) h=$((y1 - y))
    convert "$WORK/screen.png" -crop "${w}x${h}+$x+$y" +repage -strip "$PICS/$1.png" ||
        fail "could not crop $1.png"
}

# --- the sample picture ---------------------------------------------------------------------

# A colour-bar test card with a caption, 16:9 like the panels.
make_sample() {
    local font
    font=$(fc-match -f '%{file}' 'IPAGothic:lang=ja' 2>/dev/null || true)
    local text=(-fill white -stroke none -pointsize 46 -gravity center)
    [[ -n $font && -f $font ]] && text=(-font "$font" "${text[@]}")
    convert -size 800x450 xc:black \
        -fill '#ffffff' -draw 'rectangle 0,0 114,300' \
        -fill '#ffe000' -draw 'rectangle 114,0 228,300' \
        -fill '#00d8e8' -draw 'rectangle 228,0 342,300' \
        -fill '#10c040' -draw 'rectangle 342,0 457,300' \
        -fill '#e040c0' -draw 'rectangle 457,0 571,300' \
        -fill '#e82020' -draw 'rectangle 571,0 685,300' \
        -fill '#2040e0' -draw 'rectangle 685,0 800,300' \
        \( -size 800x80 gradient:'#1a1a1a-#f0f0f0' -rotate -90 -resize '800x80!' \) \
        -geometry +0+300 -composite \
        \( \( -size 70x800 gradient: -rotate 90 \) -size 800x70 xc:white xc:white \
        -set colorspace HSB -combine -colorspace sRGB \) -geometry +0+380 -composite \
        -fill '#202830c0' -stroke white -strokewidth 4 -draw 'roundrectangle 230,95 570,205 24,24' \
        "${text[@]}" -annotate +0-75 'Tessary テスト' \
        -type TrueColor "$1" || fail "ImageMagick could not draw the sample picture"
}

# --- the walk ----------------------------------------------------------------------------------

e2e_install "$EXE" "$PROG"

make_sample "$WORK/sample.png"
convert "$WORK/sample.png" -type TrueColor BMP3:"$WORK/sample.bmp" || fail "no BMP of the sample"
cp "$WORK/sample.png" "$OUT/sample.png"

# A desktop background, so that the windows stand out in the screenshots.
convert -size 1280x1024 gradient:'#4a7fb5-#1c3550' "$WORK/desktop.png"
display -window root "$WORK/desktop.png" 2>/dev/null || true

e2e_title_bar_font || fail "/usr/share/wine/fonts/marlett.ttf not found; run scripts/setup.sh (fonts-wine)"

# The installer's options page, from the setup the dist target built beside EXE's folder; only
# for the pictures. It is left there, nothing installed.
# run.sh builds only tessary.exe, so on a fresh clone there is no dist folder and no picture.
setup=
dist=$(dirname "$EXE")/../dist
if [[ -n $PICS && -d $dist ]]; then
    setup=$(find "$dist" -name 'Tessary-*-setup.exe' | sort | head -n1)
fi
if [[ -n $setup ]]; then
    step "installer: the options page"
    (cd "$WORK" && exec wine "$setup") >/dev/null 2>&1 &
    setup_pid=$!
    wait_for 60 has_setup_window || fail "the installer showed no window"
    sleep 1
    keys Return # the welcome page's 次へ
    sleep 1
    keys Return # the folder page's 次へ
    sleep 1.5
    shot installer
    picture installer 0 "$(setup_window)"
    kill -KILL "$setup_pid" 2>/dev/null
    wait "$setup_pid" 2>/dev/null || true
    wait_for 20 eval '! has_setup_window' || fail "the installer did not go"
fi

step "starting tessary.exe"
e2e_start "$PROG"
PROG_PID=$E2E_LAST_PID
# shellcheck disable=SC2016  # the pid when the demo ends: none once Tessary has ended
e2e_on_exit 'e2e_stop "$PROG_PID"'
if ! wait_for 60 has_tray; then
    cat "$E2E_LOG" >&2
    fail "Tessary's icon did not appear in the tray within 60 s"
fi
sleep 1
shot tray-icon

step "copying the sample picture to the clipboard"
copy_picture "$WORK/sample.bmp"
wait_for 30 visible ClipRemort || fail "the remote control did not come up"
wait_for 30 visible ClipMain42V || fail "the 42-inch preview did not come up"
sleep 1
shot remote-and-42
picture preview42 10 "$(named ClipMain42V)"

step "remote control menu: スイッチ › 57ｲﾝﾁ"
open_remote_menu
keys Down Right
shot remote-menu
# shellcheck disable=SC2046  # one id per word
picture remote-menu 12 "$(named ClipRemort)" $(new_windows "$MENU_BEFORE")
keys Down Return
wait_for 20 visible ClipMain57V || fail "the 57-inch preview did not come up"
wait_for 10 hidden ClipMain42V || fail "the 42-inch preview stayed"
sleep 1
shot preview-57
picture preview57 10 "$(named ClipMain57V)"

step "remote control menu: スイッチ › 65ｲﾝﾁ"
open_remote_menu
keys Down Right Down Down Return
wait_for 20 visible ClipMain65V || fail "the 65-inch preview did not come up"
wait_for 10 hidden ClipMain57V || fail "the 57-inch preview stayed"
sleep 1
shot preview-65
picture preview65 10 "$(named ClipMain65V)"

print_with() {
    local name=$1 label=$2
    shift 2
    step "remote control menu: 印刷 › $label"
    rm -f "$TESSARY_PDF_DIR"/*.pdf
    local before
    before=$(pdf_count)
    open_remote_menu
    keys Down Down Right "${@:1:$#-1}"
    shot "print-menu-$name"
    keys "${@: -1}"
    if ! wait_for 90 pdfs_ready $((before + 1)) "$before"; then
        lpstat -o >&2 2>/dev/null || true
        fail "no PDF from the $label job within 90 s"
    fi
    mv "$(newest_pdfs 1)" "$OUT/printed-$name.pdf"
    shot "printed-$name"
}
print_with portrait 縦印刷 Return
print_with landscape 横印刷 Down Return

pdftoppm -png -r 60 -f 1 -l 1 -singlefile "$OUT/printed-portrait.pdf" "$OUT/printed-portrait" ||
    fail "pdftoppm could not render printed-portrait.pdf"
pdftoppm -png -r 60 -f 1 -l 1 -singlefile "$OUT/printed-landscape.pdf" \
    "$OUT/printed-landscape" || fail "pdftoppm could not render printed-landscape.pdf"
if [[ -n $PICS ]]; then
    convert "$OUT/printed-portrait.png" -resize 398x -bordercolor '#9a9a9a' -border 1 -strip \
        "$PICS/printed-page.png"
fi

step "remote control menu: 閉じる"
open_remote_menu
keys Down Down Down
shot close-menu
keys Return
wait_for 10 hidden ClipRemort || fail "閉じる left the remote control open"
wait_for 10 hidden ClipMain65V || fail "閉じる left the preview open"

step "tray icon menu: 設定"
open_tray_menu
point_tray_item 0
shot tray-menu
tray_picture tray-menu 6
click_tray_item 0
wait_for 15 visible 設定 || fail "the settings dialog did not open"
sleep 1
shot settings
picture settings 10 "$(named 設定)"
# CANCEL sits at 180,140 in the dialog, 63 x 21.
read -r dx dy _ _ < <(geometry 設定)
xdotool mousemove $((dx + 211)) $((dy + 150)) click 1
wait_for 10 hidden 設定 || fail "CANCEL did not close the settings dialog"

step "tray icon menu: 終了"
open_tray_menu
click_tray_item 2
for _ in $(seq 100); do kill -0 "$PROG_PID" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$PROG_PID" 2>/dev/null; then fail "Tessary did not end after 終了"; fi
wait "$PROG_PID" 2>/dev/null || true
PROG_PID=
step "Tessary ended"
