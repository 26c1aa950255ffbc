#!/usr/bin/env bash
# Usage: scripts/bench.sh
#
# Builds tessary.exe and the benchmark programs (bench/), then measures each figure beside its
# floor program in one private test environment (scripts/testenv.sh: Xvfb, CUPS with a PDF
# printer, a fresh Wine prefix) and prints the medians, the spread, the ratio and the target:
#   - clipboard change -> ClipRemort mapped, and -> the 42-inch preview showing the picture,
#     against bench/floor_viewer (a minimal clipboard viewer with the same two windows);
#   - a 12-megapixel print, command -> end of document (print::PrintClipboard timed in process by
#     bench/bench_print), against bench/floor_print_clip (the clipboard's CF_DIB, one
#     StretchDIBits) and bench/floor_print (one StretchDIBits of the same picture's file);
#   - idle CPU time and context switches per 60 s and resident memory, against bench/floor_tray;
#   - an 8000 x 8000 picture: the first preview after each program's fresh start, and a later
#     one (how long it holds the clipboard, its peak memory, beside the floor viewer's), "縦印刷"
#     prints it (peak memory, beside floor_print's);
#   - the resample of that picture alone, now and as it was before it used the cores
#     (bench/bench_resample, in one process);
#   - the time from a WM_DPICHANGED to the repainted remote control and 65-inch preview (a
#     benchmark kept in test_windows.exe, run disabled by the suite).
# The latency and print figures are taken in alternating blocks, so that a change in the
# machine's load falls on both sides. Ask for a quiet machine: the figures are wall-clock times.
#
# Environment: BENCH_RUNS (latency trials per side, default 10), BENCH_PRINT_RUNS (7),
#   BENCH_IDLE_RUNS (60-second windows, 5), BENCH_IDLE_SECONDS (60), BENCH_BIG_RUNS (8000 x 8000
#   trials per side, alternating, 3), BENCH_ONLY (some of "latency print idle big resample dpi",
#   the default being all), BENCH_BUILD_DIR (default build/mingw,
#   the mingw preset's), BENCH_NO_BUILD=1 (use what is built). The table and the raw results are
#   also written to <build dir>/bench/.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$(realpath -m "${BENCH_BUILD_DIR:-$ROOT/build/mingw}")
export BENCH_BUILD_DIR=$BUILD

if [[ ${1:-} != --inside ]]; then
    if [[ ${BENCH_NO_BUILD:-} != 1 ]]; then
        if [[ $BUILD == "$ROOT/build/mingw" ]]; then
            cmake --preset mingw >/dev/null
        else
            cmake --preset mingw -B "$BUILD" >/dev/null
        fi
        cmake --build "$BUILD" --target bench test_windows -j"$(nproc)"
    fi
    exec "$ROOT/scripts/testenv.sh" bash "$ROOT/scripts/bench.sh" --inside
fi

# --- inside the test environment -------------------------------------------------------------
[[ ${TESSARY_TESTENV:-} == 1 ]] || {
    echo "bench.sh --inside: run scripts/bench.sh instead" >&2
    exit 2
}
E2E_NAME=bench.sh
source "$ROOT/tests/e2e_lib.sh"
e2e_need wine xclip xdotool lpstat pdfinfo
BIN=$BUILD/bin
for exe in tessary floor_viewer floor_tray floor_print floor_print_clip bench_print bench_resample \
    clip_watch; do
    [[ -f $BIN/$exe.exe ]] || {
        echo "bench.sh: $BIN/$exe.exe missing; build the 'bench' target" >&2
        exit 1
    }
done

RUNS=${BENCH_RUNS:-10}
PRINT_RUNS=${BENCH_PRINT_RUNS:-7}
IDLE_RUNS=${BENCH_IDLE_RUNS:-5}
IDLE_SECONDS=${BENCH_IDLE_SECONDS:-60}
BIG_RUNS=${BENCH_BIG_RUNS:-3}
TOOL=$ROOT/bench/benchtool.py
OUT=$BUILD/bench
mkdir -p "$OUT"
WORK=$E2E_DIR
RESULTS=$WORK/results.jsonl
: >"$RESULTS"
ERRORS=0
CLK_TCK=$(getconf CLK_TCK)

REMOTE=42x141 PREVIEW=469x265
# A right press on the remote control (fixed at 211,461, 42 x 141) opens its menu.
REMOTE_X=232 REMOTE_Y=581
COLOURS=("220,40,180" "40,200,220")

