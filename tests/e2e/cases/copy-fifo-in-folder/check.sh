[ "$(cat Out/Data/Notes.txt)" = notes ] && [ "$(cat "Out/Data/Sub Dir/deep.txt")" = deep ] && [ ! -e Out/Data/pipe ]
