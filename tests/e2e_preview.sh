#!/usr/bin/env bash
# End to end with the real program on the test environment's X server: a picture copied by an X
# program brings up the remote control at its fixed place and the 42-inch preview centred with the
# picture inside the bezel; the remote's right button opens its menu, whose "スイッチ" items swap the
# preview for the 57- and the 65-inch one.
#
# Usage (from the build folder): scripts/testenv.sh bash tests/e2e_preview.sh path/to/tessary.exe
# Set TESSARY_SCREENSHOT_DIR to keep crops of the remote and each preview there (docs/img).
set -euo pipefail

EXE=${1:?usage: e2e_preview.sh path/to/tessary.exe}
if [[ ${TESSARY_TESTENV:-} != 1 ]]; then
    echo "e2e_preview: skipped, needs scripts/testenv.sh around it"
    exit 77
fi
for tool in wine xclip xdotool xwininfo xdpyinfo import convert display python3; do
    command -v "$tool" >/dev/null || {
        echo "e2e_preview: $tool not found; run scripts/setup.sh" >&2
        exit 1
    }
done

# The system interpreter starts much faster than a version manager's shim.
PY=/usr/bin/python3
[[ -x $PY ]] || PY=$(command -v python3)

WORK=$(mktemp -d "${TESSARY_TESTENV_DIR:-/tmp}/e2e-preview.XXXXXX")
PROG_PID=
XCLIP_PID=
BACKDROP_PID=
FAILED=0

cleanup() {
    set +e
    if [[ -n $PROG_PID ]] && kill -0 "$PROG_PID" 2>/dev/null; then
        # The exit command's road: WM_CLOSE to the menu window leaves the chain and the tray.
        timeout 20 wine taskkill /IM tessary.exe >/dev/null 2>&1
        for _ in $(seq 50); do kill -0 "$PROG_PID" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$PROG_PID" 2>/dev/null
        wait "$PROG_PID" 2>/dev/null
    fi
    for pid in $XCLIP_PID $BACKDROP_PID; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    FAILED=1
}
pass() { echo "ok: $*"; }

# Waits up to $1 seconds for the command to succeed.
wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || return 1
        sleep 0.2
    done
}

# "x y w h" of the visible top-level window with this exact title, or nothing.
geometry() {
    local id
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) || return 1
    [[ -n $id ]] || return 1
    xwininfo -id "$id" | awk '
        /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF}
        END {if (w) print x, y, w, h; else exit 1}'
}
visible() { geometry "$1" >/dev/null; }
gone() { ! visible "$1"; }

# The probes read 8-bit PPM; import sometimes hands back 16-bit samples of the root window.
shot() {
    import -window root "$WORK/$1.png"
    convert "$WORK/$1.png" -depth 8 "$WORK/$1.ppm"
}

# probe NAME "label x y r g b" ... -> one line per probe, "ok label" or "FAIL label: got r g b";
# a label starting with "!" wants the colour NOT to be there. Channels match within 40.
probe() {
    "$PY" - "$WORK/$1.ppm" "${@:2}" <<'EOF'
import sys
data = open(sys.argv[1], 'rb').read()
fields, pos = [], 0  # P6 header: magic, width, height, maxval
while len(fields) < 4:
    while data[pos:pos + 1].isspace():
        pos += 1
    start = pos
    while not data[pos:pos + 1].isspace():
        pos += 1
    fields.append(data[start:pos])
pos += 1
width = int(fields[1])
for item in sys.argv[2:]:
    label, x, y, r, g, b = item.rsplit(' ', 5)
    i = pos + (int(y) * width + int(x)) * 3
    got = data[i:i + 3]
    same = all(abs(p - int(q)) <= 40 for p, q in zip(got, (r, g, b)))
    negate = label.startswith('!')
    ok = same != negate
    print(('ok ' if ok else 'FAIL ') + label.lstrip('!') +
          ('' if ok else ': got %d %d %d' % tuple(got)))
EOF
}

# Runs probes and reports each result.
check() {
    local line
    while read -r line; do
        case $line in
        ok\ *) pass "${line#ok }" ;;
        *) fail "${line#FAIL }" ;;
        esac
    done < <(probe "$@")
}

keep() {
    [[ -n ${TESSARY_SCREENSHOT_DIR:-} ]] || return 0
    mkdir -p "$TESSARY_SCREENSHOT_DIR"
    convert "$WORK/$1.png" -crop "$3x$4+$5+$6" +repage "$TESSARY_SCREENSHOT_DIR/$2"
}

