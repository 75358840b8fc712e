set -e
d=Out/$(date +%Y%m%d)
diff -r --no-dereference Data "$d/Data" | grep -v '^Only in .*/Data: kept.txt$' && exit 1
diff -r "Other Data" "$d/Other Data"
[ "$(cat "$d/Data/kept.txt")" = "from the first run" ]
[ -d "$d/Data/Empty Folder" ] && [ -d "$d/Other Data/データ, 日本語/空" ]
if [ "$QUILLORY_E2E_SYSTEM" = posix ]; then  # Windows keeps attributes, not modes
  [ "$(readlink "$d/Data/link-to-notes")" = Notes.txt ]
  [ "$(stat -c %a "$d/Data/Notes.txt")" = "$(stat -c %a Data/Notes.txt)" ]
fi
[ "$(stat -c %Y "$d/Other Data/データ, 日本語")" = "$(stat -c %Y "Other Data/データ, 日本語")" ]
ls -A "$d" | grep -q quillory && exit 1
exit 0
