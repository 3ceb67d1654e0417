#!/usr/bin/env bash
# High-density screen: Xvfb 2560x1600 with the program at QT_SCALE_FACTOR=2. A 200x100
# picture covers exactly 200x100 screen pixels at the centre of the show, and a picture
# larger than the screen is cut equally at opposite sides. E2E_SHOTS, when set, is a folder
# that keeps a screenshot to look at.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

SCREEN_W=2560 SCREEN_H=1600 E2E_SCALE_FACTOR=2
RED='#ff0000' BLUE='#0000ff' YELLOW='#ffff00' BLACK='#000000'
PICS=$WORK/pictures
mkdir "$PICS"
picture "$PICS/a.jpg" 200x100 "$RED"
# 3000x2000: blue, with a yellow band 20 pixels wide just inside each edge of the screen's
# part (a centred cut of 2560x1600 starts at 220,200).
convert -size 3000x2000 "xc:$BLUE" -fill "$YELLOW" \
    -draw "rectangle 220,200 239,1799" -draw "rectangle 2760,200 2779,1799" \
    -draw "rectangle 220,200 2779,219" -draw "rectangle 220,1780 2779,1799" -quality 100 "$PICS/b.jpg"

start_xvfb
cd "$PICS"
start_varnel
wait_window 15 '^Varnel ver1\.0$'
MAIN=$WIN
# The layout is in logical pixels: each is two screen pixels here.
ROW1_X=$((2 * ($(tx 3120) + 40))) ROW1_Y=$((2 * ($(ty 120) + 9)))
CX=$((SCREEN_W / 2)) CY=$((SCREEN_H / 2))
click "$ROW1_X" "$ROW1_Y"
keys ctrl+d Down ctrl+d ctrl+p
wait_window 10 '^Form1$'
focus "$WIN"
keys space Right
wait_px 5 "$CX" "$CY" "$RED" "the 200x100 picture at the centre"
snap
expect_rect $((CX - 100)) $((CY - 50)) 200 100 "$RED" "200x100 picture"
# Its edges to the pixel: the first and last rows and columns are red, the next ones black.
expect_px $((CX - 100)) $((CY - 50)) "$RED" "top-left pixel"
expect_px $((CX + 99)) $((CY + 49)) "$RED" "bottom-right pixel"
expect_px $((CX - 101)) "$CY" "$BLACK" "left of the picture"
expect_px $((CX + 100)) "$CY" "$BLACK" "right of the picture"
expect_px "$CX" $((CY - 51)) "$BLACK" "above the picture"
expect_px "$CX" $((CY + 50)) "$BLACK" "below the picture"
if [[ -n ${E2E_SHOTS:-} ]]; then import -window root "$E2E_SHOTS/scale2.png"; fi
log "200x100 picture: 200x100 screen pixels at the centre"

keys Right
wait_px 5 "$CX" "$CY" "$BLUE" "the large picture"
snap
for point in "0 $CY" "10 $CY" "$((SCREEN_W - 1)) $CY" "$((SCREEN_W - 11)) $CY" \
    "$CX 0" "$CX 10" "$CX $((SCREEN_H - 1))" "$CX $((SCREEN_H - 11))"; do
    read -r x y <<<"$point"
    expect_px "$x" "$y" "$YELLOW" "the band just inside the screen's edge"
done
for point in "30 $CY" "$((SCREEN_W - 31)) $CY" "$CX 30" "$CX $((SCREEN_H - 31))"; do
    read -r x y <<<"$point"
    expect_px "$x" "$y" "$BLUE" "inside the band"
done
log "3000x2000 picture: cut equally at opposite sides"
keys Escape
wait_no_window 5 '^Form1$'
log "passed"
