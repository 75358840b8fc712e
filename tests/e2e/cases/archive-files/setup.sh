. "$(dirname "$0")/../../common.sh"
make_archive_tree
mkdir -p "My Data, More" Out
printf 'b and c\n' > "My Data, More/B C.txt"
