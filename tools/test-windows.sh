#!/usr/bin/env bash
# Builds what exists of the 32-bit Windows build (cmake --preset windows-i686, in build-win32/)
# and runs its tests under wine, installing what is missing first. tools/test-all.sh runs it
# after the Linux suite.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh --windows
# ctest starts and ends the wine session itself; this is for a run cut short.
trap 'cmake/wine-session.sh stop "$PWD/build-win32/wineprefix"' EXIT
cmake --preset windows-i686 >/dev/null
cmake --build --preset windows-i686
ctest --preset windows-i686
