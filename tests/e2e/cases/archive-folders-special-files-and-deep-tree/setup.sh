# A FIFO and a socket hold no data: they are left out, and the backup of everything else
# succeeds. A file nested past 4,096 bytes of path is backed up like any.
mkdir -p Data Out
printf 'notes\n' > Data/Notes.txt
mkfifo Data/pipe
python3 -c 'import socket; socket.socket(socket.AF_UNIX).bind("Data/sock")'
deep=Data
for i in $(seq 1 20); do
  name=$(printf "level%02d-%0230d" "$i" 0)
  mkdir "$deep/$name" && cd "$deep/$name" && deep=. || exit 1
done
printf 'deep\n' > deep.txt