# --- the program folder and the picture -----------------------------------------------------
PROG=$WORK/prog
mkdir -p "$PROG/CNT"
cp "$EXE" "$PROG/tessary.exe"
ini=$(dirname "$EXE")/CNT/Tessary.ini
if [[ -f $ini ]]; then cp "$ini" "$PROG/CNT/Tessary.ini"; fi

# Four quadrants: red, green / blue, yellow; 24-bit bottom-up BMP.
"$PY" - "$WORK/pic.bmp" <<'EOF'
import struct, sys
w, h = 320, 200
def colour(x, y):
    top, left = y < h // 2, x < w // 2
    if top:
        return (255, 0, 0) if left else (0, 255, 0)
    return (0, 0, 255) if left else (255, 255, 0)
stride = (w * 3 + 3) & ~3
rows = []
for y in range(h - 1, -1, -1):
    row = bytearray()
    for x in range(w):
        r, g, b = colour(x, y)
        row += bytes((b, g, r))
    row += b'\0' * (stride - w * 3)
    rows.append(bytes(row))
pixels = b''.join(rows)
info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
open(sys.argv[1], 'wb').write(head + info + pixels)
EOF

# A desktop of one colour, so that the snapshot rows can be told from black: a window of that
# colour over the whole screen, under everything the program opens later. (The root window's own
# background does not hold: Wine's desktop paints it over.)
DESKTOP="58 110 165"
read -r SCREEN_W SCREEN_H < <(xdpyinfo | awk '/dimensions:/ {split($2, d, "x"); print d[1], d[2]}')
convert -size "${SCREEN_W}x$SCREEN_H" "xc:rgb(${DESKTOP// /,})" "$WORK/backdrop.png"
display -geometry "+0+0" -title backdrop "$WORK/backdrop.png" >/dev/null 2>&1 &
BACKDROP_PID=$!
desktop_shown() {
    shot root
    [[ $(probe root "root 5 $((SCREEN_H - 20)) $DESKTOP") == ok* ]]
}
wait_for 15 desktop_shown || fail "the backdrop window did not come up"

# --- start, then copy the picture ---------------------------------------------------------------
(cd "$PROG" && exec wine "$PROG/tessary.exe") >"$WORK/wine.log" 2>&1 &
PROG_PID=$!
sleep 3
xclip -quiet -selection clipboard -t image/bmp -i "$WORK/pic.bmp" >/dev/null 2>&1 &
XCLIP_PID=$!

if ! wait_for 30 visible ClipRemort; then
    fail "the remote control did not appear"
    cat "$WORK/wine.log" >&2
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
if [[ "$rx $ry $rw $rh" == "211 461 42 141" ]]; then
    pass "remote at 211,461 42x141"
else
    fail "remote at $rx,$ry ${rw}x$rh, wanted 211,461 42x141"
fi

# Centred: within half a pixel of the exact centre, as rounding allows. Leaves the position in
# WIN_X, WIN_Y.
check_preview() {
    local name=$1 want_w=$2 want_h=$3 x y w h
    read -r x y w h < <(geometry "$name")
    WIN_X=$x WIN_Y=$y
    if [[ "$w $h" != "$want_w $want_h" ]]; then
        fail "$name is ${w}x$h, wanted ${want_w}x$want_h"
    fi
    if "$PY" -c 'import sys; sw, sh, x, y, w, h = map(int, sys.argv[1:]); \
        sys.exit(0 if abs(x - (sw - w) / 2) <= 0.5 and abs(y - (sh - h) / 2) <= 0.5 else 1)' \
        "$SCREEN_W" "$SCREEN_H" "$x" "$y" "$w" "$h"; then
        pass "$name ${w}x$h centred at $x,$y"
    else
        fail "$name at $x,$y not centred on ${SCREEN_W}x$SCREEN_H"
    fi
}

