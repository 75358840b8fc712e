. "$(dirname "$0")/../../common.sh"
make_tree
