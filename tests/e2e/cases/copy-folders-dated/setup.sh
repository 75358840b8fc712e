. "$(dirname "$0")/../../common.sh"
make_tree
mkdir -p "Other Data/データ, 日本語/空" 
printf 'a,b\n' > "Other Data/データ, 日本語/名前 with blanks, commas.txt"
: > "Other Data/zero length"
# Wine shows a link as the file it names: links are for POSIX.
[ "$QUILLORY_E2E_SYSTEM" = posix ] && ln -s Notes.txt Data/link-to-notes
touch -d '1999-12-31 23:59:58' "Other Data/データ, 日本語"
# An earlier run today left a copy: a file that stays, and a read-only one to be replaced.
today=$(date +%Y%m%d)
mkdir -p "Out/$today/Data"
printf 'from the first run\n' > "Out/$today/Data/kept.txt"
printf 'old notes\n' > "Out/$today/Data/Notes.txt"
chmod 0444 "Out/$today/Data/Notes.txt"
