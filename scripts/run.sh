#!/usr/bin/env bash
# Usage: sudo scripts/run.sh
#
# Installs what is missing (scripts/setup.sh), builds tessary.exe with the mingw preset, then
#   - with $DISPLAY set: runs Tessary on that display under Wine until it ends (終了 in the tray
#     icon's menu, or Ctrl-C here). Its Wine prefix and program folder are kept in
#     ~/.local/share/tessary/ (of the user who ran sudo), so the settings stay between runs;
#   - without a display: a demonstration on a virtual display with a PDF printer, inside
#     scripts/testenv.sh; screenshots of each step and the printed PDFs go to out/demo/.
# TESSARY_BUILD_DIR builds somewhere other than build/mingw.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
# The program folder and the fonts, as the tests set them up; nothing of the test environment.
source tests/e2e_lib.sh --host

say() { echo "run.sh: $*"; }
die() {
    echo "run.sh: error: $*" >&2
    exit 1
}

[[ $(id -u) -eq 0 ]] ||
    die "run me as root, it installs packages: sudo scripts/run.sh" \
        "(Tessary itself then runs as you, not as root)"

# --- setup and build --------------------------------------------------------------------------
say "checking the packages (scripts/setup.sh)"
if ! scripts/setup.sh; then
    die "installing the packages failed (see setup.sh's message above). If apt-get could not" \
        "reach the Debian package registry, check the network connection, the mirrors in" \
        "/etc/apt/sources.list(.d) and any proxy setting, then run scripts/run.sh again."
fi

BUILD=${TESSARY_BUILD_DIR:-build/mingw}
say "building tessary.exe in $BUILD (a few minutes the first time)"
cmake --preset mingw -B "$BUILD" >/dev/null ||
    die "CMake could not configure the build (messages above)"
cmake --build "$BUILD" --target tessary -j "$(nproc)" ||
    die "the build failed (compiler messages above)"
EXE=$(cd "$BUILD/bin" && pwd)/tessary.exe
[[ -f $EXE && -f $BUILD/bin/CNT/Tessary.ini ]] ||
    die "the build did not leave $BUILD/bin/tessary.exe and $BUILD/bin/CNT/Tessary.ini"

# --- without a display: the demonstration ------------------------------------------------------
run_demo() {
    local out=$ROOT/out/demo child status
    rm -rf "$out"
    mkdir -p "$out"
    say "no DISPLAY: a demonstration on a virtual display with a PDF printer (about 2 minutes)"
    timeout -k 30 900 scripts/testenv.sh bash scripts/demo.sh "$EXE" "$out" &
    child=$!
    # testenv.sh stops its X server, cupsd and Wine on TERM.
    trap 'kill -TERM "$child" 2>/dev/null; wait "$child"; exit 130' INT TERM HUP
    set +e
    wait "$child"
    status=$?
    set -e
    trap - INT TERM HUP
    if [[ -n ${SUDO_UID:-} && -n ${SUDO_GID:-} ]]; then
        chown -R "$SUDO_UID:$SUDO_GID" "$ROOT/out" 2>/dev/null || true
    fi
    if ((status == 124 || status == 137)); then
        die "the demonstration took longer than 15 minutes and was stopped"
    elif ((status != 0)); then
        die "the demonstration failed (message above); what it got to is in out/demo/"
    fi
    say "done. Screenshots of each step and the printed pages, in out/demo/:"
    (cd "$ROOT" && find out/demo -type f | sort | sed 's/^/    /')
}

# --- with a display: Tessary itself ----------------------------------------------------------
# Under sudo, Wine runs as the user who asked: their X server, their home, not root's.
RUN_USER=
RUN_HOME=$HOME
if [[ -n ${SUDO_USER:-} && $SUDO_USER != root ]]; then
    home=$(getent passwd "$SUDO_USER" | cut -d: -f6)
    if [[ -n $home && -d $home ]]; then
        RUN_USER=$SUDO_USER
        RUN_HOME=$home
    fi
fi
# Prefix for commands run as that user (an array, so that timeout can run it too).
AS_USER=()
if [[ -n $RUN_USER ]]; then AS_USER=(runuser -u "$RUN_USER" --); fi
E2E_AS=("${AS_USER[@]}")

WINE_STARTED=
TESSARY_PID=

stop_wine() {
    [[ -n $WINE_STARTED ]] || return 0
    WINE_STARTED=
    if [[ -n $TESSARY_PID ]]; then kill -TERM "$TESSARY_PID" 2>/dev/null || true; fi
    timeout 20 "${AS_USER[@]}" wineserver -k >/dev/null 2>&1 || true
    timeout 10 "${AS_USER[@]}" wineserver -w >/dev/null 2>&1 || true
    if [[ -n $TESSARY_PID ]]; then wait "$TESSARY_PID" 2>/dev/null || true; fi
}

