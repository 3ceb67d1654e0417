#!/usr/bin/env bash
# Builds the Debian package from a configured and built folder (default build/) and checks it
# with lintian, which must report no error. Needs dpkg-dev, file and lintian.
#   scripts/package.sh [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="$(realpath "${1:-$here/build}")"
cd "$dir"
rm -f varnel_*.deb
cpack -G DEB >cpack.log 2>&1 || { cat cpack.log >&2; exit 1; }
deb=$(ls varnel_*.deb)
echo "package: $dir/$deb ($(dpkg-deb -f "$deb" Depends))"
# Errors fail the check; warnings and notes are shown.
status=0
lintian --fail-on error "$deb" >lintian.log 2>&1 || status=$?
grep -v '^running with root privileges' lintian.log || true
if ((status)); then
    echo "package: lintian reports errors" >&2
    exit 1
fi
echo "package: lintian reports no error"
