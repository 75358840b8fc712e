. "$(dirname "$0")/../../common.sh"
make_tree
{
  printf '[OUT_INFOMATION]\nPath=out\n[IN_FILELIST]\n'
  seq 1 40000 | sed 's/.*/FILE&=data\\notes.txt/'
  printf '[OUT_CONFIG]\nType_Ini=0\nLzh_Ini=0\nDate_Ini=0\n'
} > job.ini
