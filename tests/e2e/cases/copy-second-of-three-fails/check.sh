[ "$(cat Out/deep.txt)" = deep ] && [ "$(cat Out/Report.TXT)" = report ] && [ -d Out/Notes.txt ]
