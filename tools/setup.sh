#!/usr/bin/env bash
# setup.sh [--test] [--bench] [--windows]
# Installs the Debian packages that building (and, with --test, testing; with --bench,
# benchmarking; with --windows, cross-building for 32-bit Windows and testing under wine) needs,
# when they are missing. Run as root on a fresh Debian 12 machine. Quiet when nothing is missing.
set -euo pipefail
packages=(cmake g++ make libgtest-dev libgmock-dev)
windows=0
for arg in "$@"; do
  case $arg in
    # Independent LZH extractors, used by the tests as oracles only; dpkg-shlibdeps for the
    # package's dependencies; groff and man to check that the manual pages render.
    --test) packages+=(lhasa libarchive-tools 7zip dpkg-dev groff-base man-db) ;;
    --bench) packages+=(lhasa libarchive-tools 7zip jlha-utils zip gzip zstd unzip time) ;;
    # The -posix compilers: GCC 12's win32 thread model has no std::thread or std::mutex.
    # googletest is the source package (Debian has no MinGW build of it); file lets the wine
    # wrapper tell a 32-bit .exe from a 64-bit one; wine32 runs the 32-bit ones.
    --windows)
      packages+=(g++-mingw-w64-i686-posix googletest wine wine32:i386 file locales)
      windows=1
      ;;
    *) echo "setup.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

as_root() {
  if [ "$(id -u)" != 0 ]; then
    echo "setup.sh: $1; as root run:" >&2
    echo "  $2" >&2
    exit 1
  fi
}

# apt's chatter (debconf notes included) is shown only when it fails.
apt_get() {
  local log
  log=$(mktemp)
  if ! DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -y -qq "$@" >"$log" 2>&1
  then
    cat "$log" >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}

# wine32 exists only for the i386 architecture; without it apt offers no candidate at all.
if [ $windows = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root "the i386 architecture is not enabled" "dpkg --add-architecture i386 && apt-get update"
  dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^ii' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  as_root "missing packages: ${missing[*]}" "apt-get install -y ${missing[*]}"
  echo "setup.sh: installing ${missing[*]}" >&2
  need_update=1
fi
if [ "${need_update:-0}" = 1 ]; then
  apt_get update
  [ ${#missing[@]} -eq 0 ] || apt_get install --no-install-recommends "${missing[@]}"
fi

# wine takes its ANSI code page from LANG, and only from a locale glibc really has: without
# ja_JP.UTF-8 generated, LANG=ja_JP.UTF-8 gives code page 1252 instead of 932.
if [ $windows = 1 ] && ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf8'; then
  as_root "the ja_JP.UTF-8 locale is not generated" "locale-gen ja_JP.UTF-8"
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null ||
    echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi
