#!/usr/bin/env bash
# concurrent_jobs.sh QUILLORY
#
# Two archive jobs started at the same moment into one output folder, by a user who may not
# write the root folder, so that both fall back to list files in the output folder: each archive
# must hold exactly its own entries, and no list file may stay behind or end up in an archive.
# As root the jobs run as user nobody; as any other user they run as that user.
set -euo pipefail
quillory=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
export LC_ALL=C TZ=UTC
as_user=()
if [ "$(id -u)" = 0 ]; then
  command -v setpriv > /dev/null || { echo "skipped: needs setpriv to run as nobody"; exit 0; }
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
elif [ -w / ]; then
  echo "skipped: this user may write the root folder, so no job falls back"; exit 0
fi
run=$(mktemp -d "${TMPDIR:-/tmp}/quillory-concurrent-XXXXXX")
trap 'rm -rf "$run"' EXIT
chmod 0755 "$run"
# The library beside a copy of quillory that the other user may run.
mkdir "$run/bin" && cp "$quillory" "$(dirname "$quillory")"/{libunlha32.so,unlha} "$run/bin/"
cd "$run"
for job in A B; do
  mkdir -p "Data $job/Sub"
  for i in $(seq 1 200); do echo "$job $i" > "Data $job/Sub/file$i.txt"; done
  printf '[OUT_INFOMATION]\nPath=out\nFILENAME=%s.lzh\n[IN_FILELIST]\nFILE1=data %s\\\n[OUT_CONFIG]\nType_Ini=1\nLzh_Ini=1\nDate_Ini=0\n' \
    "$job" "$job" > "job$job.ini"
done
mkdir out && chmod 0777 out
"${as_user[@]}" bin/quillory jobA.ini < /dev/null 2> errA & a=$!
"${as_user[@]}" bin/quillory jobB.ini < /dev/null 2> errB & b=$!
status=0
wait $a || { echo "job A failed:"; cat errA; status=1; }
wait $b || { echo "job B failed:"; cat errB; status=1; }
[ "$status" = 0 ] || exit 1
for job in A B; do
  other=$([ $job = A ] && echo B || echo A)
  bin/unlha l "out/$job.LZH" > list$job
  grep -q "Data $job/Sub/file200.txt" list$job || { echo "$job.LZH lacks its files"; cat list$job; exit 1; }
  if grep -q -e "Data $other" -e '\.tmp' list$job; then echo "$job.LZH holds foreign entries"; cat list$job; exit 1; fi
  [ "$(grep -c 'Data '$job'/Sub/file' list$job)" = 200 ] || { echo "$job.LZH: wrong count"; exit 1; }
done
leftover=$(ls -A out | grep -v -e '^A.LZH$' -e '^B.LZH$' || true)
[ -z "$leftover" ] || { echo "left in the output folder: $leftover"; exit 1; }
echo "both archives hold exactly their own entries"
