#!/usr/bin/env bash
# The real installer, uninstaller and portable zip under Wine, beside a Tessary that runs from
# another folder and must be left alone throughout:
#   a second installer is refused while one runs; setup.exe /S installs (files, both shortcuts,
#   the uninstall entry, Tessary running with its icon); /S again over the running copy with
#   changed settings ends it, keeps the settings and the user's files and leaves one copy
#   running; a copy that does not end (its settings dialog open) makes /S fail with nothing
#   replaced; a hung copy makes /S give up and start again the copy it ended; /D= /NOAUTOSTART
#   /NORUN, then a plain /S keeps folder and choice; the quiet uninstall command returns with the
#   program gone, keeps the user's files and leaves the entry of a copy installed elsewhere since;
#   /D= installs into a folder with Japanese characters and a space, where the settings dialog
#   saves; the zip holds exactly its files and its exe runs.
set -uo pipefail
EXE=$1
source "$(dirname "$0")/e2e_lib.sh"

VERSION=${TESSARY_VERSION:?}
DIST=${TESSARY_DIST_DIR:?}
SETUP=$DIST/Tessary-$VERSION-setup.exe
ZIP=$DIST/Tessary-$VERSION-win64.zip
# What setup and zip ship: the exe stripped, and the guide.
SHIPPED_EXE=$DIST/../installer/portable/Tessary/tessary.exe
GUIDE='Tessary の使い方'
if [[ ! -f $SETUP ]] && ! command -v makensis >/dev/null; then
    echo "skipped: makensis not installed, no installer built" >&2
    exit 77
fi
[[ -f $SETUP && -f $ZIP ]] || fail "$SETUP or $ZIP not built (the dist target)"

UNINST_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessary'
# Windows paths of this prefix's user folders, and where they are here.
win_var() { timeout 30 wine cmd /c "echo %$1%" 2>/dev/null | tr -d '\r'; }
LOCALAPPDATA=$(win_var LOCALAPPDATA)
APPDATA=$(win_var APPDATA)
[[ $LOCALAPPDATA == ?:\\* && $APPDATA == ?:\\* ]] || fail "no user folders from Wine"
unix_path() { winepath -u "$1" 2>/dev/null; }
WIN_DIR="$LOCALAPPDATA\\Programs\\Tessary"
WIN_EXE="$WIN_DIR\\tessary.exe"
DIR=$(unix_path "$WIN_DIR")
PROGRAMS=$(unix_path "$APPDATA\\Microsoft\\Windows\\Start Menu\\Programs")
START_LNK=$PROGRAMS/Tessary.lnk
STARTUP_LNK=$PROGRAMS/StartUp/Tessary.lnk

installed_count() { env_count "$WIN_EXE"; }
stop_installed() {
    local pid
    for pid in $(env_pids "$1"); do kill "$pid" 2>/dev/null; done
}
e2e_on_exit 'stop_installed "$WIN_EXE"; stop_installed "C:\\ユーザー"'

# run_setup ARGS...: the installer with a time limit; prints its exit code.
run_setup() {
    (cd "$DIST" && timeout 120 wine "$SETUP" "$@" >/dev/null 2>&1)
    echo $?
}
reg_value() {
    timeout 30 wine reg query "$UNINST_KEY" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}
# lnk_target LNK: the shortcut's target as Wine's CreateShortcut stores it (the local base path).
lnk_points_at() { [[ -f $1 ]] && strings -a "$1" | grep -Fxq "$2"; }
# quiet_uninstall COMMAND: the entry's quiet uninstall command from a batch file; its exit code.
quiet_uninstall() {
    printf '@%s\r\n@exit /b %%errorlevel%%\r\n' "$1" >"$(unix_path 'C:\')/uninstall-quiet.bat"
    (cd "$DIST" && timeout 60 wine cmd /c 'C:\uninstall-quiet.bat' >/dev/null 2>&1)
}
# lnk_names LNK NAME: the shortcut names NAME (in UTF-16, or in the ANSI code page 932).
lnk_names() {
    [[ -f $1 ]] && python3 -c 'import sys; d = open(sys.argv[1], "rb").read()
sys.exit(not any(sys.argv[2].encode(c) in d for c in ("utf-16-le", "cp932", "utf-8")))' "$1" "$2"
}
stamp() { stat -c '%i %Y %s' "$1"; }

