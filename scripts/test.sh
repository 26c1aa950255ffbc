#!/usr/bin/env bash
# The whole test run: install what is missing, build with the mingw preset, every CTest entry
# inside a private test environment (scripts/testenv.sh; the static checks and a brief fuzzing of
# each parser are entries too), then the release from clean clones (tests/package_check.sh).
# Usage: scripts/test.sh [extra ctest arguments, e.g. -R settings]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

echo "== setup"
scripts/setup.sh

echo "== configure"
cmake --preset mingw

echo "== build"
cmake --build --preset mingw -j "$(nproc)"

echo "== test"
scripts/testenv.sh ctest --test-dir build/mingw --output-on-failure --timeout 300 \
    --no-tests=error "$@"

# A run narrowed to some tests skips the packaging check.
if (($# == 0)); then
    echo "== packaging (two clean clones of the last commit, then a signed run)"
    tests/package_check.sh
fi
