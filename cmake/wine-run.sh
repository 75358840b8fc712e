#!/usr/bin/env bash
# wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# The emulator through which ctest and gtest discovery run Windows test programs: wine in the
# build tree's prefix, set up by wine-session.sh (ctest starts one, see wine-tests.cmake).
set -euo pipefail
prefix=$1
exe=$2
shift 2

# Each of these turns a silent wrong result into a loud failure.
if [ ! -f "$prefix/.ready" ]; then
  echo "wine-run.sh: no wine prefix at $prefix; run the tests through ctest, or first:" >&2
  echo "  $(dirname "$0")/wine-session.sh start $prefix" >&2
  exit 125
fi
# Under a wine without wine32 a 32-bit program exits 0 having run nothing.
if [ ! -x /usr/lib/wine/wine ] && file -b "$exe" | grep -q '^PE32 '; then
  echo "wine-run.sh: $exe is a 32-bit program but wine32 is not installed" >&2
  echo "  (tools/setup.sh --windows installs it)" >&2
  exit 125
fi
# The ANSI code page comes from LANG, and is 932 only if glibc has the locale; otherwise 1252.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf8'; then
  echo "wine-run.sh: the ja_JP.UTF-8 locale is not generated (tools/setup.sh --windows)" >&2
  exit 125
fi

export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8
unset LC_ALL DISPLAY
exec wine "$exe" "$@"
