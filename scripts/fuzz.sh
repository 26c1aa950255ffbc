#!/usr/bin/env bash
# Fuzzes every parser of untrusted bytes natively (clang, libFuzzer, ASan, UBSan).
#
#   scripts/fuzz.sh [seconds-per-fuzzer]      default $TESSARY_FUZZ_SECONDS or 60; a long run:
#                                             scripts/fuzz.sh 3600
#
# First builds tests/fuzz and runs the pure unit tests under the sanitizers, then runs each fuzzer
# for the given time on a copy of its seed corpus, two at a time. The committed corpus is never
# changed. Fails when a test or a fuzzer fails; a crashing input is kept in build/fuzz/crashes/.
# Environment: FUZZ_BUILD_DIR (default build/fuzz), FUZZ_JOBS (default 2), FUZZ_KEEP_CORPUS=dir
# (keeps each grown corpus in dir/<fuzzer> for minimising into the seeds by hand), FUZZ_ONLY
# (names of the fuzzers to run, separated by spaces; default all).
set -euo pipefail

seconds=${1:-${TESSARY_FUZZ_SECONDS:-60}}
[[ $seconds =~ ^[1-9][0-9]*$ ]] || {
    echo "usage: $0 [seconds-per-fuzzer]" >&2
    exit 2
}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build/fuzz}
jobs=${FUZZ_JOBS:-2}

command -v clang++ >/dev/null || {
    echo "fuzz.sh: clang++ not found (scripts/setup.sh installs clang and libclang-rt-14-dev)" >&2
    exit 1
}
cmake -S "$root/tests/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
    >/dev/null
cmake --build "$build" -j "$jobs" >/dev/null

echo "fuzz.sh: pure unit tests under ASan and UBSan"
"$build/native_pure_tests" --gtest_brief=1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
crashes=$build/crashes
mkdir -p "$crashes"
mapfile -t fuzzers <"$build/fuzzers.txt"
if [[ -n ${FUZZ_ONLY:-} ]]; then
    only=()
    for name in ${FUZZ_ONLY}; do
        [[ " ${fuzzers[*]} " == *" $name "* ]] || {
            echo "fuzz.sh: no fuzzer $name (there are: ${fuzzers[*]})" >&2
            exit 2
        }
        only+=("$name")
    done
    fuzzers=("${only[@]}")
fi

run_one() {
    local name=$1
    mkdir -p "$work/$name/corpus" "$work/$name/artifacts"
    cp "$root/tests/fuzz/corpus/$name/"* "$work/$name/corpus/"
    # -timeout: one input may take at most 10 s; -rss_limit_mb: room for the largest pictures
    # that fit the input length, never more.
    "$build/$name" "$work/$name/corpus" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -max_len=16384 -print_final_stats=1 \
        -artifact_prefix="$work/$name/artifacts/" >"$work/$name/log" 2>&1
}

summary() {
    local name=$1 log=$work/$1/log
    local last execs
    last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    printf '  %-18s execs %-10s %s\n' "$name" "${execs:-?}" \
        "$(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9]+[a-zA-Z]*' <<<"$last")"
}

echo "fuzz.sh: ${#fuzzers[@]} fuzzers, ${seconds} s each, $jobs at a time"
declare -A pid_of=()
failed=()
finish() {
    local name=$1
    if wait "${pid_of[$name]}"; then
        summary "$name"
    else
        failed+=("$name")
        summary "$name"
        echo "  $name FAILED:"
        grep -E 'ERROR|SUMMARY|property failed|Test unit written' "$work/$name/log" | head -20
        cp "$work/$name/artifacts/"* "$crashes/" 2>/dev/null || true
        cp "$work/$name/log" "$crashes/$name.log"
    fi
    if [[ -n ${FUZZ_KEEP_CORPUS:-} ]]; then
        mkdir -p "$FUZZ_KEEP_CORPUS/$name"
        cp "$work/$name/corpus/"* "$FUZZ_KEEP_CORPUS/$name/"
    fi
    unset "pid_of[$name]"
}

running=()
for name in "${fuzzers[@]}"; do
    if ((${#running[@]} >= jobs)); then
        finish "${running[0]}"
        running=("${running[@]:1}")
    fi
    run_one "$name" &
    pid_of[$name]=$!
    running+=("$name")
done
for name in "${running[@]}"; do
    finish "$name"
done

if ((${#failed[@]} > 0)); then
    echo "fuzz.sh: crashes in: ${failed[*]} (inputs and logs in $crashes)" >&2
    echo "  reproduce: $build/<fuzzer> $crashes/<crash-file>" >&2
    exit 1
fi
echo "fuzz.sh: no crashes. A long run: scripts/fuzz.sh 3600"
