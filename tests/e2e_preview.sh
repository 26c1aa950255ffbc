#!/usr/bin/env bash
# End to end with the real program on the test environment's X server: a picture copied by an X
# program brings up the remote control at its fixed place and the 42-inch preview centred with the
# picture inside the bezel; the remote's right button opens its menu, whose "スイッチ" items swap the
# preview for the 57- and the 65-inch one.
#
# Usage (from the build folder): scripts/testenv.sh bash tests/e2e_preview.sh path/to/tessary.exe
# Set TESSARY_SCREENSHOT_DIR to keep crops of the remote and each preview there (docs/img).
set -uo pipefail
EXE=${1:?usage: e2e_preview.sh path/to/tessary.exe}
source "$(dirname "$0")/e2e_lib.sh"
e2e_need wine xclip xdotool xwininfo xdpyinfo import convert display python3
# Every check is reported; the script fails at the end when one did.
E2E_KEEP_GOING=1
E2E_LOG=$E2E_DIR/wine.log

# shot NAME: the screen as NAME.png and, for the probes, NAME.ppm.
shot() {
    import -window root "$E2E_DIR/$1.png"
    convert "$E2E_DIR/$1.png" -depth 8 "$E2E_DIR/$1.ppm"
}

keep() {
    [[ -n ${TESSARY_SCREENSHOT_DIR:-} ]] || return 0
    mkdir -p "$TESSARY_SCREENSHOT_DIR"
    convert "$E2E_DIR/$1.png" -crop "$3x$4+$5+$6" +repage "$TESSARY_SCREENSHOT_DIR/$2"
}

# --- the program folder and the picture -----------------------------------------------------
PROG=$E2E_DIR/prog
e2e_install "$EXE" "$PROG"
PIC=("255,0,0" "0,255,0" "0,0,255" "255,255,0") # red, green / blue, yellow
make_bmp "$E2E_DIR/pic.bmp" "${PIC[@]}"

# A desktop of one colour, so that the snapshot rows can be told from black: a window of that
# colour over the whole screen, under everything the program opens later. (The root window's own
# background does not hold: Wine's desktop paints it over.)
DESKTOP="58,110,165"
read -r SCREEN_W SCREEN_H < <(screen_size)
convert -size "${SCREEN_W}x$SCREEN_H" "xc:rgb($DESKTOP)" "$E2E_DIR/backdrop.png"
display -geometry "+0+0" -title backdrop "$E2E_DIR/backdrop.png" >/dev/null 2>&1 &
E2E_PIDS+=($!)
desktop_shown() {
    shot root
    [[ $(probe "$E2E_DIR/root.ppm" 40 "root 5 $((SCREEN_H - 20)) $DESKTOP") == ok* ]]
}
wait_for 15 desktop_shown || fail "the backdrop window did not come up"

# --- start, then copy the picture ---------------------------------------------------------------
e2e_start "$PROG"
PROG_PID=$E2E_LAST_PID
e2e_on_exit "e2e_stop $PROG_PID"
sleep 3
copy_picture "$E2E_DIR/pic.bmp"

if ! wait_for 30 visible ClipRemort; then
    fail "the remote control did not appear"
    cat "$E2E_LOG" >&2
    exit 1
fi
pass "the remote control appeared"
if ! wait_for 30 visible ClipMain42V; then
    fail "the 42-inch preview did not appear"
    exit 1
fi
pass "the 42-inch preview appeared"
sleep 1

read -r rx ry rw rh < <(geometry ClipRemort)
check_remote

check_preview ClipMain42V 469 265
check_preview_picture ClipMain42V 56 24 355 217 "${PIC[@]}"
# The row below the remote picture is the snapshot of the desktop.
shot s42
check "$E2E_DIR/s42.ppm" 40 "snapshot row under the remote $((rx + 20)) $((ry + 140)) $DESKTOP" &&
    pass "the snapshot row under the remote shows the desktop"
keep s42 remote.png "$rw" "$rh" "$rx" "$ry"
read -r px py _ _ < <(geometry ClipMain42V)
keep s42 preview42.png 469 265 "$px" "$py"

