. "$(dirname "$0")/../../common.sh"
make_tree
printf 'not an archive, but precious\n' > Out/BACKUP.LZH
