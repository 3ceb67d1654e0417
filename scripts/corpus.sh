#!/usr/bin/env bash
# Fetches a corpus of damaged and unusual picture files for the reliability tests: the test
# images of Debian's gdk-pixbuf-tests and the sample images of afl++-doc. The packages are
# downloaded and unpacked into the folder given, never installed. Nothing is done when the
# folder already holds the corpus.
#
#   scripts/corpus.sh DIR        then run the tests with VARNEL_CORPUS=DIR
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 DIR" >&2
    exit 2
fi
mkdir -p "$1"
dir="$(cd "$1" && pwd)"
packages=(gdk-pixbuf-tests afl++-doc)

if [ -f "$dir/.complete" ]; then
    echo "corpus: $dir is there ($(find "$dir/files" -type f | wc -l) files)"
    exit 0
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
# apt-get download fetches as the _apt user when it can: the folder must be writable by it.
chmod 0777 "$work"
if ! apt-get download "${packages[@]}" >/dev/null 2>"$work/err"; then
    if [ "$(id -u)" -eq 0 ]; then
        apt-get update -qq
        apt-get download "${packages[@]}" >/dev/null
    else
        cat "$work/err" >&2
        echo "corpus: apt-get download failed; run 'apt-get update' as root first" >&2
        exit 1
    fi
fi
for deb in ./*.deb; do
    dpkg-deb -x "$deb" "$work/tree"
done

# The test data only, not the test programs: the images of gdk-pixbuf's tests (with their
# damaged and hostile ones) and every sample of afl++ (pictures and other formats), their
# paths flattened so that one folder holds them all.
rm -rf "$dir/files"
mkdir -p "$dir/files"
count=0
while IFS= read -r -d '' f; do
    rel="${f#"$work/tree/usr/"}"
    rel="${rel/#libexec\/installed-tests\/gdk-pixbuf\//gdk-pixbuf/}"
    rel="${rel/#share\/doc\/afl++-doc\/afl\/testcases\//afl/}"
    cp -p -- "$f" "$dir/files/${rel//\//_}"
    count=$((count + 1))
done < <(find "$work/tree/usr/libexec/installed-tests/gdk-pixbuf" \
              "$work/tree/usr/share/doc/afl++-doc/afl/testcases" \
              -type f ! -perm -u+x ! -name 'README*' -print0)
if [ "$count" -eq 0 ]; then
    echo "corpus: no picture files found in ${packages[*]}" >&2
    exit 1
fi
touch "$dir/.complete"
echo "corpus: $count files in $dir/files"
