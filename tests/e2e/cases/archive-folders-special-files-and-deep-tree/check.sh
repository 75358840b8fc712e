set -e
"$UNLHA" t Out/BACKUP.LZH > /dev/null
"$UNLHA" l Out/BACKUP.LZH > .list
grep -q 'Data/Notes.txt$' .list && grep -q '/deep.txt$' .list
[ "$(grep '/deep.txt$' .list | sed 's/.* Data/Data/' | wc -c)" -gt 4096 ]
! grep -q -e 'pipe' -e 'sock' .list
