set -e
mkdir .x && (cd .x && lhasa xq ../Out/FILES.LZH)
[ "$(find .x -mindepth 1 -printf '%P %y\n' | LC_ALL=C sort | tr '\n' '|')" = "l.txt f|m.txt f|" ] || { find .x -ls; exit 1; }
[ "$(cat .x/l.txt)" = target ] && [ "$(cat .x/m.txt)" = target ]
