#!/usr/bin/env bash
# package_test.sh BUILD-DIR: the Debian package as a user gets it. cpack builds it from the build
# tree, dpkg-deb unpacks it into a scratch root, and from there the installed quillory runs the
# installed example job and the installed unlha tests the archive the job made. Both must load
# the installed libunlha32.so, never the build tree's. Skipped (77) without dpkg-deb, or without
# dpkg-shlibdeps to compute the package's dependencies (tools/setup.sh --test installs it).
set -euo pipefail
build=$(cd "$1" && pwd)
for tool in dpkg-deb dpkg-shlibdeps; do
  if ! command -v $tool >/dev/null; then
    echo "debian_package: skipped: $tool is not installed (tools/setup.sh --test installs it)"
    exit 77
  fi
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "debian_package: $*" >&2
  exit 1
}

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1
then
  cat "$scratch/cpack.log"
  fail "cpack could not build the package"
fi
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "not one .deb in $scratch/out: ${debs[*]}"
deb=${debs[0]}

# The program needs the C and C++ runtimes and nothing else: no test oracle, no build tool.
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libc6 libstdc++6; do
  [[ $depends == *"$needed "* ]] || fail "Depends lacks $needed: $depends"
done
for oracle in lhasa libarchive 7zip gzip; do
  [[ $depends != *"$oracle"* ]] || fail "Depends names $oracle: $depends"
done

root=$scratch/root
dpkg-deb -x "$deb" "$root"
for file in usr/bin/quillory usr/bin/unlha usr/lib/libunlha32.so \
            usr/share/man/man1/quillory.1.gz usr/share/man/man1/unlha.1.gz \
            usr/share/doc/quillory/README.md usr/share/doc/quillory/examples/backup-sample.ini; do
  [ -f "$root/$file" ] || fail "the package holds no $file"
done

# The example job as quillory(1) tells a user to run it: a copy of the examples beside an output
# folder. The dynamic linker reports every object it loads (LD_DEBUG), to show where the
# library came from.
work=$scratch/work
mkdir -p "$work/build/example-output"
cp -r "$root/usr/share/doc/quillory/examples" "$work/"
cd "$work"
loaded() {  # loaded TAG COMMAND...: runs COMMAND, and prints the libunlha32.so it loaded
  local tag=$1
  shift
  env -u LD_LIBRARY_PATH LD_DEBUG=libs LD_DEBUG_OUTPUT="$scratch/ld-$tag" "$@"
}
status=0
loaded quillory "$root/usr/bin/quillory" examples/backup-sample.ini </dev/null \
  2>"$scratch/boxes" || status=$?
[ $status = 0 ] || fail "the example job ended with $status: $(cat "$scratch/boxes")"
[ "$(cat "$scratch/boxes")" = $'[終了]\n処理終了\n[OK]' ] ||
  fail "the example job's boxes: $(cat "$scratch/boxes")"
archives=(build/example-output/*/SAMPLE.LZH)
[ -f "${archives[0]}" ] || fail "the example job made no archive: $(find build)"

status=0
loaded unlha "$root/usr/bin/unlha" t "${archives[0]}" >"$scratch/tested" 2>&1 || status=$?
[ $status = 0 ] || fail "unlha t ended with $status: $(cat "$scratch/tested")"
# The sample's five files and three folders.
grep -qx '8 entries tested good, 0 failed.' "$scratch/tested" ||
  fail "unlha t: $(cat "$scratch/tested")"

# "calling init: PATH" for every object initialised; the library's, resolved, must be the one
# unpacked here.
installed=$(realpath "$root/usr/lib/libunlha32.so")
for tag in quillory unlha; do
  mapfile -t used < <(sed -n 's/.*calling init: \(.*libunlha32\.so\)$/\1/p' "$scratch"/ld-$tag.*)
  [ ${#used[@]} = 1 ] || fail "$tag loaded libunlha32.so ${#used[@]} times: ${used[*]:-}"
  [ "$(realpath "${used[0]}")" = "$installed" ] ||
    fail "$tag loaded ${used[0]}, not the installed $installed"
done
echo "debian_package: $(basename "$deb"), Depends: $depends"