# Both executables carry the project version.
for f in "$EXE" "$SETUP"; do
    strings -a -el "$f" | grep -Fxq "$VERSION" || fail "$(basename "$f") has no version $VERSION"
done

OTHER=$E2E_DIR/other
e2e_install "$EXE" "$OTHER"
e2e_start "$OTHER"
other_running() { pgrep -f "$OTHER/tessary.exe" >/dev/null; }
wait_for 30 tray_icons_are 1 || fail "the other copy's icon did not appear"
base=$(tray_icons_settled) || fail "the tray did not settle"

# --- a second installer is refused --------------------------------------------------------------
(cd "$DIST" && exec wine "$SETUP" >/dev/null 2>&1) &
first=$!
E2E_PIDS+=("$first")
wait_for 60 has_setup_window || fail "the interactive installer showed no window"
rc=$(run_setup /S)
((rc != 0)) || fail "a second installer ran beside the first"
[[ ! -e $DIR ]] || fail "the refused installer installed"
kill "$first" 2>/dev/null
wait_for 20 eval '! has_setup_window' || fail "the interactive installer did not go"

# --- silent install -----------------------------------------------------------------------------
rc=$(run_setup /S)
[[ $rc == 0 ]] || fail "setup.exe /S exited with $rc"
for f in tessary.exe uninstall.exe CNT/Tessary.ini "$GUIDE.html"; do
    [[ -f $DIR/$f ]] || fail "$f not installed in $DIR"
done
cmp -s "$DIR/tessary.exe" "$SHIPPED_EXE" || fail "the installed exe is not the built one"
lnk_names "$PROGRAMS/$GUIDE.lnk" "$GUIDE.html" || fail "no Start menu entry for the guide"
cmp -s "$DIR/CNT/Tessary.ini" "$(dirname "$EXE")/CNT/Tessary.ini" || fail "settings not the defaults"
lnk_points_at "$START_LNK" "$WIN_EXE" || fail "no Start menu shortcut to $WIN_EXE"
lnk_points_at "$STARTUP_LNK" "$WIN_EXE" || fail "no Startup shortcut to $WIN_EXE"
declare -A want=(
    [DisplayName]=Tessary [DisplayVersion]=$VERSION [Publisher]=Tessary
    [DisplayIcon]="$WIN_EXE,0" [InstallLocation]=$WIN_DIR
    [UninstallString]="\"$WIN_DIR\\uninstall.exe\""
    [NoModify]=0x1 [NoRepair]=0x1 [Autostart]=0x1
)
for name in "${!want[@]}"; do
    got=$(reg_value "$name")
    [[ $got == "${want[$name]}" ]] || fail "uninstall entry $name is '$got', not '${want[$name]}'"
done
default_quiet=$(reg_value QuietUninstallString)
size=$(reg_value EstimatedSize)
((size > 400)) || fail "EstimatedSize $size KiB is too small for the program"
wait_for 30 env_count_is "$WIN_EXE" 1 || fail "Tessary is not running after /S"
wait_for 30 tray_icons_are $((base + 1)) || fail "the installed Tessary shows no icon"
echo "ok: silent install"

# --- upgrade over the running copy --------------------------------------------------------------
INI=$DIR/CNT/Tessary.ini
printf '[DISP]\r\nDSIZE=57\xb2\xdd\xc1\r\n[PRINTER]\r\nPSIZE=B4\r\nPAGE=2\r\n' >"$INI"
cp "$INI" "$E2E_DIR/ini.before"
echo "mine" >"$DIR/memo.txt"
echo "mine" >"$DIR/photo.bmp"
old=$(env_pids "$WIN_EXE")
rc=$(run_setup /S)
[[ $rc == 0 ]] || fail "the upgrade exited with $rc"
wait_for 30 env_count_is "$WIN_EXE" 1 || fail "$(installed_count) installed copies after the upgrade"
[[ $(env_pids "$WIN_EXE") != "$old" ]] || fail "the running copy was not restarted"
[[ $(tray_icons_settled) == $((base + 1)) ]] || fail "not one icon of the installed copy"
cmp -s "$INI" "$E2E_DIR/ini.before" || fail "the upgrade changed the settings file"
[[ -f $DIR/memo.txt && -f $DIR/photo.bmp ]] || fail "the upgrade removed the user's files"
other_running || fail "the upgrade ended a Tessary of another folder"
echo "ok: upgrade"

