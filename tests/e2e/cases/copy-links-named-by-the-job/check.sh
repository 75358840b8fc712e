set -e
[ -f Out/l.txt ] && [ ! -L Out/l.txt ] && [ "$(cat Out/l.txt)" = target ]
[ -f Out/m.txt ] && [ ! -L Out/m.txt ] && [ "$(cat Out/m.txt)" = target ]
[ ! -e Out/t.txt ]
