#!/usr/bin/env bash
# wine-session.sh start|stop PREFIX
# start: creates the wine prefix PREFIX once (headless), maps drive T: to the folder that holds
# it, and leaves a persistent wineserver running; stop: ends that server. ctest runs both around
# the tests (wine-tests.cmake). Quiet unless something fails.
set -euo pipefail
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8
unset LC_ALL DISPLAY

quietly() {
  "$@" >/dev/null 2>&1 </dev/null
}

create_prefix() {
  local log=$WINEPREFIX.log
  wineserver -k 2>/dev/null || true  # a half-made prefix's server would keep -w below waiting
  rm -rf "$WINEPREFIX"
  if ! wineboot -i >"$log" 2>&1 </dev/null; then
    cat "$log" >&2
    return 1
  fi
  wineserver -w
  # A crashing test exits at once (code 5) instead of waiting in winedbg's dialog; with no
  # window manager, wine must not wait for one each time a window closes.
  quietly wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
  quietly wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
  wineserver -w
  # Seen from the build tree, "\" would be Z:\, the Linux root. With T: mapped to the folder
  # above the prefix, wine gives the tests a current drive T: (the longest match), so the root
  # of the current drive is the build tree.
  ln -sfn "$(dirname "$(realpath "$WINEPREFIX")")" "$WINEPREFIX/dosdevices/t:"
  rm -f "$log"
  touch "$WINEPREFIX/.ready"
}

case $action in
  start)
    mkdir -p "$(dirname "$WINEPREFIX")"  # wine cannot create a prefix whose parent is missing
    # Serialised: two ctest runs must not build one prefix at the same time.
    exec 9>"$WINEPREFIX.lock"
    flock 9
    [ -f "$WINEPREFIX/.ready" ] || create_prefix
    # Started here, with its output on /dev/null: a wineserver or services.exe that a test
    # starts inherits the test's output pipe, and ctest then waits for them (~3 s a test).
    # Should nobody stop it, it ends a minute after the last program.
    quietly wineserver -p60
    quietly wine cmd /c exit
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    ;;
  *)
    echo "usage: wine-session.sh start|stop PREFIX" >&2
    exit 2
    ;;
esac
