#!/usr/bin/env bash
# What `cmake --install` puts in place is what a desktop needs: the program, its help file, a
# desktop entry and AppStream metainfo that validate, the icon at every hicolor size (each
# PNG of the size its folder says), the manual page and the package's documents.
#   bash installed_files.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
for tool in desktop-file-validate appstreamcli python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (desktop-file-utils, appstream, python3)"
        exit 77
    fi
done
cmake --install "$build" --prefix "$root/usr" >/dev/null

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
expected=(
    bin/varnel share/varnel/varnel.hlp
    share/applications/varnel.desktop share/metainfo/org.varnel.varnel.metainfo.xml
    share/icons/hicolor/scalable/apps/varnel.svg share/man/man1/varnel.1.gz
    share/doc/varnel/copyright share/doc/varnel/changelog.gz
)
for size in 16 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x$size/apps/varnel.png")
done
for f in "${expected[@]}"; do
    [[ -s $root/usr/$f ]] || fail "not installed: $f"
done
extra=$(cd "$root/usr" && find . -type f | sed 's|^\./||' | sort |
    comm -23 - <(printf '%s\n' "${expected[@]}" | sort))
[[ -z $extra ]] || fail "installed but not expected: $extra"

desktop-file-validate "$root/usr/share/applications/varnel.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.varnel.varnel.metainfo.xml" \
    >"$root/appstream.log" 2>&1 || fail "metainfo: $(cat "$root/appstream.log")"
launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' \
    "$root/usr/share/metainfo/org.varnel.varnel.metainfo.xml")
[[ -f $root/usr/share/applications/$launchable ]] || fail "metainfo launches '$launchable'"
gzip -t "$root/usr/share/man/man1/varnel.1.gz" || fail "manual page"

# Each PNG's width and height from its header, against the size of its folder.
for size in 16 24 32 48 64 128 256; do
    png=$root/usr/share/icons/hicolor/${size}x$size/apps/varnel.png
    [[ -s $png ]] || continue
    seen=$(python3 -c 'import struct, sys
d = open(sys.argv[1], "rb").read(24)
print("%dx%d" % struct.unpack(">II", d[16:24]) if d[:8] == b"\x89PNG\r\n\x1a\n" else "not a PNG")' "$png")
    [[ $seen == "${size}x$size" ]] || fail "icon in ${size}x$size is $seen"
done

((failures == 0)) && echo "installed files: complete (${#expected[@]} files)"
exit $((failures > 0))