log() { echo "bench: $*" >&2; }
err() {
    log "error: $*"
    ERRORS=$((ERRORS + 1))
}
record() { printf '{"figure": "%s", "subject": "%s", "value": %s}\n' "$1" "$2" "$3" >>"$RESULTS"; }
note() { "$PY" -c 'import json, sys; print(json.dumps({"figure": sys.argv[1], "note": sys.argv[2]}))' \
    "$1" "$2" >>"$RESULTS"; }

# --- programs ----------------------------------------------------------------------------------
# start_prog DIR EXE: runs DIR/EXE under Wine from DIR; prints the process id once it runs.
start_prog() {
    local dir=$1 exe=$2 i pid
    (cd "$dir" && exec wine "$dir/$exe") >>"$WORK/${exe%.exe}.log" 2>&1 &
    for ((i = 0; i < 300; i++)); do
        pid=$(pgrep -n -f -- "^$dir/$exe") && {
            echo "$pid"
            return 0
        }
        sleep 0.1
    done
    return 1
}

# stop_prog EXE PID: asks the program to close (WM_CLOSE, as a session end does), then insists.
stop_prog() {
    local exe=$1 pid=$2 i
    timeout 20 wine taskkill /IM "$exe" >/dev/null 2>&1 || true
    for ((i = 0; i < 100; i++)); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
}

# settle PID: waits until the program has finished starting: at least 2 s, then neither CPU time
# nor a context switch over two seconds (at most 60 s). Wine's first start in a fresh prefix has
# pauses of a second and more, so a shorter stillness is not enough.
settle() {
    local pid=$1 i last now still=0
    sleep 2
    last="$(cpu_ticks "$pid") $(ctx_switches "$pid")" || return 1
    for ((i = 0; i < 116 && still < 4; i++)); do
        sleep 0.5
        now="$(cpu_ticks "$pid") $(ctx_switches "$pid")" || return 1
        if [[ $now == "$last" ]]; then still=$((still + 1)); else still=0; fi
        last=$now
    done
}

install_tessary() { e2e_install "$BIN/tessary.exe" "$1"; }

# json_num KEY JSON: the number under KEY in one of benchtool's JSON lines, or nothing.
json_num() { sed -n "s/.*\"$1\": \([0-9.]*\).*/\1/p" <<<"$2"; }

XCLIPS=()
# remember_xclip JSON: the clipboard owner that a trial started, to be stopped later.
remember_xclip() {
    local pid
    pid=$(json_num xclip_pid "$1")
    if [[ -n $pid ]]; then XCLIPS+=("$pid"); fi
}
stop_xclips() {
    local pid
    for pid in "${XCLIPS[@]}"; do kill "$pid" 2>/dev/null || true; done
    XCLIPS=()
}
e2e_on_exit stop_xclips

# Text on the clipboard from an owner that stays: a program started now finds no picture. (When a
# picture's owner has just gone, Wine may still offer the picture for a moment, and a program
# starting then would open its windows at once.)
neutral_clipboard() {
    stop_xclips
    printf 'bench' | xclip -quiet -selection clipboard >/dev/null 2>&1 &
    XCLIPS+=($!)
    sleep 1
}

# started_quiet SUBJECT: no remote or preview window is open once the program has started.
started_quiet() {
    "$PY" "$TOOL" gone --size $REMOTE --size $PREVIEW --timeout 1 && return 0
    err "$1 opened windows at start"
    return 1
}

# One "VALUE" from /proc: CPU ticks (utime + stime), context switches of all threads, VmRSS and
# VmHWM in KiB.
cpu_ticks() { awk '{sub(/.*\) /, ""); print $12 + $13}' "/proc/$1/stat"; }
ctx_switches() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/ctxt_switches/ {n += $2} END {print n + 0}'; }
vm_kib() { awk -v k="$2:" '$1 == k {print $2}' "/proc/$1/status"; }

