#!/usr/bin/env bash
# The skinned windows at 96, 120, 144 and 192 DPI, the program started at each (per-monitor
# aware, it lays every window out from the DPI it is told): each window keeps its size in twips,
# every picture in it grows by the same factor, and a shot of it shrunk back matches the 96-DPI
# one; at 96 each looks exactly as it always did (the shots in tests/dpi96/). At 192 a picture
# with one-pixel detail is shown with every pixel the screen has. The settings dialog is opened
# from the tray menu and saved by mouse at each.
#
# Usage: scripts/testenv.sh bash tests/e2e_dpi.sh path/to/tessary.exe [DPI...]
set -uo pipefail
EXE=${1:?usage: e2e_dpi.sh path/to/tessary.exe [DPI...]}
shift
DPIS=("$@")
((${#DPIS[@]})) || DPIS=(96 120 144 192)
HERE=$(cd "$(dirname "$0")" && pwd)
source "$(dirname "$0")/e2e_lib.sh"

KEY='HKCU\Control Panel\Desktop'
old_dpi=$(timeout 30 wine reg query "$KEY" /v LogPixels 2>/dev/null | awk '/LogPixels/ {print $3}' | tr -d '\r')
restore_dpi() {
    if [[ -n $old_dpi ]]; then
        timeout 30 wine reg add "$KEY" /v LogPixels /t REG_DWORD /d $((old_dpi)) /f >/dev/null 2>&1
    else
        timeout 30 wine reg delete "$KEY" /v LogPixels /f >/dev/null 2>&1
    fi
}
e2e_on_exit restore_dpi

# Quadrants: blue/red over red/blue, 64 x 48.
/usr/bin/python3 - "$E2E_DIR/pic.bmp" <<'EOF'
import struct, sys
w, h = 64, 48
rows = b"".join(
    b"".join(bytes([255, 0, 0]) if (x < w // 2) == (y < h // 2) else bytes([0, 0, 255])
             for x in range(w))
    for y in range(h))
head = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
open(sys.argv[1], "wb").write(head + info + rows)
EOF
# One-pixel detail below quadrants of the same colours: stripes of single columns and a
# checkerboard of single pixels, black and white, in the lower third; as large as the 42-inch
# screen area at 192 DPI (5325 x 3255 twips), so that there it is shown pixel for pixel.
/usr/bin/python3 - "$E2E_DIR/sharp.bmp" <<'EOF'
import struct, sys
w, h = 710, 434
def px(x, y):
    if y >= h * 2 // 3:
        on = (x % 2 == 0) if x < w // 2 else ((x + y) % 2 == 0)
        return bytes([255, 255, 255]) if on else bytes([0, 0, 0])
    return bytes([0, 0, 255]) if (x < w // 2) == (y < h // 2) else bytes([255, 0, 0])
pad = (4 - w * 3 % 4) % 4
rows = b"".join(b"".join(px(x, y) for x in range(w)) + b"\0" * pad for y in reversed(range(h)))
head = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
open(sys.argv[1], "wb").write(head + info + rows)
EOF

# like "R G B" R G B: each channel within 40.
like() {
    local got
    read -r -a got <<<"$1"
    ((${#got[@]} == 3)) || return 1
    (((got[0] - $2) ** 2 < 1600 && (got[1] - $3) ** 2 < 1600 && (got[2] - $4) ** 2 < 1600))
}

# near A B: |A - B| <= 1 (rounding of twips to pixels).
near() { (($1 - $2 <= 1 && $2 - $1 <= 1)); }

# same_as_before NAME DPI: at 96 DPI the crop is, pixel for pixel, the one kept in tests/dpi96.
same_as_before() {
    (($2 == 96)) || return 0
    local shot=$E2E_DIR/$1-96.png want=$HERE/dpi96/$1.png diff
    diff=$(compare -metric AE "$shot" "$want" null: 2>&1)
    [[ $diff == 0 ]] && return 0
    [[ -n ${E2E_KEEP:-} ]] && cp "$shot" "$E2E_KEEP"/
    fail "at 96 DPI the $1 no longer looks as it did ($diff pixels differ)"
}

# run_at DPI: starts a copy, copies the picture, keeps crops of the remote control and the
# preview as remote-DPI.png and preview-DPI.png, and checks the window sizes.
run_at() {
    local dpi=$1 dir=$E2E_DIR/p$1 x y w h pid picture=$E2E_DIR/pic.bmp
    tw() { echo $((($1 * dpi + 720) / 1440)); }
    ((dpi == 192)) && picture=$E2E_DIR/sharp.bmp
    timeout 30 wine reg add "$KEY" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 ||
        fail "could not set LogPixels to $dpi"
    e2e_install "$EXE" "$dir"
    # Copied first: an open preview keeps the picture it opened with, so one left on the
    # clipboard by an earlier program must not open it. The start-up look finds ours.
    # -quiet keeps it in front, where its pid is known; it serves the selection until killed.
    copy_picture "$picture"
    e2e_start "$dir"
    pid=$E2E_LAST_PID
    wait_for 30 visible ClipMain42V || fail "$dpi DPI: no preview after a picture was copied"
    wait_for 10 visible ClipRemort || fail "$dpi DPI: no remote control"
    # Our picture (an earlier one may still be on the clipboard when the program starts):
    # red at the top left of the screen area, blue at the top right.
    read -r x y w h < <(geometry ClipMain42V)
    ours() {
        like "$(pixel_at $((x + w * 3 / 10)) $((y + h * 3 / 10)))" 255 0 0 &&
            like "$(pixel_at $((x + w * 7 / 10)) $((y + h * 3 / 10)))" 0 0 255
    }
    if ! wait_for 20 ours; then
        [[ -n ${E2E_KEEP:-} ]] && import -window root "$E2E_KEEP/screen-$dpi.png"
        fail "$dpi DPI: the preview does not show the copied picture"
    fi
    # Both have painted once two shots a second apart are the same.
    local i
    for ((i = 0; i < 10; i++)); do
        import -window root "$E2E_DIR/a.png"
        sleep 1
        import -window root "$E2E_DIR/b.png"
        [[ $(compare -metric AE "$E2E_DIR/a.png" "$E2E_DIR/b.png" null: 2>&1) == 0 ]] && break
    done

    read -r x y w h < <(geometry ClipRemort)
    echo "$dpi DPI: remote control ${w}x$h at $x,$y"
    near "$w" "$(tw 630)" && near "$h" "$(tw 2115)" || fail "$dpi DPI: remote control is ${w}x$h"
    near "$x" "$(tw 3162)" && near "$y" "$(tw 6920)" || fail "$dpi DPI: remote control at $x,$y"
    convert "$E2E_DIR/b.png" -crop "${w}x$h+$x+$y" +repage "$E2E_DIR/remote-$dpi.png"
    same_as_before remote "$dpi"
    # The picture's first row and column are its grey margin; they are lost when Picture1's
    # inside starts above or left of the client area.
    local k
    for k in 3 5 7; do
        like "$(pixel_at $((x + w * k / 10)) "$y")" 128 128 128 ||
            fail "$dpi DPI: the remote control's first row is not the picture's ($(pixel_at $((x + w * k / 10)) "$y"))"
        like "$(pixel_at "$x" $((y + h * k / 10)))" 128 128 128 ||
            fail "$dpi DPI: the remote control's first column is not the picture's ($(pixel_at "$x" $((y + h * k / 10))))"
    done

    read -r x y w h < <(geometry ClipMain42V)
    echo "$dpi DPI: 42-inch preview ${w}x$h at $x,$y"
    near "$w" "$(tw 7035)" && near "$h" "$(tw 3975)" || fail "$dpi DPI: preview is ${w}x$h"
    convert "$E2E_DIR/b.png" -crop "${w}x$h+$x+$y" +repage "$E2E_DIR/preview-$dpi.png"
    same_as_before preview "$dpi"
    if ((dpi == 192)); then
        # The screen area, twice as wide as at 96, against the picture resampled to its size
        # by a box filter (here 1:1): a picture drawn at 96 DPI and enlarged blurs the detail.
        local sw sh rmse
        sw=$(tw 5325) sh=$(tw 3255)
        ((sw >= 2 * 355 - 1)) || fail "192 DPI: the screen area is $sw pixels wide"
        convert "$picture" -filter Box -resize "${sw}x$sh!" "$E2E_DIR/want.png"
        convert "$E2E_DIR/b.png" -crop "${sw}x$sh+$((x + $(tw 840)))+$((y + $(tw 360)))" +repage \
            "$E2E_DIR/area.png"
        rmse=$(compare -metric RMSE "$E2E_DIR/area.png" "$E2E_DIR/want.png" null: 2>&1 |
            sed -n 's/.*(\(.*\)).*/\1/p')
        echo "192 DPI: screen area ${sw}x$sh against the picture resampled: difference $rmse"
        awk -v d="$rmse" 'BEGIN {exit !(d != "" && d < 0.03)}' ||
            fail "192 DPI: the picture is not shown with its one-pixel detail ($rmse)"
    fi

    [[ -n ${E2E_KEEP:-} ]] && cp "$E2E_DIR/b.png" "$E2E_KEEP/screen-$dpi.png"
    check_dialog "$dpi" "$dir"
    timeout 20 wine taskkill /IM tessary.exe >/dev/null 2>&1
    wait_for 20 gone "$dir" || fail "$dpi DPI: the program did not end"
    kill -0 "$pid" 2>/dev/null && kill "$pid"
    sleep 1
}

# check_dialog DPI DIR: opens the settings dialog from the tray menu, checks its size and that
# its controls lie inside at their places, keeps a crop as dialog-DPI.png, then saves a changed
# number of copies by mouse.
check_dialog() {
    local dpi=$1 dir=$2 icons before x y w h
    tw() { echo $((($1 * dpi + 720) / 1440)); }
    # Ours is the newest icon, the last one; an earlier program's may still be going away.
    icons=$(tray_icons_settled) && ((icons > 0)) || fail "$dpi DPI: no icon in the tray"
    tray_menu $((icons - 1)) Down Return
    wait_for 15 visible 設定 || fail "$dpi DPI: no settings dialog after 設定"
    sleep 1
    read -r x y w h < <(geometry 設定)
    echo "$dpi DPI: settings dialog ${w}x$h at $x,$y"
    near "$w" "$(tw 5010)" && near "$h" "$(tw 3120)" || fail "$dpi DPI: settings dialog is ${w}x$h"
    import -window root -crop "${w}x$h+$x+$y" +repage "$E2E_DIR/dialog-$dpi.png"
    [[ -n ${E2E_KEEP:-} ]] && cp "$E2E_DIR/dialog-$dpi.png" "$E2E_KEEP"/
    same_as_before dialog "$dpi"
    # A point of each control, in twips on the client area: "name left top R G B".
    local point px py
    while read -r -a point; do
        px=$(tw "${point[1]}") py=$(tw "${point[2]}")
        ((px < w && py < h)) || fail "$dpi DPI: ${point[0]} lies outside the ${w}x$h dialog"
        like "$(pixel_at $((x + px)) $((y + py)))" "${point[3]}" "${point[4]}" "${point[5]}" ||
            fail "$dpi DPI: ${point[0]} not at its place ($(pixel_at $((x + px)) $((y + py))))"
    done <<'POINTS'
Combo1 3381 517 255 255 255
Combo2 2661 1747 255 255 255
Option1(0) 1410 1297 128 128 128
Option1(1) 2160 1297 128 128 128
Option1(2) 2910 1297 128 128 128
Option1(3) 3660 1297 128 128 128
Command1(1) 2760 2160 255 255 255
Command1(0) 3780 2160 255 255 255
POINTS
    # Label1's dark text on the silver strip along the bottom.
    local dark
    dark=$(convert "$E2E_DIR/dialog-$dpi.png" -crop "$(tw 2325)x$(tw 300)+$(tw 1590)+$(tw 2820)" \
        +repage -colorspace gray -negate -threshold 70% -format '%[fx:mean]' info:)
    awk -v m="$dark" 'BEGIN { exit !(m > 0.03) }' || fail "$dpi DPI: Tessary Ver.1.0 not shown ($dark)"

    # Copies: into Combo2's text, 3 for it, then OK, all by mouse at their places.
    xdotool mousemove $((x + $(tw 2340))) $((y + $(tw 1747))) click 1
    sleep 0.3
    xdotool key --clearmodifiers Home shift+End BackSpace
    xdotool type --delay 50 3
    sleep 0.3
    xdotool mousemove $((x + $(tw 4192))) $((y + $(tw 2257))) click 1
    ini_page_3() { grep -qa $'^PAGE=3\r$' "$dir/CNT/Tessary.ini"; }
    wait_for 15 ini_page_3 || fail "$dpi DPI: OK did not save the copies"
    wait_for 15 no_settings_dialog || fail "$dpi DPI: the dialog stayed open after OK"
}

# same_look A B: both shrunk to a third of A's size (where resampling no longer matters) differ
# by little (root-mean-square, 0..1). A picture left at its 96-DPI size in a grown window
# differs by about 0.3 from the one that grew with it.
same_look() {
    [[ -n ${E2E_KEEP:-} ]] && cp "$1" "$2" "$E2E_KEEP"/
    local size rmse
    size=$(identify -format '%[fx:round(w/3)]x%[fx:round(h/3)]' "$1")
    rmse=$(compare -metric RMSE \( "$1" -resize "$size!" \) \( "$2" -resize "$size!" \) null: 2>&1 |
        sed -n 's/.*(\(.*\)).*/\1/p')
    echo "  $(basename "$1") vs $(basename "$2"): difference $rmse"
    awk -v d="$rmse" 'BEGIN {exit !(d != "" && d < 0.15)}'
}

# At 192 DPI the remote control lies at 422, 923 and reaches below a 1024-line screen: that case
# runs in an environment of its own with a taller one.
read -r _ screen_h < <(screen_size)
nested=0
for dpi in "${DPIS[@]}"; do
    if ((dpi == 192 && screen_h < 1300)); then
        nested=1
        continue
    fi
    run_at "$dpi"
    if ((dpi != 96 && dpi != 192)) && [[ -f $E2E_DIR/remote-96.png ]]; then
        same_look "$E2E_DIR/remote-96.png" "$E2E_DIR/remote-$dpi.png" ||
            fail "at $dpi DPI the remote control's picture does not fill its window as at 96"
        same_look "$E2E_DIR/preview-96.png" "$E2E_DIR/preview-$dpi.png" ||
            fail "at $dpi DPI the preview does not look as at 96"
        same_look "$E2E_DIR/dialog-96.png" "$E2E_DIR/dialog-$dpi.png" ||
            fail "at $dpi DPI the settings dialog does not look as at 96"
    fi
done
if ((nested)); then
    env -u TESSARY_TESTENV -u TESSARY_TESTENV_DIR TESSARY_TESTENV_SCREEN=1600x1400x24 \
        "$HERE/../scripts/testenv.sh" bash "$0" "$EXE" 192 || fail "the 192-DPI case failed"
fi
echo ok
