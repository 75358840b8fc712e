#!/usr/bin/env bash
# job_bench.sh [CORPUS] — whole backup jobs of build/quillory against the tools a user would pick
# instead, every tool run in this same invocation, on tmpfs. For each set of the benchmark corpus
# (../shared/bench/make-corpus.sh CORPUS; default /dev/shm/corpus) it prints time, output size and
# peak memory, with ratios:
#   archive   a folder archive job       against tar -cf - | gzip -6, and jLHA writing -lh5-
#   again     the same job over the unchanged tree, and after one small file changed: against
#             the first run (0.35 or less is the aim)
#   one-thread  the first job with the library on one thread: the gain of the second core
#   copy      a copy job                 against cp -a and rsync -a
#   extract   unlha x of our archive     against bsdtar -x of the same archive
# and once, for a folder of 20,000 small files: a file archive job naming each file one by one
# against the same files named by one wildcard. The first job, the one-thread job, tar, jLHA and
# the two 20,000-file jobs are each the best of three runs.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:-/dev/shm/corpus}
bin=$top/build
for tool in "$bin/quillory" "$bin/unlha" /usr/bin/time jlha bsdtar rsync gzip; do
  command -v "$tool" > /dev/null || { echo "missing $tool (build, and tools/setup.sh --bench)" >&2; exit 1; }
