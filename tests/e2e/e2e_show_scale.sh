#!/usr/bin/env bash
# High-density screen: Xvfb 2560x1600, the program at QT_SCALE_FACTOR=2. A 200x100 picture
# covers exactly 200x100 screen pixels at the centre of the show. E2E_SHOTS: a folder to keep
# a screenshot in.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

SCREEN_W=2560 SCREEN_H=1600 E2E_SCALE_FACTOR=2
RED='#ff0000' BLACK='#000000'
PICS=$WORK/pictures
mkdir "$PICS"
picture "$PICS/a.jpg" 200x100 "$RED"
start_xvfb
cd "$PICS"
start_varnel
wait_window 15 '^Varnel ver1\.0$'
MAIN=$WIN
# The layout is in logical pixels: each is two screen pixels here.
ROW1_X=$((2 * ($(tx 3120) + 40))) ROW1_Y=$((2 * ($(ty 120) + 9)))
CX=$((SCREEN_W / 2)) CY=$((SCREEN_H / 2))
click "$ROW1_X" "$ROW1_Y"
keys ctrl+d ctrl+p
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

keys Escape
wait_no_window 5 '^Form1$'
log "passed"