# The clipboard picture's quadrant colours inside the screen box (pixels on the client area),
# and the bezel just left of the box.
check_colours() {
    local shotname=$1 ox=$2 oy=$3 bx=$4 by=$5 bw=$6 bh=$7 name=$8
    local x1=$((ox + bx + bw / 4)) x3=$((ox + bx + bw * 3 / 4))
    local y1=$((oy + by + bh / 4)) y3=$((oy + by + bh * 3 / 4))
    check "$shotname" "$name red at $x1,$y1 $x1 $y1 255 0 0" \
        "$name green at $x3,$y1 $x3 $y1 0 255 0" \
        "$name blue at $x1,$y3 $x1 $y3 0 0 255" \
        "$name yellow at $x3,$y3 $x3 $y3 255 255 0" \
        "!$name picture kept inside the bezel $((ox + bx - 3)) $y1 255 0 0"
}

check_preview ClipMain42V 469 265
shot s42
check_colours s42 "$WIN_X" "$WIN_Y" 56 24 355 217 ClipMain42V
# The row below the remote picture is the snapshot of the desktop.
check s42 "snapshot row under the remote $((rx + 20)) $((ry + 140)) $DESKTOP"
keep s42 remote.png "$rw" "$rh" "$rx" "$ry"
keep s42 preview42.png 469 265 "$WIN_X" "$WIN_Y"

# --- the remote's menu ------------------------------------------------------------------------
# The program's visible windows; the pop-up menu adds one.
program_windows() { xdotool search --onlyvisible --class tessary 2>/dev/null | sort | xargs; }
menu_open() { [[ $(program_windows) != "$1" ]]; }

# Right button on the remote, then the keys; the menu starts with nothing selected.
use_menu() {
    local before
    before=$(program_windows)
    xdotool mousemove $((rx + 21)) $((ry + 120)) click 3
    if ! wait_for 10 menu_open "$before"; then
        fail "no menu appeared on the right button"
        return 1
    fi
    pass "the menu appeared"
    sleep 0.5
    local key
    for key in "$@"; do
        xdotool key "$key"
        sleep 0.25
    done
}

# スイッチ is the first item; its submenu lists 42, 57, 65, OFF.
choose_size() {
    local keys=(Down Right) i
    for ((i = 0; i < $1; i++)); do keys+=(Down); done
    use_menu "${keys[@]}" Return
}

switch_to() {
    local index=$1 name=$2 w=$3 h=$4 old=$5 bx=$6 by=$7 bw=$8 bh=$9 shotname=${10}
    choose_size "$index" || return 0
    if wait_for 20 visible "$name" && wait_for 10 gone "$old"; then
        pass "$name replaced $old"
    else
        fail "$name did not replace $old"
        return 0
    fi
    sleep 1
    check_preview "$name" "$w" "$h"
    shot "$shotname"
    check_colours "$shotname" "$WIN_X" "$WIN_Y" "$bx" "$by" "$bw" "$bh" "$name"
    keep "$shotname" "${shotname/s/preview}.png" "$w" "$h" "$WIN_X" "$WIN_Y"
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
if wait_for 10 gone ClipMain65V; then pass "Alt+F4 closed the 65-inch preview"; else
    fail "Alt+F4 left the 65-inch preview open"
fi
visible ClipRemort || fail "Alt+F4 on the preview closed the remote"
choose_size 2 || true
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
use_menu Down Down Down Return || true
if wait_for 10 gone ClipRemort && wait_for 10 gone ClipMain65V; then
    pass "閉じる closed the remote and the preview"
else
    fail "閉じる left windows open"
fi
if kill -0 "$PROG_PID" 2>/dev/null; then pass "still resident"; else fail "the program ended"; fi

# Alt+F4 on the remote closes it as 閉じる does, with its preview. A new picture brings both.
kill "$XCLIP_PID" 2>/dev/null || true
wait "$XCLIP_PID" 2>/dev/null || true
xclip -quiet -selection clipboard -t image/bmp -i "$WORK/pic.bmp" >/dev/null 2>&1 &
XCLIP_PID=$!
if wait_for 30 visible ClipRemort && wait_for 30 visible ClipMain42V; then
    sleep 0.5
    # The row below the remote's picture answers no mouse.
    read -r rx ry _ _ < <(geometry ClipRemort)
    alt_f4 $((rx + 20)) $((ry + 140))
    if wait_for 10 gone ClipRemort && wait_for 10 gone ClipMain42V; then
        pass "Alt+F4 on the remote closed it and the preview"
    else
        fail "Alt+F4 on the remote left windows open"
    fi
else
    fail "a new picture did not bring the remote and the preview back"
fi

if ((FAILED)); then exit 1; fi
echo "e2e_preview: all checks passed"
