#!/usr/bin/env bash
# Builds everything and runs the whole test suite, installing what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh --test
cmake -S . -B build
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2
