#!/usr/bin/env bash
# The whole test run: install what is missing, build with the mingw preset, run every CTest
# entry inside a private test environment (scripts/testenv.sh).
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
