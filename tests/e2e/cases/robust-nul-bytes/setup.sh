. "$(dirname "$0")/../../common.sh"
make_tree
# A NUL inside a value ends it where the cut finds the last NUL: Path reads as OUT, while
# FILE2, which begins with its NUL, reads as an empty entry with no file name.
printf '[OUT_INFOMATION]\nPath=out\0junk\n[IN_FILELIST]\nFILE1=data\\notes.txt\0\nFILE2=\0data\\report.txt\n[OUT_CONFIG]\nType_Ini=0\nLzh_Ini=0\nDate_Ini=0\n[PASSWORD]\nMessage=0\0\n' > job.ini
