# The archive's name is a link into another folder, where no archive is yet: the archive is
# made there, and the link stays a link.
. "$(dirname "$0")/../../common.sh"
make_tree
mkdir Store
ln -s ../Store/real.lzh Out/BACKUP.LZH
