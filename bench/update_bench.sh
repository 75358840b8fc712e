#!/usr/bin/env bash
# update_bench.sh [SIZE_MIB] — u against the creation of the same archive, on tmpfs.
#
# Generates a tree of SIZE_MIB (default 1024) MiB of text-like files in 64 folders on /dev/shm,
# packs it with the folder form of the backup's command line (a new archive), changes one small
# file, and times:
#   u       the same line without -c1: only the changed file is packed again, every other
#           entry is copied over as it is;
#   u -c1   the line exactly as the backup builds it: -c1 replaces every entry whatever its
#           time stamp, so everything is packed again.
# Prints the times, their ratios to the creation and the peak memory of each run, and checks
# the archive with t after each update.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
unlha=$top/build/unlha
size_mib=${1:-1024}
[ -x "$unlha" ] || { echo "build unlha first: cmake --build build" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || { echo "needs GNU time (tools/setup.sh --bench)" >&2; exit 1; }
work=$(mktemp -d /dev/shm/quillory-update-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

# The tree: base64 text of random bytes packs to about three quarters, like much real data.
files=$((size_mib / 1))
per_folder=$(((files + 63) / 64))
echo "generating $size_mib MiB in $files files ..." >&2
for ((i = 0; i < files; i++)); do
  d=$work/DATA/TREE/folder$((i / per_folder))
  mkdir -p "$d"
  head -c 786432 /dev/urandom | base64 -w 76 > "$d/file$i.txt"
done
mkdir -p "$work/DATA/TREE/small"
echo "a small file that will change" > "$work/DATA/TREE/small/notes.txt"
mkdir -p "$work/OUT"
archive=$(echo "$work/OUT/DATA.LZH" | tr / '\\')
list=$work/list.tmp
printf '\r\n%s\\..\\ TREE\\*.*\r\n' "$(echo "$work/DATA/TREE" | tr / '\\')" > "$list"
list_arg="@$(echo "$list" | tr / '\\')"
backup_line=(u -+ -a1 -x1 -c1 -f0 -jm2 -jp1 -x1 -r2 -a1 "$archive" "$list_arg")
plain_line=(u -+ -a1 -x1 -f0 -jm2 -jp1 -x1 -r2 -a1 "$archive" "$list_arg")

# run NAME COMMAND...: prints "seconds peak-KiB" of one run and keeps its output in $work/NAME.
run() {
  local name=$1
  shift
  local t0 t1
  t0=$(date +%s.%N)
  /usr/bin/time -f %M -o "$work/$name.rss" "$@" > "$work/$name.out"
  t1=$(date +%s.%N)
  echo "$(echo "$t1 - $t0" | bc -l) $(cat "$work/$name.rss")"
}

change() {
  sleep 1.1  # a time stamp the archive cannot already hold
  echo "changed $(date +%s.%N)" >> "$work/DATA/TREE/small/notes.txt"
}

read -r t_create m_create < <(run create "$unlha" "${backup_line[@]}")
archive_mib=$(echo "$(stat -c %s "$work/OUT/DATA.LZH") / 1048576" | bc -l)

change
read -r t_u m_u < <(run update "$unlha" "${plain_line[@]}")
grep -q "0 added, 1 replaced" "$work/update.out" || { echo "u replaced more than one" >&2; exit 1; }
"$unlha" t "$work/OUT/DATA.LZH" > /dev/null

change
read -r t_c1 m_c1 < <(run update-c1 "$unlha" "${backup_line[@]}")
"$unlha" t "$work/OUT/DATA.LZH" > /dev/null

printf 'tree %d MiB, archive %.0f MiB\n' "$size_mib" "$archive_mib"
printf '%-30s %10s %10s %12s\n' run seconds "/ create" "peak MiB"
printf '%-30s %10.2f %10.3f %12.1f\n' "create (backup line)" "$t_create" 1 "$(echo "$m_create / 1024" | bc -l)"
printf '%-30s %10.2f %10.3f %12.1f\n' "u, one file changed" "$t_u" "$(echo "$t_u / $t_create" | bc -l)" "$(echo "$m_u / 1024" | bc -l)"
printf '%-30s %10.2f %10.3f %12.1f\n' "u -c1 (backup line)" "$t_c1" "$(echo "$t_c1 / $t_create" | bc -l)" "$(echo "$m_c1 / 1024" | bc -l)"
