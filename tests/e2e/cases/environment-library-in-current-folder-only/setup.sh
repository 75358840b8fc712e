. "$(dirname "$0")/../../common.sh"
make_tree
# A library in the current folder is never taken: anyone could have put it there.
# A library that works, so that loading it would show.
cp "$QUILLORY_LIBRARY" .
