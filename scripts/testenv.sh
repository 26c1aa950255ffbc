#!/usr/bin/env bash
# shellcheck disable=SC2317,SC2013  # teardown and its helpers run from traps
# Usage: scripts/testenv.sh <command> [args...]
#
# Runs the command inside a private, throw-away test environment and returns its exit status:
#   - its own Xvfb (1280x1024x24, or TESSARY_TESTENV_SCREEN) on a free display from :110 upward,
#   - its own cupsd (socket only, no TCP port) with the printers TessaryPDF (default) and
#     TessaryJIS (cups-pdf, JIS B4/B5 listed as B4/B5), PDFs written to $TESSARY_PDF_DIR,
#   - a fresh Wine prefix created after the printers exist, kept warm by a persistent wineserver,
#     with Japanese font replacements,
#   - LANG/LC_ALL=ja_JP.UTF-8.
# Everything it started is stopped and its files removed when the command ends or the script is
# interrupted. The machine's own X server, cupsd and Wine prefixes are left alone.
#
# Exported: DISPLAY WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES CUPS_SERVER LANG LC_ALL
#           HOME (private, inside the run's folder) TESSARY_TESTENV=1
#           TESSARY_TESTENV_DIR (the run's folder) TESSARY_PDF_DIR (where cups-pdf writes)
# Set TESSARY_TESTENV_VERBOSE=1 to see the start-up steps with timings.
set -euo pipefail

