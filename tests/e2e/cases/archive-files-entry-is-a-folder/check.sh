"$UNLHA" l Out/FILES.LZH > listing
grep -q 'Notes.txt' listing && ! grep -q 'below.txt' listing && [ "$(ls -A Out)" = FILES.LZH ]
