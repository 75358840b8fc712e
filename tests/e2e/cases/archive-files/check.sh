set -e
# Names are stored without their folders, as they are on disk: everything unpacks side by side.
mkdir .x && (cd .x && LC_ALL=C.UTF-8 lhasa xq ../Out/FILES.LZH)
. "$(dirname "$0")/../../common.sh"
if [ "$QUILLORY_E2E_SYSTEM" = windows ]; then names_from_cp932 .x; fi
[ "$(find .x -mindepth 1 -printf '%P\n' | LC_ALL=C sort | tr '\n' '|')" = "B C.txt|Notes.txt|large.txt|ファイル.txt|" ] || { find .x; exit 1; }
cmp .x/Notes.txt Data/Notes.txt && cmp .x/large.txt Data/large.txt
cmp ".x/B C.txt" "My Data, More/B C.txt" && cmp .x/ファイル.txt "Data/My Folder/Sub, Dir/深い/ファイル.txt"
