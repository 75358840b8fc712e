#!/usr/bin/env bash
# Runs the bundled example job and lists the archive it made.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build/example-output
status=0
build/quillory examples/backup-sample.ini < /dev/null || status=$?
archive=$(ls -t build/example-output/*/SAMPLE.LZH 2>/dev/null | head -n 1 || true)
if [ "$status" = 0 ] && [ -n "$archive" ]; then
  echo "Made $archive:"
  build/unlha l "$archive"
fi
exit "$status"
