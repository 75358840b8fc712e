#!/usr/bin/env bash
# Builds the 32-bit Windows build (cmake --preset windows-i686, in build-win32/)
# and runs its tests under wine, installing what is missing first. tools/test-all.sh runs it
# after the Linux suite.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh --windows
# ctest starts and ends the wine session itself; this is for a run cut short.
trap 'cmake/wine-session.sh stop "$PWD/build-win32/wineprefix"' EXIT
# With a Linux build beside it, archives are also checked across the two builds.
posix_build=()
[ -x build/unlha ] && posix_build=(-DQUILLORY_POSIX_BUILD="$PWD/build")
cmake --preset windows-i686 "${posix_build[@]}" >/dev/null
cmake --build --preset windows-i686
ctest --preset windows-i686
