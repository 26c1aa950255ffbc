#!/usr/bin/env bash
# Faults around the real program, end to end:
#   - clipboard viewers before and after it in the chain, the one behind it killed: the others
#     keep seeing every change;
#   - another program holding the clipboard open while the program reacts to a change: it keeps
#     answering, and the next change after the release is seen;
#   - many prints with the user's own pictures in the program folder: they all stay, every print
#     reaches the printer;
#   - settings saves killed at random moments: the file is always the old or the new content.
# The Windows side is tests/soak/soak_tool.cpp and soak_ini.cpp, built beside tessary.exe.
# TESSARY_SOAK_PRINTS and TESSARY_SOAK_KILLS shorten a run.
set -uo pipefail
EXE=$1
source "$(dirname "$0")/e2e_lib.sh"

BIN=$(dirname "$EXE")
TOOL=$BIN/soak_tool.exe
WRITER=$BIN/soak_ini.exe
PRINTS=${TESSARY_SOAK_PRINTS:-100}
KILLS=${TESSARY_SOAK_KILLS:-200}
for f in "$TOOL" "$WRITER"; do [[ -f $f ]] || fail "$f missing; build all targets"; done

# From here every check is reported; the script fails at the end when one did.
E2E_KEEP_GOING=1
start_s=$SECONDS

# --- the program folder, with pictures of the user's own ---------------------------------------
PROG=$E2E_DIR/prog
e2e_install "$EXE" "$PROG"
# Only twelve digits and .bmp are the program's own names; these only look like them.
user_files=(holiday.bmp photo.BMP 2024.bmp 20240101.bmp 24010112000.bmp 2401011200001.bmp
    240101120000a.bmp a240101120000.bmp 240101120000.bmp.bak 240101120000.png notes.txt)
for f in "${user_files[@]}"; do
    { printf 'BM'; head -c 256 /dev/urandom; } >"$PROG/$f"
done
(cd "$PROG" && md5sum "${user_files[@]}") >"$E2E_DIR/user.md5"
pdfs_before=$(find "${TESSARY_PDF_DIR:-/nonexistent}" -name '*.pdf' 2>/dev/null | wc -l)

# --- chain, held clipboard, prints ------------------------------------------------------------
(cd "$PROG" && exec timeout 300 wine "$TOOL" run "$(winpath "$PROG/tessary.exe")" "$PRINTS") \
    >"$E2E_DIR/run.log" 2>"$E2E_DIR/run.err" &
E2E_PIDS+=($!)
wait $!
status=$?
tr -d '\r' <"$E2E_DIR/run.log"
((status == 0)) || {
    fail "soak_tool run ended with $status"
    tail -n 20 "$E2E_DIR/run.err" >&2
}
printed=$(tr -d '\r' <"$E2E_DIR/run.log" | sed -n 's/^printed=//p')

if (cd "$PROG" && md5sum --quiet -c "$E2E_DIR/user.md5"); then
    echo "ok: all ${#user_files[@]} files of the user are still there, unchanged"
else
    fail "a file of the user was deleted or changed by the prints"
fi
ours=$(find "$PROG" -maxdepth 1 -type f -iregex '.*/[0-9]\{12\}\.bmp' | wc -l)
if ((ours == 0)); then echo "ok: no temporary picture left"; else
    fail "$ours temporary pictures left in the program folder"
fi
echo "time: program part $((SECONDS - start_s)) s"

# --- settings saves killed -----------------------------------------------------------------------
ini_s=$SECONDS
timeout 200 wine "$WRITER" kills "$(winpath "$E2E_DIR/ini")" "$KILLS" >"$E2E_DIR/ini.log" 2>&1
status=$?
tr -d '\r' <"$E2E_DIR/ini.log"
((status == 0)) || {
    fail "soak_ini kills ended with $status"
}
echo "strays left in CNT: $(find "$E2E_DIR/ini/CNT" -name '*.tmp' | wc -l)"
echo "time: settings part $((SECONDS - ini_s)) s"

# Every print that returned without a message reaches the PDF printer; cups-pdf took its time
# while the saves were killed.
if [[ -n ${TESSARY_PDF_DIR:-} && -n $printed ]]; then
    want=$((pdfs_before + printed))
    pdfs() { find "$TESSARY_PDF_DIR" -name '*.pdf' 2>/dev/null | wc -l; }
    wait_start=$SECONDS
    for ((i = 0; i < 1200 && $(pdfs) < want; i++)); do sleep 0.1; done
    got=$(($(pdfs) - pdfs_before))
    if ((got == printed)); then
        echo "ok: $got PDFs for $printed prints (the last one $((SECONDS - wait_start)) s after the kills)"
    else
        fail "$got PDFs for $printed prints"
    fi
fi

echo "time: all $((SECONDS - start_s)) s"

e2e_end
