[ "$(cat Out/BACKUP.LZH)" = "not an archive, but precious" ] && [ "$(ls -A Out)" = BACKUP.LZH ]
