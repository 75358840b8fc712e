. "$(dirname "$0")/../../common.sh"
make_archive_tree
mkdir Out
