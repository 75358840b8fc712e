#!/usr/bin/env bash
# man_pages.sh PAGE...: each manual page renders without a single warning, through groff with
# every warning on and through man as a reader opens a file (man -l). Skipped (77) without groff
# or man (tools/setup.sh --test installs them).
set -uo pipefail
for tool in groff man; do
  if ! command -v $tool >/dev/null; then
    echo "man_pages: skipped: $tool is not installed (tools/setup.sh --test installs it)"
    exit 77
  fi
done
# The pages are ASCII; their Japanese box texts render in a UTF-8 locale, which C.UTF-8 is.
export LC_ALL=C.UTF-8 MANWIDTH=80 MAN_DISABLE_SECCOMP=1
status=0
for page in "$@"; do
  for render in "groff -ww -man -Tutf8 $page" "man --warnings -l $page"; do
    if ! warnings=$($render 2>&1 >/dev/null) || [ -n "$warnings" ]; then
      echo "$render:"
      echo "${warnings:-(failed)}"
      status=1
    fi
  done
done
exit $status
