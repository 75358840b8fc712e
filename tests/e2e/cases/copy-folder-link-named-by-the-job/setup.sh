# A folder entry that is a link lands under the link's name; a link met inside stays a link.
mkdir -p store/real Out
printf 'inside\n' > store/real/a.txt
ln -s a.txt store/real/inner
ln -s store/real dl
