#!/usr/bin/env bash
# copy_bench.sh [CORPUS] — a copy job of build/quillory against `cp -a` of the same tree, both
# into fresh folders on tmpfs, in the same run. Prints the times, the ratio and quillory's peak
# memory for each set of the benchmark corpus (../shared/bench/make-corpus.sh) and a 1 GiB file.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:-/dev/shm/corpus}
quillory=$top/build/quillory
work=$(mktemp -d /dev/shm/quillory-copy-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
[ -x "$quillory" ] || { echo "build quillory first" >&2; exit 1; }
[ -d "$corpus/small" ] || { echo "no corpus at $corpus (make-corpus.sh OUTDIR)" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || { echo "needs GNU time (tools/setup.sh --bench)" >&2; exit 1; }

mkdir -p "$work/gib"
head -c 1073741824 /dev/urandom > "$work/gib/one-gib.bin"

now() { date +%s.%N; }
# best of three runs of the command in "$@", after `reset` has cleared the destination
best() {
  local b=999999 t0 t1 t
  for _ in 1 2 3; do
    reset_dest
    t0=$(now); "$@" > /dev/null; t1=$(now)
    t=$(echo "$t1 - $t0" | bc -l)
    if (( $(echo "$t < $b" | bc -l) )); then b=$t; fi
  done
  echo "$b"
}

printf '%-16s %10s %10s %8s %12s\n' set "cp -a s" "quillory s" ratio "peak MiB"
for set in small source large gib; do
  src=$corpus/$set
  [ "$set" = gib ] && src=$work/gib
  reset_dest() { rm -rf "$work/out"; mkdir -p "$work/out"; sync; }
  printf '[OUT_INFOMATION]\nPath=%s\n[IN_FILELIST]\nFILE1=%s\\\n[OUT_CONFIG]\nType_Ini=1\nLzh_Ini=0\nDate_Ini=0\n' \
    "$work/out" "$src" > "$work/job.ini"
  t_cp=$(best cp -a "$src" "$work/out/")
  t_q=$(best "$quillory" "$work/job.ini")
  diff -r "$src" "$work/out/$(basename "$src")" > /dev/null || { echo "copy of $set differs" >&2; exit 1; }
  reset_dest
  peak_kb=$(/usr/bin/time -f %M "$quillory" "$work/job.ini" 2>&1 >/dev/null | tail -n 1)
  printf '%-16s %10.3f %10.3f %8.2f %12.1f\n' "$set" "$t_cp" "$t_q" \
    "$(echo "$t_q / $t_cp" | bc -l)" "$(echo "$peak_kb / 1024" | bc -l)"
done