if (($# == 0)); then
    echo "usage: $0 <command> [args...]" >&2
    exit 2
fi

# Already inside an environment: just run the command.
if [[ ${TESSARY_TESTENV:-} == 1 && -d ${TESSARY_TESTENV_DIR:-/nonexistent} ]]; then
    exec "$@"
fi

source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e_lib.sh" --host

log() { echo "testenv: $*" >&2; }
die() {
    log "error: $*"
    exit 1
}
verbose() { if [[ ${TESSARY_TESTENV_VERBOSE:-} == 1 ]]; then log "$(elapsed) $*"; fi; }
START_NS=$(date +%s%N)
elapsed() { printf '%5.1fs' "$(( ($(date +%s%N) - START_NS) / 1000000 ))e-3"; }

[[ $(id -u) -eq 0 ]] || die "must run as root (the cups-pdf backend only runs as root)"
for tool in Xvfb xdpyinfo cupsd lpadmin lpstat wine wineserver wineboot iconv; do
    command -v "$tool" >/dev/null || die "$tool not found; run scripts/setup.sh first"
done
[[ -x /usr/lib/cups/backend/cups-pdf ]] || die "cups-pdf backend missing; run scripts/setup.sh"
CUPS_PDF_PPD=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
[[ -f $CUPS_PDF_PPD ]] || die "$CUPS_PDF_PPD missing; run scripts/setup.sh"
if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
    die "locale ja_JP.UTF-8 not generated; run scripts/setup.sh"
fi

ENV_DIR=$(mktemp -d /tmp/tessary-env.XXXXXX)
ENV_ID=${ENV_DIR##*/}
# cupsd's filters run as user lp and must reach the spool below this directory.
chmod 755 "$ENV_DIR"
# cups-pdf only reads its configuration from /etc/cups, named after the device URI's path.
CUPS_PDF_INSTANCE=$ENV_ID
CUPS_PDF_CONF=/etc/cups/cups-pdf-$CUPS_PDF_INSTANCE.conf

XVFB_PID=
CUPSD_PID=
CMD_PID=
WINE_STARTED=
TORN_DOWN=

# Stops a process we started: TERM, then KILL after a grace period.
stop_pid() {
    local pid=$1 i
    [[ -n $pid ]] || return 0
    kill -TERM "$pid" 2>/dev/null || return 0
    for ((i = 0; i < 50; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# Processes the command left behind (xclip, stray test programs) carry our id in their
# environment; end exactly those.
stop_leftovers() {
    local pass f pid found
    for pass in TERM KILL; do
        found=
        for f in $(grep -lzx "TESSARY_TESTENV_DIR=$ENV_DIR" /proc/[0-9]*/environ 2>/dev/null); do
            pid=${f#/proc/}
            pid=${pid%/environ}
            case $pid in "$$" | "$BASHPID" | "$CUPSD_PID" | "$XVFB_PID") continue ;; esac
            kill "-$pass" "$pid" 2>/dev/null && found=1
        done
        [[ -n $found ]] || return 0
        sleep 0.3
    done
}

teardown() {
    local status=$?
    [[ -n $TORN_DOWN ]] && return
    TORN_DOWN=1
    trap - EXIT INT TERM HUP
    set +e
    if [[ -n $CMD_PID ]]; then
        kill -TERM "$CMD_PID" 2>/dev/null
    fi
    if [[ -n $WINE_STARTED ]]; then
        timeout 20 wineserver -k >/dev/null 2>&1
        timeout 10 wineserver -w >/dev/null 2>&1
    fi
    verbose "wine stopped"
    # Also catches a wineserver respawned by a wine client that was still starting.
    stop_leftovers
    verbose "leftovers stopped"
    if [[ -n $WINE_STARTED ]]; then
        # This wineserver keeps its socket in /tmp/wine-XXXXXX, named in the prefix, and leaves
        # the folder behind.
        local server_dir
        server_dir=$(cat "$WINEPREFIX/wineserver" 2>/dev/null)
        if [[ $server_dir =~ ^wine-[A-Za-z0-9]{6}$ ]]; then
            rm -rf "/tmp/$server_dir"
        fi
    fi
    stop_pid "$CUPSD_PID"
    stop_pid "$XVFB_PID"
    rm -f "$CUPS_PDF_CONF"
    rm -rf "$ENV_DIR"
    verbose "torn down"
    return "$status"
}
trap teardown EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# Fail clearly instead of hanging when a service does not come up.
wait_until() {
    local what=$1 seconds=$2 pid=$3
    shift 3
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        if [[ -n $pid ]] && ! kill -0 "$pid" 2>/dev/null; then
            return 1
        fi
        ((SECONDS < deadline)) || die "$what did not start within ${seconds}s"
        sleep 0.05
    done
}

unset DISPLAY XAUTHORITY WAYLAND_DISPLAY WINELOADER WINESERVER
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR
export TESSARY_TESTENV_DIR=$ENV_DIR
# Wine links Desktop, Documents etc. to $HOME; keep what tests write there inside the run.
export HOME=$ENV_DIR/home
mkdir -p "$HOME"
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

# --- X server -------------------------------------------------------------------------------
start_xvfb() {
    local d
    for ((d = 110; d < 200; d++)); do
        [[ -e /tmp/.X$d-lock || -e /tmp/.X11-unix/X$d ]] && continue
        Xvfb ":$d" -screen 0 "${TESSARY_TESTENV_SCREEN:-1280x1024x24}" -nolisten tcp >"$ENV_DIR/xvfb.log" 2>&1 </dev/null &
        XVFB_PID=$!
        # Another run may have claimed the number in between: Xvfb then exits; try the next.
        if wait_until "Xvfb :$d" 15 "$XVFB_PID" xdpyinfo -display ":$d"; then
            export DISPLAY=:$d
            return 0
        fi
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    done
    cat "$ENV_DIR/xvfb.log" >&2 2>/dev/null
    die "no free X display between :110 and :199"
}

# --- CUPS -----------------------------------------------------------------------------------
start_cupsd() {
    local c=$ENV_DIR/cups
    mkdir -p "$c/etc/ppd" "$c/etc/ssl" "$c/spool/tmp" "$c/cache" "$c/state" "$c/log"
    cat >"$c/etc/cupsd.conf" <<EOF
LogLevel warn
Listen $c/cups.sock
Browsing No
WebInterface No
DefaultAuthType None
IdleExitTimeout 0
MaxJobs 0
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  JobPrivateAccess all
  JobPrivateValues none
  SubscriptionPrivateAccess all
  SubscriptionPrivateValues none
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
    cat >"$c/etc/cups-files.conf" <<EOF
ServerRoot $c/etc
StateDir $c/state
CacheDir $c/cache
RequestRoot $c/spool
TempDir $c/spool/tmp
AccessLog $c/log/access_log
ErrorLog $c/log/error_log
PageLog $c/log/page_log
SystemGroup root
EOF
    cupsd -f -c "$c/etc/cupsd.conf" -s "$c/etc/cups-files.conf" </dev/null \
        >"$c/log/cupsd.out" 2>&1 &
    CUPSD_PID=$!
    export CUPS_SERVER=$c/cups.sock
    if ! wait_until cupsd 15 "$CUPSD_PID" lpstat -r; then
        cat "$c/log/cupsd.out" "$c/log/error_log" >&2 2>/dev/null
        die "cupsd exited during start-up"
    fi
}

add_printers() {
    local c=$ENV_DIR/cups
    export TESSARY_PDF_DIR=$ENV_DIR/pdf
    mkdir -p "$TESSARY_PDF_DIR" "$c/cups-pdf-spool"
    cat >"$CUPS_PDF_CONF" <<EOF
Out $TESSARY_PDF_DIR
Spool $c/cups-pdf-spool
Log $c/log
UserUMask 0022
DecodeHexStrings 1
EOF
    # Wine's PostScript driver maps paper codes 12/13 (JIS B4/B5) to the PPD names B4/B5,
    # which the stock PPD calls JISB4/JISB5.
    sed 's#^\(\*[A-Za-z]* \)JISB\([45]\)/#\1B\2/#' "$CUPS_PDF_PPD" >"$c/TessaryJIS.ppd"
    if ! grep -q '^\*PageSize B4/' "$c/TessaryJIS.ppd" ||
        ! grep -q '^\*PageSize B5/' "$c/TessaryJIS.ppd"; then
        die "could not rename the JIS B4/B5 sizes in $CUPS_PDF_PPD"
    fi
    # Name PDFs after the job title (what StartDoc was given); the title cups-pdf reads out of
    # the PostScript picks up stray bytes in this version. The PPD's default wins over the conf.
    local uri=cups-pdf:/$CUPS_PDF_INSTANCE
    lpadmin -p TessaryPDF -E -v "$uri" -P "$CUPS_PDF_PPD" -o TitlePref=1 2>/dev/null ||
        die "lpadmin could not add TessaryPDF"
    lpadmin -p TessaryJIS -E -v "$uri" -P "$c/TessaryJIS.ppd" -o TitlePref=1 2>/dev/null ||
        die "lpadmin could not add TessaryJIS"
    lpadmin -d TessaryPDF || die "lpadmin could not set the default printer"
}

# --- Wine -----------------------------------------------------------------------------------
start_wine() {
    # No Mono/Gecko install prompts, no desktop menu entries written outside the run.
    export WINEPREFIX=$ENV_DIR/wine WINEARCH=win64 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    mkdir -p "$WINEPREFIX"
    WINE_STARTED=1
    wineserver -p
    if ! timeout 180 wineboot -i >"$ENV_DIR/wineboot.log" 2>&1 </dev/null; then
        cat "$ENV_DIR/wineboot.log" >&2
        die "wineboot failed (or took longer than 180s)"
    fi
    verbose "wine prefix created"
    # Replacements for the Japanese Windows fonts, and the X11 driver setting.
    local reg=$ENV_DIR/fonts.reg
    {
        e2e_font_replacements
        # Unmanaged windows map without a round trip through a window manager (there is none
        # on Xvfb); managed ones wait ~2 s for one on every show.
        printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n'
        # Except the tray: unmanaged, it grows a caption of its own once icons come and go,
        # and the scripts find the icons by their place in it.
        printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\explorer.exe\\X11 Driver]\r\n'
        printf '"Managed"="Y"\r\n'
    } | iconv -f UTF-8 -t UTF-16LE >"$reg"
    timeout 60 wine regedit /S "$(winpath "$reg")" </dev/null >/dev/null 2>&1 ||
        die "could not import the font replacements"
}

verbose "starting"
start_xvfb
verbose "Xvfb ready on $DISPLAY"
start_cupsd
verbose "cupsd ready at $CUPS_SERVER"
add_printers
verbose "printers added"
start_wine
verbose "fonts replaced"
export TESSARY_TESTENV=1
log "ready in $(elapsed) (DISPLAY=$DISPLAY, WINEPREFIX=$WINEPREFIX, PDFs in $TESSARY_PDF_DIR)"

# Run in the background so that INT/TERM reach the traps at once; keep stdin.
set +e
"$@" <&0 &
CMD_PID=$!
wait "$CMD_PID"
status=$?
# wait returns early when a trapped signal arrives; the traps exit, so getting here means the
# command ended.
CMD_PID=
exit "$status"