# --- latency ---------------------------------------------------------------------------------
TRIAL=0
# latency_block SUBJECT PID COUNT RESET: one warm-up trial, then COUNT recorded trials.
latency_block() {
    local subject=$1 pid=$2 count=$3 reset=$4 i colour json
    for ((i = 0; i <= count; i++)); do
        colour=${COLOURS[TRIAL % 2]}
        TRIAL=$((TRIAL + 1))
        local ok=1
        json=$("$PY" "$TOOL" trial --bmp "$WORK/pic$((TRIAL % 2)).bmp" --colour "$colour" \
            --remote $REMOTE --preview $PREVIEW --timeout 30) || ok=0
        echo "$subject $json" >>"$WORK/trials.log"
        remember_xclip "$json"
        if ((!ok)); then
            err "$subject trial $TRIAL: $json"
        elif ((i > 0)); then
            record remote "$subject" "$(json_num remote_ms "$json")"
            record preview "$subject" "$(json_num preview_ms "$json")"
        fi
        kill -0 "$pid" 2>/dev/null || {
            err "$subject ended during the trials"
            return 1
        }
        "$reset" || err "$subject: the windows did not close"
    done
}

reset_floor() {
    xdotool mousemove $REMOTE_X $REMOTE_Y click 3
    "$PY" "$TOOL" gone --size $REMOTE --size $PREVIEW --timeout 10
    xdotool mousemove 5 5
}

# "閉じる", the third item of the remote's menu, closes the remote and the preview.
reset_tessary() {
    local _
    for _ in 1 2 3; do
        if "$PY" "$TOOL" menu $REMOTE_X $REMOTE_Y Down Down Down Return &&
            "$PY" "$TOOL" gone --size $REMOTE --size $PREVIEW --timeout 10; then
            xdotool mousemove 5 5
            return 0
        fi
        xdotool key Escape Escape
    done
    return 1
}

bench_latency() {
    log "latency: $RUNS trials a side, in alternating blocks"
    "$PY" "$TOOL" bmp "$WORK/pic1.bmp" 800 600 --colour "${COLOURS[0]}"
    "$PY" "$TOOL" bmp "$WORK/pic0.bmp" 800 600 --colour "${COLOURS[1]}"
    local prog=$WORK/latency first=$((RUNS / 2)) round count pid rss0 rss1 order
    install_tessary "$prog"
    for round in 1 2; do
        count=$first order=(floor tessary)
        if ((round == 2)); then count=$((RUNS - first)) order=(tessary floor); fi
        local side
        for side in "${order[@]}"; do
            if [[ $side == floor ]]; then
                neutral_clipboard
                pid=$(start_prog "$BIN" floor_viewer.exe) || {
                    err "floor_viewer did not start"
                    continue
                }
                settle "$pid"
                started_quiet floor || reset_floor || true
                latency_block floor "$pid" "$count" reset_floor || true
                stop_prog floor_viewer.exe "$pid"
            else
                neutral_clipboard
                pid=$(start_prog "$prog" tessary.exe) || {
                    err "tessary did not start"
                    continue
                }
                settle "$pid"
                started_quiet tessary || reset_tessary || true
                rss0=$(vm_kib "$pid" VmRSS)
                latency_block tessary "$pid" "$count" reset_tessary || true
                rss1=$(vm_kib "$pid" VmRSS)
                note remote "Tessary VmRSS before/after $((count + 1)) remote+preview cycles (round $round): $((rss0 / 1024)) / $((rss1 / 1024)) MiB"
                stop_prog tessary.exe "$pid"
            fi
            stop_xclips
        done
    done
}

# --- print -----------------------------------------------------------------------------------
pdf_count() { find "$TESSARY_PDF_DIR" -name '*.pdf' | wc -l; }

# Waits until the spooler is empty and cups-pdf has written the PDF number $1.
wait_printed() {
    local want=$1 i
    for ((i = 0; i < 3000; i++)); do
        if [[ -z $(lpstat -o 2>/dev/null) ]] && (($(pdf_count) >= want)); then return 0; fi
        sleep 0.2
    done
    return 1
}

print_once() {
    local subject=$1 out ms
    local want=$(($(pdf_count) + 1))
    if [[ $subject == floor ]]; then
        out=$(cd "$WORK" && wine "$BIN/floor_print.exe" "$(winpath "$WORK/p12.bmp")" 2>>"$WORK/print.log") || true
    elif [[ $subject == floor_clip ]]; then
        out=$(cd "$WORK" && wine "$BIN/floor_print_clip.exe" 2>>"$WORK/print.log") || true
    else
        out=$(cd "$WORK" && wine "$BIN/bench_print.exe" "$(winpath "$WORK/printprog")" A4 1 T 2>>"$WORK/print.log") || true
    fi
    echo "$subject $out" >>"$WORK/print.log"
    ms=$(sed -n 's/.* ms=\([0-9.]*\).*/\1/p' <<<"$out")
    if [[ -z $ms ]]; then
        echo "$subject print failed: $out"
        return 1
    fi
    if ! wait_printed "$want"; then
        echo "$subject: no PDF after the print"
        return 1
    fi
    echo "$ms"
}

