set -e
[ "$(cat Out/Notes.txt)" = notes ]
[ "$(cat Out/deep.txt)" = deep ]
[ ! -e Out/Report.TXT ] && [ ! -e Out/deeper.txt ]
[ "$(stat -c %Y Out/Notes.txt)" = "$(stat -c %Y Data/Notes.txt)" ]
# Windows keeps attributes, not modes.
[ "$QUILLORY_E2E_SYSTEM" = windows ] || [ "$(stat -c %a Out/Notes.txt)" = "$(stat -c %a Data/Notes.txt)" ]