# --- a copy that hangs: the older one, so that the newer, first in the clipboard chain, can end --
hung=$(env_pids "$WIN_EXE")
(cd "$DIR" && exec wine "$WIN_EXE" >/dev/null 2>&1) &
wait_for 30 tray_icons_are $((base + 2)) || fail "the second copy shows no icon"
kill -STOP "$hung"
rc=$(run_setup /S)
kill -CONT "$hung"
[[ $rc == 4 ]] || fail "/S exited with $rc although a copy hung"
started_again() { env_pids "$WIN_EXE" | grep -vxq "$hung"; }
wait_for 20 started_again || fail "setup gave up and did not start again the copy it ended"
wait_for 30 tray_icons_are $((base + 1)) || fail "not one icon once the hung copy went on"
echo "ok: a failed upgrade starts again what it ended"

# --- a copy that would not end: "終了" leaves an open settings dialog, and the process with it --
open_settings_dialog "$base"
before=$(stamp "$DIR/tessary.exe")
start=$SECONDS
rc=$(run_setup /S)
[[ $rc == 4 ]] || fail "/S exited with $rc although Tessary could not end"
((SECONDS - start < 60)) || fail "/S took $((SECONDS - start)) s to give up"
[[ $(stamp "$DIR/tessary.exe") == "$before" ]] || fail "the failed upgrade replaced the exe"
cmp -s "$INI" "$E2E_DIR/ini.before" || fail "the failed upgrade changed the settings file"
has_settings_dialog || fail "the failed upgrade closed the settings dialog"
[[ $(tray_icons_settled) == $((base + 1)) ]] || fail "the failed upgrade took the icon away"
stop_installed "$WIN_EXE"
wait_for 20 env_count_is "$WIN_EXE" 0 || fail "the stuck copy did not stop"
echo "ok: a copy with its settings dialog open is left running"

# --- an administrator's folder and choices, kept by a plain upgrade -----------------------------
TOOLS_WIN='C:\Tools\Tessary'
TOOLS_EXE="$TOOLS_WIN\\tessary.exe"
TOOLS=$(unix_path "$TOOLS_WIN")
[[ $(run_setup /S /NOAUTOSTART /NORUN "/D=$TOOLS_WIN") == 0 ]] || fail "/D=$TOOLS_WIN failed"
sleep 2
env_count_is "$TOOLS_EXE" 0 || fail "/NORUN started Tessary"
[[ ! -e $STARTUP_LNK ]] || fail "/NOAUTOSTART left a Startup shortcut"
(cd "$TOOLS" && exec wine "$TOOLS_EXE" >/dev/null 2>&1) &
wait_for 30 env_count_is "$TOOLS_EXE" 1 || fail "the copy in $TOOLS_WIN did not start"
old=$(env_pids "$TOOLS_EXE")
[[ $(run_setup /S) == 0 ]] || fail "the plain upgrade of $TOOLS_WIN failed"
env_count_is "$WIN_EXE" 0 || fail "the plain upgrade started a copy in the default folder"
[[ $(reg_value InstallLocation) == "$TOOLS_WIN" ]] || fail "the entry moved to $(reg_value InstallLocation)"
[[ ! -e $STARTUP_LNK && $(reg_value Autostart) == 0x0 ]] || fail "the upgrade turned the sign-in start on"
wait_for 30 env_count_is "$TOOLS_EXE" 1 || fail "$(env_count "$TOOLS_EXE") copies after the upgrade"
[[ $(env_pids "$TOOLS_EXE") != "$old" ]] || fail "the copy in $TOOLS_WIN was not restarted"
tools_quiet=$(reg_value QuietUninstallString)
stop_installed "$TOOLS_EXE"
wait_for 20 env_count_is "$TOOLS_EXE" 0 || fail "the copy in $TOOLS_WIN did not stop"
echo "ok: an upgrade keeps the folder and the sign-in choice"