bench_print() {
    log "print: 12 MP picture, $PRINT_RUNS prints a side, alternating"
    "$PY" "$TOOL" bmp "$WORK/p12.bmp" 4000 3000 --noise
    mkdir -p "$WORK/printprog"
    xclip -quiet -selection clipboard -t image/bmp -i "$WORK/p12.bmp" >/dev/null 2>&1 &
    XCLIPS+=($!)
    local i ms subject peak cpu
    # One print a side first: the spooler, the driver files and the picture file get warm.
    # Tessary's figure stands in two rows: beside the floor that prints from the clipboard, as
    # Tessary must, and beside the floor that prints the file.
    for ((i = 0; i <= PRINT_RUNS; i++)); do
        local order=(floor_clip floor tessary)
        if ((i % 2)); then order=(tessary floor floor_clip); fi
        for subject in "${order[@]}"; do
            if ! ms=$(print_once "$subject"); then
                err "$ms"
            elif ((i > 0)); then
                peak=$(sed -n "s/^$subject .* peak_mib=\([0-9.]*\).*/\1/p" "$WORK/print.log" | tail -n1)
                cpu=$(sed -n "s/^$subject .* cpu_ms=\([0-9.]*\).*/\1/p" "$WORK/print.log" | tail -n1)
                case $subject in
                tessary)
                    record print12 tessary "$ms"
                    record print12_file tessary "$ms"
                    record print12_cpu tessary "${cpu:-null}"
                    record print12_peak tessary "$peak"
                    ;;
                floor_clip)
                    record print12 floor "$ms"
                    record print12_cpu floor "${cpu:-null}"
                    record print12_peak floor "$peak"
                    ;;
                floor) record print12_file floor "$ms" ;;
                esac
            fi
        done
    done
    local left
    left=$(find "$WORK/printprog" -type f | wc -l)
    ((left == 0)) || err "print: $left files left in the program folder"
    note print12 "12 MP print: the figure runs from the command to the end of the document (EndDoc returned; the job is in CUPS); the picture is on the clipboard from xclip, read once by bench_print and by floor_print_clip before the timed command as the preview would have (see $OUT/print.log for that first read). Floors: floor_print_clip (open the clipboard, CF_DIB, one StretchDIBits, end the document) and floor_print (the same from the BMP file)."
    stop_xclips
}

# --- idle --------------------------------------------------------------------------------------
bench_idle() {
    log "idle: $IDLE_RUNS windows of $IDLE_SECONDS s, both programs at once"
    neutral_clipboard
    local prog=$WORK/idle tpid fpid r
    install_tessary "$prog"
    fpid=$(start_prog "$BIN" floor_tray.exe) || {
        err "floor_tray did not start"
        return 1
    }
    tpid=$(start_prog "$prog" tessary.exe) || {
        err "tessary did not start"
        stop_prog floor_tray.exe "$fpid"
        return 1
    }
    settle "$tpid"
    settle "$fpid"
    started_quiet tessary || true
    local tc tx fc fx tc1 tx1 fc1 fx1
    tc=$(cpu_ticks "$tpid") tx=$(ctx_switches "$tpid")
    fc=$(cpu_ticks "$fpid") fx=$(ctx_switches "$fpid")
    for ((r = 1; r <= IDLE_RUNS; r++)); do
        sleep "$IDLE_SECONDS"
        tc1=$(cpu_ticks "$tpid") tx1=$(ctx_switches "$tpid")
        fc1=$(cpu_ticks "$fpid") fx1=$(ctx_switches "$fpid")
        local scale=$((60 * 1000 / CLK_TCK))
        record idle_cpu tessary "$(((tc1 - tc) * scale / IDLE_SECONDS))"
        record idle_cpu floor "$(((fc1 - fc) * scale / IDLE_SECONDS))"
        record idle_wakeups tessary "$(((tx1 - tx) * 60 / IDLE_SECONDS))"
        record idle_wakeups floor "$(((fx1 - fx) * 60 / IDLE_SECONDS))"
        record idle_rss tessary "$(awk -v k="$(vm_kib "$tpid" VmRSS)" 'BEGIN {print k / 1024}')"
        record idle_rss floor "$(awk -v k="$(vm_kib "$fpid" VmRSS)" 'BEGIN {print k / 1024}')"
        tc=$tc1 tx=$tx1 fc=$fc1 fx=$fx1
    done
    note idle_cpu "idle: both programs started together, measured once settled, CPU from /proc/<pid>/stat (utime + stime, ${CLK_TCK} ticks/s), context switches of all threads from /proc/<pid>/task/*/status."
    stop_prog tessary.exe "$tpid"
    stop_prog floor_tray.exe "$fpid"
}

