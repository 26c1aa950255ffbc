#!/usr/bin/env bash
# The real program: its icon appears in the tray, a right press there opens the three-item menu,
# "終了" ends the process and takes the icon away, and a second copy runs on its own. Ended from
# outside (a WM_QUIT posted to its thread, a session end, taskkill), it takes its icon away and
# leaves the clipboard-viewer chain all the same: the viewer that joined before it still hears.
# "終了" chosen from the tray while a preview's message box stands ends the process too.
set -uo pipefail
EXE=$1
source "$(dirname "$0")/e2e_lib.sh"

e2e_install "$EXE" "$E2E_DIR/a"
e2e_install "$EXE" "$E2E_DIR/b"

base=$(tray_icons_settled)
e2e_start "$E2E_DIR/a"
wait_for 20 tray_icons_are $((base + 1)) || fail "the icon did not appear in the tray"

# No single-instance check: a second copy adds a second icon.
e2e_start "$E2E_DIR/b"
wait_for 20 tray_icons_are $((base + 2)) || fail "a second copy added no icon"

# Right press on the first icon opens a menu (a new small top-level window).
before=$(mapped_windows)
tray_right_click 0
menu=$(wait_new_window 5 "$before") || fail "no menu after a right press on the icon"
read -r mx my mw mh < <(window_geometry "$menu")
echo "menu at $mx,$my ${mw}x$mh"
# Three items of one line each.
((mh > 40 && mh < 120)) || fail "menu height $mh does not fit three items"

# The last item is "終了".
xdotool key Up Return
wait_for 20 gone "$E2E_DIR/a" || fail "the first copy did not end after 終了"
pgrep -f "$E2E_DIR/b/tessary.exe" >/dev/null || fail "the second copy ended too"

# The first icon is gone: the second copy's icon has moved to the first place and answers there.
# (Wine's tray does not always repaint the moved icon, so it is found by its menu, not by pixels.)
sleep 1
before=$(mapped_windows)
tray_right_click 0
wait_new_window 5 "$before" >/dev/null || fail "no menu from the icon in the first place"
xdotool key Up Return
wait_for 20 gone "$E2E_DIR/b" || fail "the second copy did not end after 終了"

# No icon left: nothing answers in the first place.
sleep 1
if [[ -n $(tray_window) ]]; then
    before=$(mapped_windows)
    tray_right_click 0
    if wait_new_window 2 "$before" >/dev/null; then fail "an icon stayed in the tray"; fi
fi

# --- ended from outside ---------------------------------------------------------------------
HELPER=$(dirname "$EXE")/road_helper.exe
[[ -f $HELPER ]] || fail "$HELPER not built"
COUNT=$E2E_DIR/count
wine "$HELPER" viewer "$(winpath "$COUNT")" "$(winpath "$E2E_DIR/stop")" >/dev/null 2>&1 &
E2E_PIDS+=($!)
wait_for 30 test -s "$COUNT" || fail "the test's clipboard viewer did not join the chain"
viewer_above() { (($(cat "$COUNT") > $1)); }
for way in quit session taskkill; do
    e2e_start "$E2E_DIR/a"
    wait_for 20 tray_icons_are $((base + 1)) || fail "$way: the icon did not appear"
    # Up and in the chain: its load handler is through once the window answers.
    wait_for 20 wine "$HELPER" program answers
    case $way in
    taskkill) timeout 20 wine taskkill /IM tessary.exe >/dev/null 2>&1 ;;
    *) wine "$HELPER" program "$way" || fail "$way: could not reach the program" ;;
    esac
    wait_for 20 gone "$E2E_DIR/a" || fail "$way: the program did not end"
    wait_for 10 tray_icons_are "$base" || fail "$way: the icon stayed in the tray"
    before=$(cat "$COUNT")
    copy_text "$way"
    wait_for 10 viewer_above "$before" || fail "$way: the viewer before the program went deaf"
    echo "ok: ended by $way, icon gone, chain intact"
done
touch "$E2E_DIR/stop"

# --- 終了 from the tray while a preview's message box stands -----------------------------------
e2e_start "$E2E_DIR/a"
wait_for 20 tray_icons_are $((base + 1)) || fail "box: the icon did not appear"
wait_for 20 wine "$HELPER" program answers || fail "box: the program does not answer"
tray_menu 0 Up Up Return # リモコン
wait_for 20 visible ClipRemort || fail "box: no remote control"
# The clipboard holds text: the 42-inch preview opens and says there is no picture.
remote_menu Down Right Return
wait_for 20 visible ClipMain42V || fail "box: no preview"
wait_for 20 visible Tessary || fail "box: the preview's message box did not come up"
before=$(mapped_windows)
tray_right_click 0
wait_new_window 5 "$before" >/dev/null || fail "box: no tray menu while the box stands"
xdotool key Up Return # 終了
wait_for 20 gone "$E2E_DIR/a" || fail "box: 終了 under the preview's box left the program running"
echo "ok: 終了 under the preview's box ended the program"
echo "ok"