done
[ -d "$corpus/small" ] || { echo "no corpus at $corpus (make-corpus.sh OUTDIR)" >&2; exit 1; }
work=$(mktemp -d /dev/shm/quillory-job-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C

# run OUT CMD...: runs CMD, appends "seconds peak_kib" to OUT.
run() {
  local out=$1; shift
  /usr/bin/time -f '%e %M' -o "$work/.time" "$@" > /dev/null 2> "$work/.err" < /dev/null ||
    { echo "failed: $*" >&2; cat "$work/.err" >&2; exit 1; }
  cat "$work/.time" > "$out"
}
# best OUT ARCHIVE CMD...: runs CMD three times, each making ARCHIVE anew, and keeps the fastest
# run's line: single runs on a shared machine vary by a tenth or more, and a job's list file goes
# to the root folder of the disk, whose writes vary too.
best() {
  local out=$1 archive=$2; shift 2
  rm -f "$archive" && run "$out" "$@"
  for _ in 2 3; do
    rm -f "$archive" && run "$out.try" "$@"
    if [ "$(echo "$(secs "$out.try") < $(secs "$out")" | bc)" = 1 ]; then mv "$out.try" "$out"; fi
  done
}
secs() { cut -d' ' -f1 "$1"; }
mib() { echo "scale=1; $(cut -d' ' -f2 "$1") / 1024" | bc; }
ratio() { if [ "$(echo "$2 > 0" | bc)" = 1 ]; then echo "scale=3; $1 / $2" | bc; else echo n/a; fi; }
size() { stat -c %s "$1"; }

job() {  # job FILE TYPE LZH OUT ENTRIES...: writes an information file
  local file=$1 type=$2 lzh=$3 out=$4 i=0; shift 4
  { printf '[OUT_INFOMATION]\nPath=%s\nFILENAME=b.lzh\n[IN_FILELIST]\n' "$out"
    for e in "$@"; do i=$((i + 1)); printf 'FILE%d=%s\n' "$i" "$e"; done
    printf '[OUT_CONFIG]\nType_Ini=%s\nLzh_Ini=%s\nDate_Ini=0\n' "$type" "$lzh"; } > "$file"
}

printf '%-15s %-10s %9s %12s %8s   %s\n' set run seconds bytes "peak MiB" ratios
line() { printf '%-15s %-10s %9s %12s %8s   %s\n' "$@"; }

for set in std source binary incompressible small large; do
  src=$work/src/$set
  mkdir -p "$work/src" && cp -a "$corpus/$set" "$src"
  out=$work/out/$set && mkdir -p "$out"

  job "$work/a.ini" 1 1 "$out" "$src\\"
  run "$work/t.first" "$bin/quillory" "$work/a.ini"
  archive=$out/B.LZH  # the program names archives in capitals
  bytes=$(size "$archive")
  run "$work/t.again" "$bin/quillory" "$work/a.ini"
  # The smallest file (sed reads all its input: no SIGPIPE under pipefail).
  small_file=$(find "$src" -type f -printf '%s %p\n' | sort -n | sed -n 1p | cut -d' ' -f2-)
  printf 'x' >> "$small_file"
  run "$work/t.changed" "$bin/quillory" "$work/a.ini"
  # The rows compared with each other are each the best of three runs.
  UNLHA32_THREADS=1 best "$work/t.one" "$archive" "$bin/quillory" "$work/a.ini"
  best "$work/t.first" "$archive" "$bin/quillory" "$work/a.ini"

  best "$work/t.tar" "$work/tar.gz" sh -c "tar -C '$work/src' -cf - '$set' | gzip -6 > '$work/tar.gz'"
  # From the parent, as tar: both then store the names the job stores ("set/...").
  best "$work/t.jlha" "$work/j.lzh" sh -c "cd '$work/src' && jlha c2qo5 '$work/j.lzh' '$set'"
  t=$(secs "$work/t.first")
  line "$set" archive "$t" "$bytes" "$(mib "$work/t.first")" \
    "tar|gzip -6 x$(ratio "$t" "$(secs "$work/t.tar")") (size x$(ratio "$bytes" "$(size "$work/tar.gz")")), jLHA -lh5- x$(ratio "$t" "$(secs "$work/t.jlha")") (size x$(ratio "$bytes" "$(size "$work/j.lzh")"))"
  line "" again "$(secs "$work/t.again")" "" "$(mib "$work/t.again")" \
    "unchanged x$(ratio "$(secs "$work/t.again")" "$t"), one small file changed x$(ratio "$(secs "$work/t.changed")" "$t")"
  line "" one-thread "$(secs "$work/t.one")" "" "$(mib "$work/t.one")" \
    "two threads gain x$(ratio "$(secs "$work/t.one")" "$t")"

  rm -rf "$work/x" "$work/xb" && mkdir -p "$work/x" "$work/xb"
  run "$work/t.x" "$bin/unlha" x "$archive" "$work/x/"
  run "$work/t.bsdtar" bsdtar -xf "$archive" -C "$work/xb"
  line "" extract "$(secs "$work/t.x")" "" "$(mib "$work/t.x")" \
    "bsdtar -x x$(ratio "$(secs "$work/t.x")" "$(secs "$work/t.bsdtar")")"

  rm -rf "$work/copy" "$work/cp" "$work/rsync" && mkdir -p "$work/copy" "$work/cp" "$work/rsync"
  job "$work/c.ini" 1 0 "$work/copy" "$src\\"
  run "$work/t.copy" "$bin/quillory" "$work/c.ini"
  run "$work/t.cp" cp -a "$src" "$work/cp/"
  run "$work/t.rsync" rsync -a "$src" "$work/rsync/"
  line "" copy "$(secs "$work/t.copy")" "" "$(mib "$work/t.copy")" \
    "cp -a x$(ratio "$(secs "$work/t.copy")" "$(secs "$work/t.cp")"), rsync -a x$(ratio "$(secs "$work/t.copy")" "$(secs "$work/t.rsync")")"
  rm -rf "$work/src" "$work/out" "$work/x" "$work/xb" "$work/copy" "$work/cp" "$work/rsync" \
         "$work/tar.gz" "$work/j.lzh"
done

# 20,000 files of one folder, named one by one and by one wildcard.
many=$work/many/files && mkdir -p "$many"
for i in $(seq 1 20000); do printf 'file %d\n' "$i" > "$many/f$i.txt"; done
mapfile -t names < <(cd "$many" && ls | sort)
entries=()
for n in "${names[@]}"; do entries+=("$many\\$n"); done
mkdir -p "$work/o1" "$work/o2"
job "$work/each.ini" 0 1 "$work/o1" "${entries[@]}"
job "$work/wild.ini" 0 1 "$work/o2" "$many\\*.txt"
best "$work/t.each" "$work/o1/B.LZH" "$bin/quillory" "$work/each.ini"
best "$work/t.wild" "$work/o2/B.LZH" "$bin/quillory" "$work/wild.ini"
line 20000-files by-name "$(secs "$work/t.each")" "$(size "$work/o1/B.LZH")" "$(mib "$work/t.each")" \
  "one wildcard x$(ratio "$(secs "$work/t.each")" "$(secs "$work/t.wild")") (1.2 or less is the aim)"
