. "$(dirname "$0")/../../common.sh"
make_tree
# A library in the current folder is never taken: anyone could have put it there.
printf 'whatever lies here is not loaded\n' > libunlha32.so
