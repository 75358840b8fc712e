set -e
archive=Data/Backups/$(date +%Y%m%d)/SELF.LZH
lhasa l "$archive" > .list
! grep -qi -e 'self.lzh' -e '\.tmp' .list || { cat .list; exit 1; }
grep -q 'Data/Sub Dir/Deeper/deeper.txt' .list
grep -q 'Data/Backups/' .list   # the folder itself, as it stood
# Run again: the archive that now exists inside the backed-up folder stays out of itself.
"$QUILLORY" job.ini < /dev/null
lhasa l "$archive" > .list
! grep -qi 'self.lzh' .list || { cat .list; exit 1; }
lhasa t "$archive" > /dev/null
