set -e
. "$(dirname "$0")/../../common.sh"
[ -L Out/BACKUP.LZH ] && [ -f Store/real.lzh ]
extract_and_compare Store/real.lzh Data
# The next run updates the file the link leads to, and keeps the link.
printf 'changed\n' > Data/Notes.txt
"$QUILLORY" job.ini < /dev/null 2> .second.stderr
printf '[終了]\n処理終了\n[OK]\n' | diff - .second.stderr
rm .second.stderr
[ -L Out/BACKUP.LZH ] && [ "$(ls Store)" = real.lzh ]
extract_and_compare Store/real.lzh Data
