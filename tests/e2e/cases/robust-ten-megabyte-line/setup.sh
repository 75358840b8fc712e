. "$(dirname "$0")/../../common.sh"
make_tree
{
  printf '[OUT_INFOMATION]\nPath=out\n[IN_FILELIST]\nFILE1=data\\'
  head -c 10485760 /dev/zero | tr '\0' 'x'
  printf '\n[OUT_CONFIG]\nType_Ini=0\nLzh_Ini=0\nDate_Ini=0\n'
} > job.ini
