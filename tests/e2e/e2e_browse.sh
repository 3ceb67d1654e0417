#!/usr/bin/env bash
# Browsing and preview: the program started in a folder of pictures lists its *.jpg files
# (upper-case extensions included, sorted by name regardless of case), and previews the file
# selected with the mouse or the arrow keys, stretched to the preview box, once the preview box
# is ticked.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

GREEN='#00ff00' BLUE='#0000ff' RED='#ff0000'
PICS=$WORK/pictures
mkdir "$PICS"
# Listed order: apple, Banana, cherry. A case-sensitive sort would put Banana first; the BMP
# and GIF files would come first if the start-up pattern did not filter them out.
picture "$PICS/apple.jpg" 300x100 "$GREEN"
picture "$PICS/Banana.JPG" 120x240 "$BLUE"
picture "$PICS/cherry.jpg" 200x200 "$RED"
picture "$PICS/0first.bmp" 50x50 '#ffff00'
picture "$PICS/00second.gif" 50x50 '#ff00ff'

start_xvfb
cd "$PICS"
start_varnel
wait_window 15 '^Varnel ver1\.0$'
MAIN=$WIN
log "main window $MAIN is up"

# The window sits where its layout puts it: client area at 2700,2310 twips, 10305 x 8400
# twips, with the menu bar above the client area.
window_geometry "$MAIN"
want="x=$CLIENT_X, width 687, bottom at $((CLIENT_Y + 560)), top above $CLIENT_Y"
[[ $GEO_X == "$CLIENT_X" && $GEO_W == 687 && $((GEO_Y + GEO_H)) == $((CLIENT_Y + 560)) &&
    $GEO_Y -lt $CLIENT_Y ]] ||
    fail "main window geometry: expected $want; saw ${GEO_W}x${GEO_H}+${GEO_X}+${GEO_Y}"

# Preview box imP1 (7080,4080; 2535 x 2895 twips) with a one-pixel border: its centre and two
# corners just inside the border.
PV_X=$(tx 7080) PV_Y=$(ty 4080) PV_W=$((2535 / 15)) PV_H=$((2895 / 15))
PV_CX=$((PV_X + PV_W / 2)) PV_CY=$((PV_Y + PV_H / 2))
# The first row of the file list (3120,120 twips) and the preview check box's caption.
ROW1_X=$(($(tx 3120) + 40)) ROW1_Y=$(($(ty 120) + 9))
ROW1_BLANK_X=$(($(tx 3120) + 160))
CKP_X=$(($(tx 7200) + 60)) CKP_Y=$(($(ty 3600) + 16))

snap
EMPTY=$(px "$PV_CX" "$PV_CY")
for colour in "$GREEN" "$BLUE" "$RED"; do
    expect_not_px "$PV_CX" "$PV_CY" "$colour" "preview at start-up (empty)"
done

# Preview unticked: a click selects the first file, the preview stays empty.
click "$ROW1_X" "$ROW1_Y"
wait_for 5 "the first row of the file list to be highlighted" \
    pixel_is_not "$ROW1_BLANK_X" "$ROW1_Y" '#ffffff'
expect_px "$PV_CX" "$PV_CY" "$EMPTY" "preview after a click with the preview box unticked"
log "click with the preview off leaves the preview empty"

# Tick the preview box, come back to the file list and move through it with the arrow keys.
click "$CKP_X" "$CKP_Y"
click "$ROW1_X" "$ROW1_Y"
keys Down
wait_px 5 "$PV_CX" "$PV_CY" "$BLUE" "preview of the second listed file, Banana.JPG"
log "Down: Banana.JPG (upper-case extension, listed second) previewed"
keys Up
wait_px 5 "$PV_CX" "$PV_CY" "$GREEN" "preview of the first listed file, apple.jpg"
# Stretched to the whole box whatever the picture's proportions (300 x 100 here).
expect_px $((PV_X + 3)) $((PV_Y + 3)) "$GREEN" "preview stretched, top-left corner of the box"
expect_px $((PV_X + PV_W - 4)) $((PV_Y + PV_H - 4)) "$GREEN" \
    "preview stretched, bottom-right corner of the box"
log "Up: apple.jpg (first listed) previewed, filling the box"
keys Down Down
wait_px 5 "$PV_CX" "$PV_CY" "$RED" "preview of the third listed file, cherry.jpg"
log "Down Down: cherry.jpg previewed"

keys ctrl+e
wait_exit 10
expect_exit_status 0 "Ctrl+E"
log "passed"
