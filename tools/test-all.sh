#!/usr/bin/env bash
# Builds everything and runs the whole test suite, installing what is missing first: the Linux
# build, then the Windows build under wine (tools/test-windows.sh). Fails if either fails.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh --test
cmake -S . -B build
cmake --build build -j2
status=0
ctest --test-dir build --output-on-failure -j2 || status=1
tools/test-windows.sh || status=1
exit $status