# --- silent uninstall of a running copy ---------------------------------------------------------
(cd "$DIR" && exec wine "$WIN_EXE" >/dev/null 2>&1) &
wait_for 30 tray_icons_are $((base + 1)) || fail "the restarted copy shows no icon"
touch "$DIR/261208153005.BMP" "$DIR/261399999999.BMP"
quiet_uninstall "$default_quiet" || fail "the quiet uninstall failed"
[[ ! -e $DIR/tessary.exe && ! -e $DIR/uninstall.exe ]] || fail "the quiet uninstall returned before the removal"
[[ $(reg_value InstallLocation) == "$TOOLS_WIN" ]] && lnk_points_at "$START_LNK" "$TOOLS_EXE" ||
    fail "the uninstaller removed the entry or the shortcut of $TOOLS_WIN"
env_count_is "$WIN_EXE" 0 || fail "Tessary still runs after the uninstall"
[[ $(tray_icons_settled) == "$base" ]] || fail "an icon was left after the uninstall"
cmp -s "$INI" "$E2E_DIR/ini.before" || fail "the silent uninstall did not keep the settings file"
[[ -f $DIR/memo.txt && -f $DIR/photo.bmp ]] || fail "the uninstaller removed the user's files"
[[ ! -e $DIR/261208153005.BMP ]] || fail "the uninstaller left a print file"
[[ -e $DIR/261399999999.BMP ]] || fail "the uninstaller removed a file that is no print file"
other_running || fail "the uninstaller ended a Tessary of another folder"
quiet_uninstall "$tools_quiet" || fail "the quiet uninstall of $TOOLS_WIN failed"
[[ $(cd "$TOOLS" && find . -type f) == ./CNT/Tessary.ini && -z $(reg_value DisplayName) &&
    ! -e $START_LNK && ! -e $PROGRAMS/$GUIDE.lnk ]] ||
    fail "the quiet uninstall left files, the entry or a shortcut"
echo "ok: silent uninstall"

# --- /D= with Japanese characters and a space, as a user types it -------------------------------
JP_WIN='C:\ユーザー ツール\Tessary'
JP=$(unix_path "$JP_WIN")
cp "$SETUP" "$(unix_path 'C:\')/setup.exe"
timeout 120 wine cmd /c "C:\\setup.exe /S /D=$JP_WIN" >/dev/null 2>&1
rc=$?
[[ $rc == 0 ]] || fail "setup.exe /S /D=$JP_WIN exited with $rc"
[[ -f $JP/tessary.exe && -f $JP/CNT/Tessary.ini ]] || fail "nothing installed in $JP"
wait_for 30 env_count_is "$JP_WIN\\tessary.exe" 1 || fail "Tessary does not run from $JP_WIN"
wait_for 30 tray_icons_are $((base + 1)) || fail "the copy in $JP_WIN shows no icon"
open_settings_dialog "$base"
settings_dialog_save_copies 4
wait_for 15 ini_has "$JP/CNT/Tessary.ini" "PAGE=4" || fail "the settings dialog did not save in $JP"
wait_for 15 no_settings_dialog || fail "the dialog stayed open after OK"
stop_installed "$JP_WIN"
echo "ok: install into $JP_WIN"

# --- the portable zip ---------------------------------------------------------------------------
listed=$(unzip -Z1 "$ZIP" | grep -v '/$' | sort)
expected=$(printf '%s\n' Tessary/CNT/Tessary.ini Tessary/tessary.exe 'Tessary/はじめにお読みください.txt' \
    "Tessary/$GUIDE.html" | sort)
[[ $listed == "$expected" ]] || fail "the zip holds: $listed"
unzip -q "$ZIP" -d "$E2E_DIR/zip" || fail "the zip does not unpack"
readme="$E2E_DIR/zip/Tessary/はじめにお読みください.txt"
[[ $(head -c3 "$readme" | od -An -tx1 | tr -d ' ') == efbbbf ]] || fail "the text has no BOM"
! grep -q $'[^\r]$' <(tail -c +4 "$readme") || fail "the text has lines not ended by CRLF"
grep -q 'shell:startup' "$readme" || fail "the text does not say how to start at sign-in"
e2e_start "$E2E_DIR/zip/Tessary"
wait_for 30 tray_icons_are $((base + 1)) || fail "the exe from the zip shows no icon"
pgrep -f "$E2E_DIR/zip/Tessary/tessary.exe" >/dev/null || fail "the exe from the zip is not running"
echo "ok"
