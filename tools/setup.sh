#!/usr/bin/env bash
# setup.sh [--test] [--bench]
# Installs the Debian packages that building (and, with --test, testing; with --bench,
# benchmarking) needs, when they are missing. Run as root on a fresh Debian 12 machine.
set -euo pipefail
packages=(cmake g++ make libgtest-dev libgmock-dev)
for arg in "$@"; do
  case $arg in
    # Independent LZH extractors, used by the tests as oracles only.
    --test) packages+=(lhasa libarchive-tools 7zip) ;;
    --bench) packages+=(lhasa libarchive-tools 7zip jlha-utils zip gzip zstd unzip time) ;;
    *) echo "setup.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^ii' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "setup.sh: missing packages: ${missing[*]}; install them as root:" >&2
  echo "  apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "setup.sh: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