# --- 8000 x 8000 -------------------------------------------------------------------------------
WATCH_PID=
# watch_start EXE: starts bench/clip_watch on the clipboard's holder; returns once it polls.
watch_start() {
    local i
    rm -f "$WORK/clipwatch.stop"
    (cd "$WORK" && exec wine "$BIN/clip_watch.exe" "$1" "$(winpath "$WORK/clipwatch.stop")") \
        >"$WORK/clipwatch.txt" 2>>"$WORK/clipwatch.log" &
    WATCH_PID=$!
    for ((i = 0; i < 300; i++)); do
        grep -qs ready "$WORK/clipwatch.txt" && return 0
        sleep 0.1
    done
    return 1
}

# watch_stop SUBJECT: records how long SUBJECT held the clipboard open since watch_start, in all,
# and prints it.
watch_stop() {
    local held
    touch "$WORK/clipwatch.stop"
    wait "$WATCH_PID" || true
    held=$(awk -F'ms=' '/^held/ {t += $2; n++} END {if (n) printf "%.1f", t}' "$WORK/clipwatch.txt")
    record big_clip_held "$1" "${held:-null}"
    echo "clipboard held ${held:-never} ms ($(grep -c '^held' "$WORK/clipwatch.txt") stretch(es))"
}

# big_trial SUBJECT RESET EXE: one trial of the 8000 x 8000 picture after a warm-up trial of it
# (a program's first transfer of a large selection is slow), timing how long EXE holds the
# clipboard. Leaves the windows open for the print.
big_trial() {
    local subject=$1 reset=$2 json i held
    for i in 0 1; do
        if ((i == 1)); then watch_start "$3" || err "8000 x 8000: clip_watch did not start"; fi
        json=$("$PY" "$TOOL" trial --bmp "$WORK/big.bmp" --colour "${COLOURS[0]}" \
            --remote $REMOTE --preview $PREVIEW --timeout 300) || {
            err "8000 x 8000, $subject trial $i: the preview did not show the picture: $json"
            note big "8000 x 8000, $subject: preview FAILED: $json"
            remember_xclip "$json"
            if ((i == 1)); then watch_stop "$subject" >/dev/null; fi
            return 1
        }
        remember_xclip "$json"
        echo "big $subject $i $json" >>"$WORK/trials.log"
        if ((i == 0)); then
            # The first preview after the program's fresh start.
            record big_first_preview "$subject" "$(json_num preview_ms "$json")"
            note big "8000 x 8000, $subject first trial after its start: $json"
            "$reset" || err "8000 x 8000, $subject: the windows did not close"
            stop_xclips
        fi
    done
    sleep 0.5
    held=$(watch_stop "$subject")
    note big "8000 x 8000 (24-bit, 183 MiB), $subject: preview shows the picture: yes; $held; $json"
    record big_remote "$subject" "$(json_num remote_ms "$json")"
    record big_preview "$subject" "$(json_num preview_ms "$json")"
}

BIG_PID=
# big_side SUBJECT: starts the program, shows the picture (big_trial) and records the peak memory;
# the program keeps running with its windows open, its id in BIG_PID.
big_side() {
    local subject=$1 dir=$BIN exe=floor_viewer.exe reset=reset_floor rss0
    if [[ $subject == tessary ]]; then dir=$WORK/big exe=tessary.exe reset=reset_tessary; fi
    neutral_clipboard
    sleep 2 # Wine may offer the gone owner's picture for a moment
    BIG_PID=$(start_prog "$dir" "$exe") || {
        err "$exe did not start"
        return 1
    }
    settle "$BIG_PID"
    started_quiet "$subject" || "$reset" || true
    rss0=$(vm_kib "$BIG_PID" VmRSS)
    big_trial "$subject" "$reset" "$exe" || true
    local hwm
    hwm=$(vm_kib "$BIG_PID" VmHWM)
    record big_preview_peak "$subject" "$(awk -v k="$hwm" 'BEGIN {print k / 1024}')"
    note big "8000 x 8000, $subject: VmRSS at start $((rss0 / 1024)) MiB; peak (VmHWM) after the preview $((hwm / 1024)) MiB"
}

