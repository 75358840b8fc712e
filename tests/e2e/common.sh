# Sourced by the cases' setup.sh: a small tree to back up and an output folder.
make_tree() {
  mkdir -p "Data/Sub Dir/Deeper" "Data/Empty Folder" Out
  printf 'notes\n' > Data/Notes.txt
  printf 'report\n' > Data/Report.TXT
  printf 'deep\n' > "Data/Sub Dir/deep.txt"
  printf 'deeper\n' > "Data/Sub Dir/Deeper/deeper.txt"
  printf 'hidden\n' > Data/.secret
}
