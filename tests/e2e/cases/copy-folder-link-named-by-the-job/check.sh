set -e
[ -d Out/dl ] && [ ! -L Out/dl ] && [ ! -e Out/real ]
[ "$(cat Out/dl/a.txt)" = inside ]
[ -L Out/dl/inner ] && [ "$(readlink Out/dl/inner)" = a.txt ]