# big_print PID: "縦印刷" of the picture that Tessary's preview shows, with the print's own peak.
big_print() {
    local pid=$1
    sleep 1
    # The print's own peak: the peak resident size is reset just before the command.
    echo 5 >"/proc/$pid/clear_refs" 2>/dev/null || true
    local want=$(($(pdf_count) + 1)) t0 t_job='' t_end
    t0=$(date +%s%N)
    # "印刷" is the second item of the remote's menu, "縦印刷" the first of its submenu.
    "$PY" "$TOOL" menu $REMOTE_X $REMOTE_Y Down Down Right Return || err "8000 x 8000: no menu"
    local i
    for ((i = 0; i < 6000; i++)); do
        if [[ -z $t_job && -n $(lpstat -o 2>/dev/null) ]]; then t_job=$(date +%s%N); fi
        if [[ -z $(lpstat -o 2>/dev/null) ]] && (($(pdf_count) >= want)); then break; fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    t_end=$(date +%s%N)
    local pdf pages boxes
    pdf=$(find "$TESSARY_PDF_DIR" -name 'Tessary*.pdf' -newermt "@$((t0 / 1000000000))" | head -n1)
    if [[ -n $pdf ]]; then
        pages=$(pdfinfo "$pdf" | awk '/^Pages:/ {print $2}')
        boxes=$(pdfinfo "$pdf" | sed -n 's/^Page size: *//p')
    fi
    local message
    message=$(xdotool search --onlyvisible --name '^Tessary$' 2>/dev/null | head -n1) || true
    if [[ ${pages:-0} == 1 && -z $message ]] && kill -0 "$pid" 2>/dev/null; then
        note big "8000 x 8000: 縦印刷 printed one page ($boxes); command -> job in the spooler $(((${t_job:-$t_end} - t0) / 1000000)) ms, -> PDF written $(((t_end - t0) / 1000000)) ms"
    else
        err "8000 x 8000: the print failed (pages=${pages:-none}, message window=${message:-none})"
        note big "8000 x 8000: print FAILED (pages=${pages:-none}, message window=${message:-none})"
    fi
    local hwm_print
    hwm_print=$(vm_kib "$pid" VmHWM)
    record big_print_peak tessary "$(awk -v k="$hwm_print" 'BEGIN {print k / 1024}')"
    local left
    left=$(find "$WORK/big" -maxdepth 1 -iname '*.bmp' | wc -l)
    ((left == 0)) || err "8000 x 8000: $left .bmp files left in the program folder"
    note big "8000 x 8000: Tessary's peak during the print (reset before it) $((hwm_print / 1024)) MiB"
}

bench_big() {
    log "8000 x 8000 picture: preview ($BIG_RUNS trials a side, alternating) and print"
    install_tessary "$WORK/big"
    "$PY" "$TOOL" bmp "$WORK/big.bmp" 8000 8000 --colour "${COLOURS[0]}"
    note big "8000 x 8000: the clipboard held = the time a window of the program had it open (GetOpenClipboardWindow polled each ms by bench/clip_watch), from the clipboard change until the preview showed the picture"
    note big "8000 x 8000: the clipboard held, measured once on the build before the preview copied the block out and closed the clipboard before decoding (bbacb2d^), 2026-12-09: 6191 ms [4601-6457] n=3 against the floor viewer's 4456 ms [3387-6017] n=3 (1.39 x floor)"
    local round side
    for ((round = 1; round <= BIG_RUNS; round++)); do
        local order=(tessary floor)
        if ((round % 2 == 0)); then order=(floor tessary); fi
        for side in "${order[@]}"; do
            big_side "$side" || continue
            if [[ $side == floor ]]; then
                stop_prog floor_viewer.exe "$BIG_PID"
                continue
            fi
            if ((round == BIG_RUNS)); then big_print "$BIG_PID"; fi
            stop_prog tessary.exe "$BIG_PID"
        done
    done
    stop_xclips
    # The floor printing the same picture from its file.
    local out want
    # Counted before the print: counted after it, the wait would be for a PDF that never comes.
    want=$(($(pdf_count) + 1))
    out=$(cd "$WORK" && wine "$BIN/floor_print.exe" "$(winpath "$WORK/big.bmp")" 2>&1) || true
    wait_printed "$want" || true
    note big "8000 x 8000: floor_print of the same picture from its file: $out"
    local peak
    peak=$(sed -n 's/.* peak_mib=\([0-9.]*\).*/\1/p' <<<"$out")
    if [[ -n $peak ]]; then record big_print_peak floor "$peak"; fi
}

