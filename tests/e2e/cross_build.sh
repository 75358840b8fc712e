#!/usr/bin/env bash
# cross_build.sh POSIX_UNLHA WINDOWS_UNLHA_EXE RUNNER...
#
# Archives cross between the two builds: one made by the Linux build's unlha extracts under the
# Windows build's unlha.exe (run through RUNNER, the emulator) byte for byte, file times kept to
# the second, except the names Windows would misread, which it refuses (32781); one made by
# unlha.exe extracts the same way with lhasa, bsdtar and 7zz. unlha.exe takes a file's hidden
# and system attributes from Windows: such files are left out unless -a1, and stored with them.
set -euo pipefail
posix_unlha=$1
windows_unlha=$2
runner=("${@:3}")
export LC_ALL=C TZ=UTC
run=$(mktemp -d "${TMPDIR:-/tmp}/quillory-cross-XXXXXX")
trap 'rm -rf "$run"' EXIT
cd "$run"
. "$(dirname "$0")/common.sh"

mkdir -p "Src/日本語 フォルダ/空" "Src/Sub, Dir"
printf 'データ\n' > "Src/日本語 フォルダ/ファイル.txt"
seq 1 20000 > "Src/Sub, Dir/numbers, 1 to 20000.txt"
: > "Src/zero length"
touch -d '2020-02-29 12:34:56' "Src/Sub, Dir/numbers, 1 to 20000.txt"

times() { (cd "$1" && find . -mindepth 1 -type f -printf '%p %T@\n' | sed 's/\.[0-9]*$//' | sort); }

"$posix_unlha" a -r2 -x1 linux.lzh 'Src\' '*.*' > /dev/null
"${runner[@]}" "$windows_unlha" x linux.lzh 'FromLinux\' > /dev/null
diff -r Src FromLinux
diff <(times Src) <(times FromLinux)

mkdir Odd
for name in CON.txt nul a:b dot. 'blank ' ok.txt; do echo x > "Odd/$name"; done
"$posix_unlha" a odd.lzh 'Odd\' '*.*' > /dev/null
status=0
"${runner[@]}" "$windows_unlha" x odd.lzh 'OddOut\' > /dev/null 2> odd.err || status=$?
if [ $status = 0 ] || [ "$(ls OddOut)" != ok.txt ] || ! grep -q 32781 odd.err; then
  echo "unlha.exe made names Windows misreads, or did not say it refused them:"; ls OddOut
  cat odd.err; exit 1
fi

"${runner[@]}" "$windows_unlha" a -r2 -x1 windows.lzh 'Src\*.*' > /dev/null
QUILLORY_E2E_SYSTEM=windows extract_and_compare windows.lzh Src

# Names in code page 932 cross both ways: the Windows build's archive under the Linux unlha, and
# one the Linux unlha wrote with -cp932 under unlha.exe.
"$posix_unlha" x windows.lzh 'FromWindows\' > /dev/null
diff -r Src FromWindows/Src
"$posix_unlha" a -cp932 -r2 -x1 linux932.lzh 'Src\' '*.*' > /dev/null
"${runner[@]}" "$windows_unlha" x linux932.lzh 'FromLinux932\' > /dev/null
diff -r Src FromLinux932

mkdir Attributes
for name in plain hidden system; do echo $name > Attributes/$name.txt; done
"${runner[@]}" attrib.exe +h 'Attributes\hidden.txt' > /dev/null
"${runner[@]}" attrib.exe +s 'Attributes\system.txt' > /dev/null
"${runner[@]}" "$windows_unlha" a visible.lzh 'Attributes\' '*.*' > /dev/null
"${runner[@]}" "$windows_unlha" a -a1 all.lzh 'Attributes\' '*.*' > /dev/null
[ "$("$posix_unlha" l visible.lzh | awk '/ plain.txt$/ {n++} END {print NR ":" n}')" = 3:1 ]
# The attribute column of the detailed listing: archive, system, hidden, read-only.
[ "$("$posix_unlha" v all.lzh | awk 'NF == 10 && $10 ~ /txt$/ {print $10, $6}' | tr '\n' ' ')" = \
  "hidden.txt A-H- plain.txt A--- system.txt AS-- " ]
