# Shared steps of the end-to-end scripts: a program folder of its own, starting tessary.exe under
# Wine, finding windows and the tray icon, and stopping what was started.
# Sourced by the scripts; they run inside scripts/testenv.sh.

if [[ ${TESSARY_TESTENV:-} != 1 ]]; then
    echo "skipped: run inside scripts/testenv.sh" >&2
    exit 77
fi

E2E_DIR=$(mktemp -d "${TESSARY_TESTENV_DIR:-/tmp}/e2e.XXXXXX")
E2E_PIDS=()

e2e_cleanup() {
    local pid
    for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$E2E_DIR"
}
trap e2e_cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    if [[ -n ${DISPLAY:-} ]]; then import -window root "$E2E_DIR/../failure-$(date +%s).png" 2>/dev/null || true; fi
    exit 1
}

# e2e_install EXE DIR: a program folder with the exe and the shipped settings.
e2e_install() {
    local exe=$1 dir=$2
    mkdir -p "$dir/CNT"
    cp "$exe" "$dir/tessary.exe"
    cp "$(dirname "$exe")/CNT/Tessary.ini" "$dir/CNT/Tessary.ini"
}

# e2e_start DIR: starts DIR/tessary.exe; sets E2E_LAST_PID.
e2e_start() {
    (cd "$1" && exec wine "$1/tessary.exe" >/dev/null 2>&1) &
    E2E_LAST_PID=$!
    E2E_PIDS+=("$E2E_LAST_PID")
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

tray_window() { xdotool search --onlyvisible --name '^Wine System Tray$' 2>/dev/null | head -n1; }

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

# Absolute position of a window: "X Y W H".
window_geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4}
        /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}

# Right-clicks the Nth tray icon (from 0).
tray_right_click() {
    local n=${1:-0} w x y ww hh
    w=$(tray_window)
    [[ -n $w ]] || fail "no tray window"
    read -r x y ww hh < <(window_geometry "$w")
    xdotool mousemove $((x + hh / 2 + n * hh)) $((y + hh / 2)) click 3
}

# Top-level windows mapped right now, one id per line.
mapped_windows() {
    xwininfo -root -children | awk '/^ +0x/ {print $1}' | while read -r id; do
        if xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable'; then echo "$id"; fi
    done | sort
}

# Colour of a screen pixel as "R G B" (0-255).
pixel_at() {
    import -window root -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null |
        sed -n '2s/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p'
}

# wait_new_window SECONDS BEFORE: prints the first window mapped since the list BEFORE.
wait_new_window() {
    local deadline=$((SECONDS + $1)) w
    while :; do
        w=$(comm -13 <(echo "$2") <(mapped_windows) | head -n1)
        if [[ -n $w ]]; then
            echo "$w"
            return 0
        fi
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
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

# The settings dialog of the program, opened with "設定" from the Nth tray icon's menu.
settings_dialog() { xdotool search --onlyvisible --name '^設定$' 2>/dev/null | head -n1; }
has_settings_dialog() { [[ -n $(settings_dialog) ]]; }
no_settings_dialog() { ! has_settings_dialog; }
open_settings_dialog() {
    local before
    before=$(mapped_windows)
    tray_right_click "$1"
    wait_new_window 5 "$before" >/dev/null || fail "no menu after a right press on the icon"
    xdotool key Down Return
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
