#!/usr/bin/env bash
# A picture larger than the screen, played under a window manager (openbox): it is shown at its
# own size with its centre on the screen's centre, so its edges are cut off equally at opposite
# sides. The 1400 x 1100 picture on the 1280 x 1024 screen sits at (-60,-38): a 10-pixel band
# of its own colour at each side, just inside the part that is cut off, must land exactly on
# the first and last 10 pixel rows and columns of the screen.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

PIC_W=1400 PIC_H=1100
CUT_X=$(((PIC_W - SCREEN_W) / 2)) CUT_Y=$(((PIC_H - SCREEN_H) / 2)) # 60 and 38
OUTSIDE='#ff00ff' INSIDE='#808080' MARK='#00ffff'
LEFT='#ff0000' RIGHT='#00ff00' TOP='#0000ff' BOTTOM='#ffff00'
PICS=$WORK/pictures
mkdir "$PICS"

# Magenta is what must be cut off; grey is the visible part, framed by the four bands; a cyan
# square marks the picture's centre.
convert -size "${PIC_W}x${PIC_H}" "xc:$OUTSIDE" \
    -fill "$INSIDE" -draw "rectangle $CUT_X,$CUT_Y $((PIC_W - CUT_X - 1)),$((PIC_H - CUT_Y - 1))" \
    -fill "$LEFT" -draw "rectangle $CUT_X,$((CUT_Y + 10)) $((CUT_X + 9)),$((PIC_H - CUT_Y - 11))" \
    -fill "$RIGHT" -draw "rectangle $((PIC_W - CUT_X - 10)),$((CUT_Y + 10)) $((PIC_W - CUT_X - 1)),$((PIC_H - CUT_Y - 11))" \
    -fill "$TOP" -draw "rectangle $CUT_X,$CUT_Y $((PIC_W - CUT_X - 1)),$((CUT_Y + 9))" \
    -fill "$BOTTOM" -draw "rectangle $CUT_X,$((PIC_H - CUT_Y - 10)) $((PIC_W - CUT_X - 1)),$((PIC_H - CUT_Y - 1))" \
    -fill "$MARK" -draw "rectangle $((PIC_W / 2 - 10)),$((PIC_H / 2 - 10)) $((PIC_W / 2 + 9)),$((PIC_H / 2 + 9))" \
    -quality 100 "$PICS/large.jpg"

start_main_under_wm "$PICS"

click "$(($(tx 3120) + 40))" "$(($(ty 120) + 9))"
keys ctrl+d
# An interval of 8 seconds, so that the checks below are done before the end message comes
# even on a busy machine.
keys ctrl+o
wait_window 10 '^Varnel ver1\.0 \(設定）$'
keys ctrl+a BackSpace 8 Tab space
wait_no_window 10 '^Varnel ver1\.0 \(設定）$'
focus "$MAIN"
START=$(now_us)
keys ctrl+p
wait_window 20 '^Form1$'
SHOW=$WIN
CX=$((SCREEN_W / 2)) CY=$((SCREEN_H / 2))
wait_px 20 "$CX" "$CY" "$MARK" "the centre mark of the large picture at the screen centre"
log "large picture on screen (after $(elapsed_since "$START")s)"
snap
window_geometry "$SHOW"
[[ "$GEO_X $GEO_Y $GEO_W $GEO_H" == "0 0 $SCREEN_W $SCREEN_H" ]] ||
    fail "expected the show window to cover the screen, 0,0 ${SCREEN_W}x${SCREEN_H}; saw ${GEO_W}x${GEO_H}+${GEO_X}+${GEO_Y}"

# The centre mark: 20 x 20 around the screen's centre, grey beyond it.
expect_px $((CX - 9)) $((CY - 9)) "$MARK" "centre mark, top-left"
expect_px $((CX + 8)) $((CY + 8)) "$MARK" "centre mark, bottom-right"
expect_px $((CX - 14)) "$CY" "$INSIDE" "left of the centre mark"
expect_px $((CX + 13)) "$CY" "$INSIDE" "right of the centre mark"

# The bands on the screen's edges, first and last pixel of each, and the grey next to them;
# nothing of the magenta beyond them.
L=0 R=$((SCREEN_W - 1)) T=0 B=$((SCREEN_H - 1))
for y in 20 "$CY" $((SCREEN_H - 21)); do
    expect_px "$L" "$y" "$LEFT" "left band at the screen's left edge (picture x $CUT_X)"
    expect_px $((L + 9)) "$y" "$LEFT" "left band, its last column (picture x $((CUT_X + 9)))"
    expect_px $((L + 10)) "$y" "$INSIDE" "grey just right of the left band"
    expect_px "$R" "$y" "$RIGHT" "right band at the screen's right edge"
    expect_px $((R - 9)) "$y" "$RIGHT" "right band, its first column"
    expect_px $((R - 10)) "$y" "$INSIDE" "grey just left of the right band"
done
for x in 20 "$CX" $((SCREEN_W - 21)); do
    expect_px "$x" "$T" "$TOP" "top band at the screen's top edge (picture y $CUT_Y)"
    expect_px "$x" $((T + 9)) "$TOP" "top band, its last row (picture y $((CUT_Y + 9)))"
    expect_px "$x" $((T + 10)) "$INSIDE" "grey just below the top band"
    expect_px "$x" "$B" "$BOTTOM" "bottom band at the screen's bottom edge"
    expect_px "$x" $((B - 9)) "$BOTTOM" "bottom band, its first row"
    expect_px "$x" $((B - 10)) "$INSIDE" "grey just above the bottom band"
done
for point in "0 0" "$R 0" "0 $B" "$R $B"; do
    read -r x y <<<"$point"
    expect_not_px "$x" "$y" "$OUTSIDE" "screen corner ($x,$y): the cut-off part of the picture"
done
log "picture at (-$CUT_X,-$CUT_Y): cut by $CUT_X px left and right, $CUT_Y px top and bottom"

# A close request from the window manager ends the show; the main window is back.
wait_for 5 "the show window to be active" is_active "$SHOW"
keys alt+F4
wait_no_window 5 '^Form1$'
wait_for 5 "the main window to be active again" is_active "$MAIN"
keys ctrl+e
wait_exit 10
expect_exit_status 0 "Ctrl+E after the show"
log "passed"
