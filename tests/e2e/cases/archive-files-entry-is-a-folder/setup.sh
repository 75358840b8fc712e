# A file job that names a folder: the folder's files are not packed, so the run must not say
# that all went well.
. "$(dirname "$0")/../../common.sh"
make_tree
mkdir -p Data/Sub && printf 'below\n' > Data/Sub/below.txt
