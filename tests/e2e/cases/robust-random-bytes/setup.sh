. "$(dirname "$0")/../../common.sh"
make_tree
# 1 MB of deterministic noise as the information file
awk 'BEGIN { srand(7); for (i = 0; i < 1048576; i++) printf "%c", int(rand() * 256) }' > job.ini
