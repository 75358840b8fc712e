# Links named by the job, one in the current folder and one in a folder: each lands under its
# own name, holding its target's data.
mkdir -p store sub Out
printf 'target\n' > store/t.txt
ln -s store/t.txt l.txt
ln -s ../store/t.txt sub/m.txt
