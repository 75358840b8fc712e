#!/usr/bin/env bash
# run_case.sh CASE_DIR QUILLORY
#
# Runs build/quillory on one end-to-end case in a fresh folder and compares what it did with
# what the case expects. A case folder may hold:
#   job.ini            the information file (copied into the run folder)
#   args               the arguments, one per line (default: job.ini); an empty file: none
#   setup.sh           run in the run folder first (trees, links, FIFOs, permissions)
#   isolated           run a copy of quillory from a folder of its own, without the library
#   expected.stderr    the exact standard error: boxes and diagnostics
#   expected.exit      the exit status
#   check.sh           run in the run folder afterwards, with $QUILLORY set; must succeed
#   unchanged          the run folder must be exactly as setup left it (nothing written)
# In expected.stderr, @DATE@ stands for today's date (YYYYMMDD) and @DIR@ for the run folder.
# With QUILLORY_E2E_UPDATE=1 the expected files are rewritten from the run instead.
set -euo pipefail
case_dir=$(cd "$1" && pwd)
quillory=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
export LC_ALL=C TZ=UTC
run=$(mktemp -d "${TMPDIR:-/tmp}/quillory-e2e-XXXXXX")
out=$(mktemp -d "${TMPDIR:-/tmp}/quillory-e2e-out-XXXXXX")
cleanup() { chmod -R u+rwx "$run" 2>/dev/null || true; rm -rf "$run" "$out"; }
trap cleanup EXIT

cd "$run"
[ -f "$case_dir/job.ini" ] && cp "$case_dir/job.ini" job.ini
[ -f "$case_dir/setup.sh" ] && bash "$case_dir/setup.sh"
if [ -f "$case_dir/isolated" ]; then
  mkdir -p "$run/.bin" && cp "$quillory" "$run/.bin/quillory" && quillory=$run/.bin/quillory
fi
snapshot() { find . -path ./.bin -prune -o -printf '%p %y %s %T@\n' | sort; }
before=$(snapshot)

args=(job.ini)
if [ -f "$case_dir/args" ]; then mapfile -t args < "$case_dir/args"; fi
status=0
timeout 120 "$quillory" "${args[@]}" < /dev/null > "$out/stdout" 2> "$out/stderr" || status=$?

today=$(date +%Y%m%d)
normalise() { sed -e "s|$run|@DIR@|g" -e "s|$today|@DATE@|g" "$1"; }
if [ "${QUILLORY_E2E_UPDATE:-0}" = 1 ]; then
  normalise "$out/stderr" > "$case_dir/expected.stderr"
  echo "$status" > "$case_dir/expected.exit"
  exit 0
fi

fail=0
if [ -s "$out/stdout" ]; then echo "quillory wrote to standard output:"; cat "$out/stdout"; fail=1; fi
if ! diff -u "$case_dir/expected.stderr" <(normalise "$out/stderr"); then
  echo "standard error differs (expected, actual)"; fail=1
fi
expected_status=$(cat "$case_dir/expected.exit")
if [ "$status" != "$expected_status" ]; then
  echo "exit status $status, expected $expected_status"; fail=1
fi
if [ -f "$case_dir/unchanged" ] && ! diff -u <(echo "$before") <(snapshot); then
  echo "the run changed the folder"; fail=1
fi
if [ -f "$case_dir/check.sh" ] && ! QUILLORY=$quillory bash "$case_dir/check.sh"; then
  echo "check.sh failed"; fail=1
fi
exit $fail
