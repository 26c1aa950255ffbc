#!/usr/bin/env bash
# The real program's settings dialog: "設定" from the tray icon's menu opens it centred at
# 334 x 208, a changed number of copies saved with OK lands in CNT/Tessary.ini. With
# TESSARY_SCREENSHOT_DIR set, a picture of the dialog is kept there as settings.png.
# A winspool.drv and a uxtheme.dll planted beside the exe (TESSARY_PLANTED_DIR) are never loaded,
# even with Wine searching as Windows does for them, and the dialog and a print still work.
set -uo pipefail
EXE=$1
source "$(dirname "$0")/e2e_lib.sh"

SHOTS=${TESSARY_SCREENSHOT_DIR:-}
PROG=$E2E_DIR/prog
INI=$PROG/CNT/Tessary.ini

e2e_install "$EXE" "$PROG"
base=$(tray_icons_settled)
e2e_start "$PROG"
wait_for 30 tray_icons_are $((base + 1)) || fail "the icon did not appear in the tray"
ini_has "$INI" "PAGE=1" || fail "the shipped settings do not hold PAGE=1"

# Right press on the icon, then the first item, "設定".
open_settings_dialog "$base"
dialog=$(settings_dialog)

read -r x y w h < <(window_geometry "$dialog")
read -r sw sh < <(screen_size)
echo "dialog at $x,$y ${w}x$h on ${sw}x$sh"
((w == 334 && h == 208)) || fail "dialog is ${w}x$h, not 334x208"
dx=$((2 * x - (sw - w)))
dy=$((2 * y - (sh - h)))
((dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2)) || fail "dialog at $x,$y is not centred"

# The picture, as it first opens (the focus on the picture box: no caret, no selection).
sleep 1
import -window root -crop "${w}x$h+$x+$y" +repage "$E2E_DIR/dialog.png" ||
    fail "no screenshot"
# The three labels are white text on the dark screen, Label1 dark text on the silver strip.
for box in 145x15+28+28 117x15+28+58 107x15+28+112; do
    lit=$(convert "$E2E_DIR/dialog.png" -crop "$box" +repage -colorspace gray \
        -threshold 85% -format '%[fx:mean]' info:)
    awk -v m="$lit" 'BEGIN { exit !(m > 0.08) }' || fail "label at $box shows no white text ($lit)"
done
dark=$(convert "$E2E_DIR/dialog.png" -crop 155x20+106+188 +repage -colorspace gray -negate \
    -threshold 70% -format '%[fx:mean]' info:)
awk -v m="$dark" 'BEGIN { exit !(m > 0.03) }' || fail "Tessary Ver.1.0 not shown ($dark)"
if [[ -n $SHOTS ]]; then
    mkdir -p "$SHOTS"
    convert "$E2E_DIR/dialog.png" -strip "$SHOTS/settings.png" || fail "could not save the picture"
    echo "picture saved to $SHOTS/settings.png"
fi

# Copies: click into Combo2's text, replace it with 3, press OK.
settings_dialog_save_copies 3
wait_for 15 ini_has "$INI" "PAGE=3" || fail "CNT/Tessary.ini does not hold PAGE=3: $(tr '\r' ' ' <"$INI")"
wait_for 15 no_settings_dialog || fail "the dialog stayed open after OK"
ini_has "$INI" "PSIZE=A4" || fail "the paper size did not stay A4"
e2e_stop "$E2E_LAST_PID"

# --- libraries planted in the program folder ----------------------------------------------------
PLANTED=${TESSARY_PLANTED_DIR:-$(dirname "$EXE")/../planted}
[[ -f $PLANTED/winspool.drv && -f $PLANTED/uxtheme.dll ]] || fail "no planted libraries in $PLANTED"
e2e_install "$EXE" "$E2E_DIR/planted"
cp "$PLANTED/winspool.drv" "$PLANTED/uxtheme.dll" "$E2E_DIR/planted/"
loaded() { find "$E2E_DIR/planted" -name '*.loaded' -printf '%f '; }
planted_fail() { fail "planted: $*; loaded: $(loaded)"; }
# Native first: Wine then looks in the program folder first, as Windows does for these two.
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winspool.drv,uxtheme=n,b" e2e_start "$E2E_DIR/planted"
wait_for 30 tray_icons_are $((base + 1)) || planted_fail "the icon did not appear in the tray"
open_settings_dialog "$base"
settings_dialog_save_copies 2
wait_for 15 ini_has "$E2E_DIR/planted/CNT/Tessary.ini" "PAGE=2" || planted_fail "PAGE=2 not saved"
pdfs=$(pdf_count)
make_bmp "$E2E_DIR/pic.bmp" "255,0,0" "0,255,0" "0,0,255" "255,255,0"
copy_picture "$E2E_DIR/pic.bmp"
wait_for 30 visible ClipRemort || planted_fail "no remote control for the picture"
remote_menu Down Down Right Return # 印刷, 縦印刷
wait_for 60 pdfs_ready $((pdfs + 1)) "$pdfs" || planted_fail "the print gave no PDF"
[[ -z $(loaded) ]] || planted_fail "the libraries were loaded"
echo "ok: the planted winspool.drv and uxtheme.dll stayed unloaded; the dialog and a print worked"
echo "ok"
