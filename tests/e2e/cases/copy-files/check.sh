set -e
[ "$(cat Out/Notes.txt)" = notes ]
[ "$(cat Out/deep.txt)" = deep ]
[ ! -e Out/Report.TXT ] && [ ! -e Out/deeper.txt ]
[ "$(stat -c '%a %Y' Out/Notes.txt)" = "$(stat -c '%a %Y' Data/Notes.txt)" ]
