# As in a copy job, a link the job names (itself or by its wildcard) is followed: its target's
# data is stored under the link's own name.
mkdir -p store sub Out
printf 'target\n' > store/t.txt
ln -s store/t.txt l.txt
ln -s ../store/t.txt sub/m.txt