# --- resample ----------------------------------------------------------------------------------
bench_resample() {
    log "resample: 8000 x 8000 into the 42-inch screen area, now and before, 5 runs"
    local out line
    out=$(cd "$WORK" && wine "$BIN/bench_resample.exe" 8000 8000 5 2>>"$WORK/resample.log") || true
    echo "$out" >>"$WORK/resample.log"
    grep -q 'same=1' <<<"$out" || err "resample: no run, or the two resamplers differ: $out"
    if grep -q 'same=0' <<<"$out"; then err "resample: the two resamplers differ"; fi
    while read -r line; do
        [[ $line == bench_resample* ]] || continue
        record resample tessary "$(sed -n 's/.* after_ms=\([0-9.]*\).*/\1/p' <<<"$line")"
        record resample floor "$(sed -n 's/.* before_ms=\([0-9.]*\).*/\1/p' <<<"$line")"
        record resample_copy tessary "$(sed -n 's/.*copy_ms=\([0-9.]*\).*/\1/p' <<<"$line")"
    done <<<"$out"
    note resample "resample: bench_resample, an 8000 x 8000 24-bit picture of noise into 355 x 217 (the 42-inch screen area); the floor column holds the resampler as it was before (taken from the history by bench/CMakeLists.txt), the same pixels checked in each run; the copy is the preview's copy of the block out of the clipboard, which the floor viewer makes too. CPU times in $OUT/resample.log."
}

# --- dpi ---------------------------------------------------------------------------------------
bench_dpi() {
    log "dpi: WM_DPICHANGED (144, 192, 96 DPI) to the repainted remote and 65-inch preview"
    local out line what ms
    out=$(cd "$WORK" && wine "$BIN/test_windows.exe" --gtest_also_run_disabled_tests \
        --gtest_filter='*DISABLED_BenchDpiChangeRepaintTimes' 2>>"$WORK/dpi.log") || true
    echo "$out" >>"$WORK/dpi.log"
    grep -q '^bench_dpi ' <<<"$out" || err "dpi: no figures from test_windows.exe"
    while read -r line; do
        [[ $line == bench_dpi* ]] || continue
        what=$(cut -d' ' -f2 <<<"$line")
        ms=$(sed -n 's/.* ms=\([0-9.]*\).*/\1/p' <<<"$line")
        record "dpi_$what" tessary "$ms"
    done <<<"$out"
    note dpi "dpi: the fastest of five changes to each of 144, 192 and 96 DPI, one sample each; goal under 50 ms for the artwork alone (the preview without a picture). Wine never sends the message: it is sent as Windows would, with the suggested rectangle."
}

# --- run -----------------------------------------------------------------------------------------
# A plain desktop, so that nothing on the screen has the pictures' colours.
"$PY" "$TOOL" bmp "$WORK/desktop.bmp" 64 64 --colour 58,110,165
display -window root "$WORK/desktop.bmp" 2>/dev/null || true

note load "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) CPUs)"
for section in ${BENCH_ONLY:-latency print idle big resample dpi}; do
    "bench_$section" || err "$section did not complete"
done
note load "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"

cp "$RESULTS" "$OUT/results.jsonl"
cp "$WORK/trials.log" "$WORK/print.log" "$WORK/resample.log" "$WORK/dpi.log" "$OUT/" 2>/dev/null || true
echo
"$PY" "$TOOL" report "$RESULTS" | tee "$OUT/table.txt" || true
"$PY" "$TOOL" report "$RESULTS" --markdown >"$OUT/table.md" || true
if ((ERRORS)); then
    log "$ERRORS error(s); see above"
    exit 1
fi
