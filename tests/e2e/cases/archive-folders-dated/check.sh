set -e
. "$(dirname "$0")/../../common.sh"
archive=Out/$(date +%Y%m%d)/BACKUP.LZH   # made under the name as the job spells it
[ -f "$archive" ]
extract_and_compare "$archive" Data "Other/日本語 フォルダ"
# A second run the same day updates the archive in the dated folder.
printf 'changed notes\n' > Data/Notes.txt
touch -d '2021-03-04 05:06:07' Data/Notes.txt
mkdir "Data/New Folder"
"$QUILLORY" job.ini < /dev/null 2> .second.stderr
printf '[終了]\n処理終了\n[OK]\n' | diff - .second.stderr
rm .second.stderr
extract_and_compare "$archive" Data "Other/日本語 フォルダ"