# --- the remote's menu ------------------------------------------------------------------------
switch_to() {
    local index=$1 name=$2 w=$3 h=$4 old=$5 bx=$6 by=$7 bw=$8 bh=$9 shotname=${10} x y
    choose_size "$index" || return 0
    if wait_for 20 visible "$name" && wait_for 10 hidden "$old"; then
        pass "$name replaced $old"
    else
        fail "$name did not replace $old"
        return 0
    fi
    sleep 1
    check_preview "$name" "$w" "$h"
    check_preview_picture "$name" "$bx" "$by" "$bw" "$bh" "${PIC[@]}"
    [[ -n ${TESSARY_SCREENSHOT_DIR:-} ]] || return 0
    shot "$shotname"
    read -r x y _ _ < <(geometry "$name")
    keep "$shotname" "${shotname/s/preview}.png" "$w" "$h" "$x" "$y"
}

switch_to 1 ClipMain57V 563 280 ClipMain42V 52 10 461 261 s57
switch_to 2 ClipMain65V 552 358 ClipMain57V 10 10 533 293 s65

# --- Alt+F4 on the preview: it closes as OFF does, so its size opens again ------------------
# alt_f4 X Y: a left click where no image answers makes that window the active one, then Alt+F4.
alt_f4() {
    xdotool mousemove "$1" "$2" click 1
    sleep 0.5
    xdotool key alt+F4
}
# The 65-inch display picture leaves the last column of the client area to the snapshot.
read -r px py _ _ < <(geometry ClipMain65V)
alt_f4 $((px + 551)) $((py + 100))
if wait_for 10 hidden ClipMain65V; then pass "Alt+F4 closed the 65-inch preview"; else
    fail "Alt+F4 left the 65-inch preview open"
fi
visible ClipRemort || fail "Alt+F4 on the preview closed the remote"
choose_size 2
if wait_for 20 visible ClipMain65V; then pass "65ｲﾝﾁ opens again after Alt+F4"; else
    fail "65ｲﾝﾁ did not open again after Alt+F4"
fi

# --- dragging and closing -----------------------------------------------------------------
# A left press on the picture starts the system's window move.
xdotool mousemove $((rx + 21)) $((ry + 120)) mousedown 1
sleep 0.5
xdotool mousemove $((rx + 121)) $((ry + 80))
sleep 0.5
xdotool mousemove $((rx + 221)) $((ry + 40))
sleep 0.5
xdotool mouseup 1
sleep 0.5
read -r nx ny _ _ < <(geometry ClipRemort)
if [[ "$nx $ny" == "$((rx + 200)) $((ry - 80))" ]]; then
    pass "dragged the remote to $nx,$ny"
else
    fail "the remote is at $nx,$ny after the drag, wanted $((rx + 200)),$((ry - 80))"
fi
rx=$nx ry=$ny

# 閉じる, the third item, closes the preview and the remote; the program stays resident.
remote_menu Down Down Down Return
if wait_for 10 hidden ClipRemort && wait_for 10 hidden ClipMain65V; then
    pass "閉じる closed the remote and the preview"
else
    fail "閉じる left windows open"
fi
if kill -0 "$PROG_PID" 2>/dev/null; then pass "still resident"; else fail "the program ended"; fi

# Alt+F4 on the remote closes it as 閉じる does, with its preview. A new picture brings both.
copy_picture "$E2E_DIR/pic.bmp"
if wait_for 30 visible ClipRemort && wait_for 30 visible ClipMain42V; then
    sleep 0.5
    # The row below the remote's picture answers no mouse.
    read -r rx ry _ _ < <(geometry ClipRemort)
    alt_f4 $((rx + 20)) $((ry + 140))
    if wait_for 10 hidden ClipRemort && wait_for 10 hidden ClipMain42V; then
        pass "Alt+F4 on the remote closed it and the preview"
    else
        fail "Alt+F4 on the remote left windows open"
    fi
else
    fail "a new picture did not bring the remote and the preview back"
fi

e2e_end
