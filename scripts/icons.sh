#!/usr/bin/env bash
# Renders the icon resources/varnel.svg into the PNGs installed in the hicolor theme
# (resources/varnel-SIZE.png) and the window's icon (resources/varnel.xpm). Run it after
# changing the SVG and commit the results; the build itself needs no SVG renderer.
# Needs librsvg2-bin and imagemagick.
set -euo pipefail
res="$(cd "$(dirname "${BASH_SOURCE[0]}")/../resources" && pwd)"
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" "$res/varnel.svg" -o "$res/varnel-$size.png"
done
# XPM has one bit of transparency: pixels under half opaque are clear.
convert "$res/varnel-48.png" -channel A -threshold 50% +channel "$res/varnel.xpm"
sed -i 's/^static char \*[a-z_0-9]*\[\]/static const char *varnel[]/' "$res/varnel.xpm"
echo "icons: rendered resources/varnel-{16,24,32,48,64,128,256}.png and resources/varnel.xpm"
