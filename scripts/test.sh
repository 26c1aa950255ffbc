#!/usr/bin/env bash
# The whole test run: install what is missing, build with the mingw preset, static checks, every
# CTest entry inside a private test environment (scripts/testenv.sh), the release from clean
# clones (tests/package_check.sh), then fuzz each parser briefly.
# Usage: scripts/test.sh [extra ctest arguments, e.g. -R settings]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

echo "== setup"
scripts/setup.sh

echo "== configure"
cmake --preset mingw

echo "== build"
cmake --build --preset mingw -j "$(nproc)"

echo "== static checks"
scripts/lint.sh

echo "== test"
scripts/testenv.sh ctest --test-dir build/mingw --output-on-failure --timeout 300 \
    --no-tests=error "$@"

# A run narrowed to some tests skips the packaging check and the fuzzers.
if (($# == 0)); then
    echo "== packaging (two clean clones of the last commit, then a signed run)"
    tests/package_check.sh
    echo "== fuzzing (a short run of each fuzzer; a long one: scripts/fuzz.sh 3600)"
    scripts/fuzz.sh "${TESSARY_FUZZ_SECONDS:-60}"
fi
