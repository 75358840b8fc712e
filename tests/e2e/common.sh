# Sourced by the cases' setup.sh: a small tree to back up and an output folder.
make_tree() {
  mkdir -p "Data/Sub Dir/Deeper" "Data/Empty Folder" Out
  printf 'notes\n' > Data/Notes.txt
  printf 'report\n' > Data/Report.TXT
  printf 'deep\n' > "Data/Sub Dir/deep.txt"
  printf 'deeper\n' > "Data/Sub Dir/Deeper/deeper.txt"
  printf 'hidden\n' > Data/.secret
}

# A tree with the names archives find hard: blanks, commas, Japanese, empty folders, a file of
# no bytes, and one large file (50 MB) so that packing runs over many blocks.
make_archive_tree() {
  mkdir -p "Data/My Folder/Sub, Dir/深い/空" "Data/Empty Folder" "Other/日本語 フォルダ"
  printf 'notes\n' > Data/Notes.txt
  : > "Data/My Folder/zero length"
  seq 1 5000 > "Data/My Folder/Sub, Dir/numbers, 1 to 5000.txt"
  printf 'データ\n' > "Data/My Folder/Sub, Dir/深い/ファイル.txt"
  yes 'A large file of text lines for the archive to pack. 0123456789' | head -c 52428800 > Data/large.txt
  printf 'other\n' > "Other/日本語 フォルダ/メモ.txt"
  touch -d '2020-02-29 12:34:56' Data/Notes.txt
}

# names_from_cp932 DIR: the names below DIR, read as code page 932, renamed to UTF-8. The Windows
# build stores names in code page 932 (as tools on a Japanese Windows expect them, with ext 46
# saying so); lhasa and 7-Zip make files of the stored bytes, bsdtar converts them itself.
names_from_cp932() {
  local path name utf8
  find "$1" -mindepth 1 -depth -print0 | while IFS= read -r -d '' path; do
    name=$(basename "$path")
    utf8=$(printf '%s' "$name" | iconv -f CP932 -t UTF-8)
    [ "$name" = "$utf8" ] || mv "$path" "$(dirname "$path")/$utf8"
  done
}

# extract_and_compare ARCHIVE SOURCE... : each independent extractor unpacks ARCHIVE into a folder
# of its own, which must hold exactly the SOURCE folders, byte for byte, file times included.
extract_and_compare() {
  local archive=$1 tool dir s; shift
  for tool in lhasa bsdtar 7zz; do
    if ! command -v $tool > /dev/null; then echo "note: $tool is not installed; skipped" >&2; continue; fi
    dir=.x-$tool; rm -rf "$dir"; mkdir "$dir"
    case $tool in
      lhasa) (cd "$dir" && lhasa xq "../$archive") ;;
      bsdtar) LC_ALL=C.UTF-8 bsdtar -xf "$archive" -C "$dir" ;;  # it converts names by the locale
      7zz) 7zz x -y -o"$dir" "$archive" > /dev/null ;;
    esac || { echo "$tool cannot extract $archive" >&2; return 1; }
    if [ "${QUILLORY_E2E_SYSTEM:-posix}" = windows ] && [ $tool != bsdtar ]; then
      names_from_cp932 "$dir"
    fi
    for s in "$@"; do
      diff -r "$s" "$dir/$(basename "$s")" || { echo "$tool: $s differs" >&2; return 1; }
      (cd "$s" && find . -type f -printf '%p %T@\n' | sed 's/\.[0-9]*$//' | sort) > .times.src
      (cd "$dir/$(basename "$s")" && find . -type f -printf '%p %T@\n' | sed 's/\.[0-9]*$//' | sort) > .times.out
      diff .times.src .times.out || { echo "$tool: file times of $s differ" >&2; return 1; }
    done
    rm -rf "$dir" .times.src .times.out
  done
}
