. "$(dirname "$0")/../../common.sh"
make_tree
chmod 0640 Data/Notes.txt
touch -d '2001-02-03 04:05:06' Data/Notes.txt
