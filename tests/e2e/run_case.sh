#!/usr/bin/env bash
# run_case.sh CASE_DIR QUILLORY [RUNNER...]
#
# Runs build/quillory on one end-to-end case in a fresh folder and compares what it did with
# what the case expects. With RUNNER (cmake/wine-run.sh and its prefix), QUILLORY is the Windows
# build's quillory.exe, run through it in code page 932: the job file is saved in Shift_JIS, and
# the boxes are read from the box log the program appends each box to (QUILLORY_BOX_LOG). They
# follow whatever it wrote to standard error, so they compare with the same expected.stderr.
# A case folder may hold:
#   job.ini            the information file (copied into the run folder)
#   args               the arguments, one per line (default: job.ini); an empty file: none
#   setup.sh           run in the run folder first (trees, links, FIFOs, permissions)
#   isolated           run a copy of quillory from a folder of its own, without the library
#   old-library        the same, with a library that reports an old version beside it
#   old-windows        (Windows only) run a copy that wine tells it runs on Windows NT 3.51
#   posix-only         not run for the Windows build (the file says why); windows-only: the reverse
#   expected.stderr    the exact standard error: boxes and diagnostics
#   expected.exit      the exit status
#   check.sh           run in the run folder afterwards, with $QUILLORY and $UNLHA (the unlha
#                      beside it) set; must succeed
#   unchanged          the run folder must be exactly as setup left it (nothing written)
# In expected.stderr, @DATE@ stands for today's date (YYYYMMDD) and @DIR@ for the run folder.
# setup.sh and check.sh see QUILLORY_LIBRARY (the library file the program loads) and
# QUILLORY_E2E_SYSTEM (posix or windows). With QUILLORY_E2E_UPDATE=1 the expected files are
# rewritten from the run instead.
set -euo pipefail
case_dir=$(cd "$1" && pwd)
quillory=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
runner=("${@:3}")
export LC_ALL=C TZ=UTC
: "${QUILLORY_LIBRARY:?the library file the program loads}"
export QUILLORY_LIBRARY
export QUILLORY_E2E_SYSTEM=posix
[ ${#runner[@]} -gt 0 ] && QUILLORY_E2E_SYSTEM=windows
run=$(mktemp -d "${TMPDIR:-/tmp}/quillory-e2e-XXXXXX")
out=$(mktemp -d "${TMPDIR:-/tmp}/quillory-e2e-out-XXXXXX")
cleanup() { chmod -R u+rwx "$run" 2>/dev/null || true; rm -rf "$run" "$out"; }
trap cleanup EXIT

cd "$run"
if [ -f "$case_dir/job.ini" ]; then
  if [ $QUILLORY_E2E_SYSTEM = windows ]; then
    iconv -f UTF-8 -t CP932 "$case_dir/job.ini" > job.ini  # as a Japanese Windows saves it
  else
    cp "$case_dir/job.ini" job.ini
  fi
fi
[ -f "$case_dir/setup.sh" ] && bash "$case_dir/setup.sh"
unlha=$(dirname "$quillory")/unlha
program=$(basename "$quillory")
if [ -f "$case_dir/old-windows" ]; then
  # Wine answers GetVersionEx by the program's file name: only this copy runs on NT 3.51.
  program=quillory-nt351.exe
  "${runner[@]}" reg.exe add "HKCU\\Software\\Wine\\AppDefaults\\$program" /v Version /d nt351 \
    /f > /dev/null
fi
if [ -f "$case_dir/isolated" ] || [ -f "$case_dir/old-library" ] || [ -f "$case_dir/old-windows" ]
then
  mkdir -p "$run/.bin" && cp "$quillory" "$run/.bin/$program"
  if [ -f "$case_dir/old-library" ]; then
    cp "${QUILLORY_OLD_LIBRARY:?a library reporting an old version}" \
      "$run/.bin/$(basename "$QUILLORY_LIBRARY")"
  elif [ -f "$case_dir/old-windows" ]; then
    cp "$QUILLORY_LIBRARY" "$run/.bin/"
  fi
  quillory=$run/.bin/$program
fi
if [ $QUILLORY_E2E_SYSTEM = windows ]; then
  printf '#!/usr/bin/env bash\nexec %s"$@"\n' "$(printf '%q ' "${runner[@]}" "$unlha.exe")" \
    > "$out/unlha"
  chmod +x "$out/unlha"
  unlha=$out/unlha
  # quillory.exe through the emulator, as one command that check.sh can run again.
  {
    echo '#!/usr/bin/env bash'
    echo "boxes=\$(mktemp '$out/boxes-XXXXXX')"
    echo 'status=0'
    echo "QUILLORY_BOX_LOG=\"Z:\$boxes\" $(printf '%q ' "${runner[@]}" "$quillory") \"\$@\" || status=\$?"
    echo 'cat "$boxes" >&2'
    echo 'exit $status'
  } > "$out/quillory"
  chmod +x "$out/quillory"
  quillory=$out/quillory
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
if [ -f "$case_dir/check.sh" ] && ! QUILLORY=$quillory UNLHA=$unlha bash "$case_dir/check.sh"; then
  echo "check.sh failed"; fail=1
fi
exit $fail