# Processes of this Wine prefix (the wineserver lingers a few seconds after the last program).
prefix_in_use() {
    grep -lzx "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ >/dev/null 2>&1
}

run_on_display() {
    local data=${XDG_DATA_HOME:-$RUN_HOME/.local/share}/tessary
    [[ -n $RUN_USER ]] && data=$RUN_HOME/.local/share/tessary
    local prog=$data/program log=$data/wine.log printer managed
    export WINEPREFIX=$data/wine WINEARCH=win64 WINEDEBUG=-all
    # No Mono/Gecko install prompts, no menu entries written to the desktop.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

    timeout 10 "${AS_USER[@]}" xdpyinfo >/dev/null 2>&1 ||
        die "cannot open the display $DISPLAY${RUN_USER:+ as $RUN_USER}. Run from a terminal of" \
            "your desktop session, or unset DISPLAY for the demonstration on a virtual display."
    if pgrep -f "$prog/tessary.exe" >/dev/null; then
        die "Tessary is already running from $prog: its icon is in the notification area;" \
            "end it there with 終了 first"
    fi

    # The program folder: a fresh exe each run, but the user's settings are kept.
    if ! "${AS_USER[@]}" mkdir -p "$prog/CNT" || ! "${AS_USER[@]}" touch "$log"; then
        die "cannot create $prog${RUN_USER:+ as $RUN_USER}"
    fi
    local copied=0
    e2e_install "$EXE" "$prog" || copied=$?
    ((copied != 1)) ||
        die "cannot copy tessary.exe to $prog${RUN_USER:+ (can $RUN_USER read $BUILD/bin?)}"
    ((copied != 2)) || die "cannot copy the settings file to $prog/CNT"

    trap 'stop_wine' EXIT
    trap 'echo; say "stopping Tessary"; exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP

    if prefix_in_use; then
        # Normally the previous run's wineserver, about to end.
        timeout 15 "${AS_USER[@]}" wineserver -w >/dev/null 2>&1 || true
        prefix_in_use && die "something else is running in the Wine prefix $WINEPREFIX; end it" \
            "(WINEPREFIX=$WINEPREFIX wineserver -k) and try again"
    fi
    WINE_STARTED=1

    if [[ ! -f $WINEPREFIX/.tessary-ready ]]; then
        say "creating the Wine prefix $WINEPREFIX (first run only, up to a few minutes)"
        "${AS_USER[@]}" mkdir -p "$WINEPREFIX"
        if ! timeout 300 "${AS_USER[@]}" wineboot -i >"$log" 2>&1 </dev/null; then
            tail -n 20 "$log" >&2
            die "Wine did not start: wineboot failed or took longer than 5 minutes" \
                "(log: $log). Remove $WINEPREFIX and try again."
        fi
        # Replacements for the Japanese Windows fonts.
        local reg=$data/fonts.reg
        e2e_font_replacements | iconv -f UTF-8 -t UTF-16LE | "${AS_USER[@]}" tee "$reg" >/dev/null
        timeout 60 "${AS_USER[@]}" wine regedit /S "$(winpath "$reg")" </dev/null >>"$log" 2>&1 ||
            die "Wine could not import the Japanese font replacements (log: $log)"
        rm -f "$reg"
        "${AS_USER[@]}" touch "$WINEPREFIX/.tessary-ready"
    fi

    # Without a window manager (a bare X server), windows Wine leaves to one wait for it on
    # every show; let Wine place them itself then.
    managed=N
    if timeout 5 "${AS_USER[@]}" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null |
        grep -q 'window id'; then
        managed=Y
    fi
    timeout 60 "${AS_USER[@]}" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$managed" \
        /f </dev/null >>"$log" 2>&1 || die "Wine did not start (log: $log)"

    printer=$(LC_ALL=C timeout 10 lpstat -d 2>/dev/null |
        sed -n 's/^system default destination: //p') || true
    if [[ -n $printer ]]; then
        say "printing goes to the default printer \"$printer\""
    else
        say "no default printer (lpstat -d names none): 縦印刷 / 横印刷 will show Tessary's" \
            "error message. Set one with: lpadmin -d PRINTER"
    fi

    say "Tessary is running as ${RUN_USER:-$(id -un)}; program folder $prog (settings in CNT/Tessary.ini)."
    say "Its icon is in the notification area (or in the small \"Wine System Tray\" window if" \
        "the desktop has none). Copy a picture to see the remote control; to quit, right-click" \
        "the icon and choose 終了, or press Ctrl-C here."
    (cd "$prog" && "${AS_USER[@]}" wine "$prog/tessary.exe" </dev/null >>"$log" 2>&1) &
    TESSARY_PID=$!
    set +e
    wait "$TESSARY_PID"
    set -e
    TESSARY_PID=
    say "Tessary has ended"
}

if [[ -n ${DISPLAY:-} ]]; then
    run_on_display
else
    run_demo
fi
