. "$(dirname "$0")/../../common.sh"
make_tree
mkdir -p Out/Notes.txt   # a folder stands where the second entry's copy would go
