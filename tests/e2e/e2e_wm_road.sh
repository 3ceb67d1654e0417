#!/usr/bin/env bash
# The road of a picture under a window manager (openbox), driven only with real keys and
# clicks and never by setting the focus directly: the main window is framed, its client area
# below the menu bar lands where its layout puts it, and the window can be neither resized nor
# maximised; the second file of the folder the program starts in is clicked, added with Ctrl+D
# and played with Ctrl+P; the show window covers the whole screen without a frame, above the
# main window, and shows the picture at its own size, centred; the end message comes, Return
# dismisses it, and the main window is back, active, and takes keys again.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

RED='#ff0000' BLUE='#0000ff' BLACK='#000000' WHITE='#ffffff'
PICS=$WORK/pictures
mkdir "$PICS"
# Listed in this order; the second one is the one played.
picture "$PICS/a.jpg" 200x100 "$RED"
picture "$PICS/b.jpg" 320x240 "$BLUE"

start_main_under_wm "$PICS"

# --- the main window under the window manager ----------------------------------------------

# Framed: reparented into a frame with a title bar.
frame_extents "$MAIN" || fail "the main window has no _NET_FRAME_EXTENTS: the window manager does not frame it"
((FRAME_T > 0)) || fail "the main window has no title bar: frame extents $FRAME_L $FRAME_R $FRAME_T $FRAME_B"
parent=$(xwininfo -children -id "$MAIN" | awk '/Parent window id:/ { print $4 }')
root=$(xwininfo -root | awk '/Window id:/ { print $4 }')
[[ $parent != "$root" ]] || fail "the main window is not reparented into a frame"
log "frame: left $FRAME_L, right $FRAME_R, top $FRAME_T, bottom $FRAME_B (left, right, top, bottom)"

# The client area (the window less its menu bar) at 2700,2310 twips, 10305 x 8400 twips.
window_geometry "$MAIN"
MAIN_X=$GEO_X MAIN_Y=$GEO_Y MAIN_W=$GEO_W MAIN_H=$GEO_H
want="x=$CLIENT_X, width 687, bottom at $((CLIENT_Y + 560)), top above $CLIENT_Y"
[[ $MAIN_X == "$CLIENT_X" && $MAIN_W == 687 && $((MAIN_Y + MAIN_H)) == $((CLIENT_Y + 560)) &&
    $MAIN_Y -lt $CLIENT_Y ]] ||
    fail "main window geometry: expected $want; saw ${MAIN_W}x${MAIN_H}+${MAIN_X}+${MAIN_Y}"
log "main window ${MAIN_W}x${MAIN_H}+${MAIN_X}+${MAIN_Y}: menu bar $((CLIENT_Y - MAIN_Y)) px, client area at ($CLIENT_X,$CLIENT_Y)"
snap
TITLE_X=$((MAIN_X + 150)) TITLE_Y=$((MAIN_Y - FRAME_T / 2))
expect_not_px "$TITLE_X" "$TITLE_Y" "$BLACK" "title bar of the main window's frame"

# Fixed size: the size hints pin it, and the window manager offers neither resizing nor
# maximising.
hints=$(xprop -id "$MAIN" WM_NORMAL_HINTS)
if ! grep -q "minimum size: $MAIN_W by $MAIN_H" <<<"$hints" ||
    ! grep -q "maximum size: $MAIN_W by $MAIN_H" <<<"$hints"; then
    fail "expected the size hints to fix the size at ${MAIN_W}x${MAIN_H}; saw: $(tr '\n\t' '  ' <<<"$hints")"
fi
actions=$(xprop -id "$MAIN" _NET_WM_ALLOWED_ACTIONS)
for action in _NET_WM_ACTION_RESIZE _NET_WM_ACTION_MAXIMIZE_HORZ _NET_WM_ACTION_MAXIMIZE_VERT; do
    [[ $actions != *"$action"* ]] || fail "the window manager allows $action on the main window: $actions"
done
[[ $actions == *_NET_WM_ACTION_CLOSE* ]] || fail "the window manager allows no closing of the main window: $actions"
log "size hints fix ${MAIN_W}x${MAIN_H}; allowed:${actions#*=}"

# Try anyway: a double-click on the title bar (maximise), an Alt+right-button drag (resize), and
# a resize request from a program. Then an Alt+left-button drag, which moves the window: once
# the move is seen, the window manager has handled every gesture before it.
pointer_to "$TITLE_X" "$TITLE_Y"
xdotool click --repeat 2 --delay 80 1
pointer_to $((MAIN_X + 600)) $((MAIN_Y + 500))
xdotool keydown alt mousedown 3 \
    mousemove --sync $((MAIN_X + 650)) $((MAIN_Y + 530)) \
    mousemove --sync $((MAIN_X + 700)) $((MAIN_Y + 560)) mouseup 3 keyup alt
xdotool windowsize "$MAIN" 900 700

window_at() {
    window_geometry "$MAIN"
    LAST_SEEN="${GEO_W}x${GEO_H}+${GEO_X}+${GEO_Y}"
    [[ $GEO_X == "$1" && $GEO_Y == "$2" ]]
}
# follow_drag PX PY WX WY (a wait_for check): nudges the held pointer a pixel off (PX,PY) and
# back, then whether the main window stands at (WX,WY). openbox starts a move on the first
# motion past its threshold and, when it is behind, folds the queued motions into that one, so
# a drag made of fixed steps can end before the window has followed it.
follow_drag() {
    xdotool mousemove --sync $(($1 + 1)) "$2" mousemove --sync "$1" "$2"
    window_at "$3" "$4"
}
# alt_drag X Y DX DY WX WY WHAT: an Alt+left-button drag from (X,Y) by (DX,DY), released once
# the main window stands at (WX,WY).
alt_drag() {
    pointer_to "$1" "$2"
    xdotool keydown alt mousedown 1
    wait_for 5 "$7" follow_drag $(($1 + $3)) $(($2 + $4)) "$5" "$6"
    xdotool mouseup 1 keyup alt
}
alt_drag $((MAIN_X + 300)) $((MAIN_Y + 300)) 40 30 $((MAIN_X + 40)) $((MAIN_Y + 30)) \
    "the main window moved by (40,30) with Alt+drag"
[[ $GEO_W == "$MAIN_W" && $GEO_H == "$MAIN_H" ]] ||
    fail "expected the main window to keep its size ${MAIN_W}x${MAIN_H} after maximise and resize attempts; saw ${GEO_W}x${GEO_H}"
states=$(wm_states "$MAIN")
[[ $states != *MAXIMIZED* ]] || fail "the main window is maximised: $states"
alt_drag $((MAIN_X + 340)) $((MAIN_Y + 330)) -40 -30 "$MAIN_X" "$MAIN_Y" \
    "the main window moved back to its place"
log "maximise and resize attempts left the size at ${MAIN_W}x${MAIN_H}; moved and back"

# --- browse, add, play ---------------------------------------------------------------------

# The list holds a.jpg and b.jpg. Click the first row to learn the height of a row from its
# highlight, then the second row.
LIST_X=$(($(tx 3120) + 40)) ROW1_Y=$(($(ty 120) + 9)) BLANK_X=$(($(tx 3120) + 160))
wait_for 5 "the main window to be active after the moves" is_active "$MAIN"
click "$LIST_X" "$ROW1_Y"
wait_for 5 "the first row of the file list to be highlighted" \
    pixel_is_not "$BLANK_X" "$ROW1_Y" "$WHITE"
snap
HIGHLIGHT=$(px "$BLANK_X" "$ROW1_Y")
row_top=$ROW1_Y row_bottom=$ROW1_Y
while near "$(px "$BLANK_X" $((row_top - 1)))" "$HIGHLIGHT" 24; do ((row_top--)); done
while near "$(px "$BLANK_X" $((row_bottom + 1)))" "$HIGHLIGHT" 24; do ((row_bottom++)); done
ROW_H=$((row_bottom - row_top + 1))
((ROW_H >= 8 && ROW_H <= 40)) || fail "expected the highlight of the first row to be 8 to 40 px high; saw $ROW_H"
ROW2_Y=$((ROW1_Y + ROW_H))
click "$LIST_X" "$ROW2_Y"
wait_for 5 "the second row of the file list to be highlighted" \
    pixel_is_not "$BLANK_X" "$ROW2_Y" "$WHITE"
expect_px "$BLANK_X" "$ROW1_Y" "$WHITE" "first row after a click on the second"
log "rows are $ROW_H px high; clicked the second file, b.jpg"

MAIN_PX=$(tx 10000) MAIN_PY=$(ty 3400)
MAIN_COLOUR=$(px "$MAIN_PX" "$MAIN_PY")
keys ctrl+d
START=$(now_us)
keys ctrl+p
wait_window 10 '^Form1$'
SHOW=$WIN
wait_px 5 $((SCREEN_W / 2)) $((SCREEN_H / 2)) "$BLACK" "the black show window over the screen centre"
log "show window $SHOW is up (after $(elapsed_since "$START")s)"

# The whole screen, no frame, full-screen, above the main window and active.
window_geometry "$SHOW"
[[ "$GEO_X $GEO_Y $GEO_W $GEO_H" == "0 0 $SCREEN_W $SCREEN_H" ]] ||
    fail "expected the show window to cover the screen, 0,0 ${SCREEN_W}x${SCREEN_H}; saw ${GEO_W}x${GEO_H}+${GEO_X}+${GEO_Y}"
frame_extents "$SHOW" || true
[[ "${FRAME_L:-0} ${FRAME_R:-0} ${FRAME_T:-0} ${FRAME_B:-0}" == "0 0 0 0" ]] ||
    fail "expected no frame around the show window; frame extents $FRAME_L $FRAME_R $FRAME_T $FRAME_B"
wait_for 5 "the show window above the main window" is_above "$SHOW" "$MAIN"
wait_for 5 "the show window to be active" is_active "$SHOW"
states=$(wm_states "$SHOW")
snap
for point in "2 2" "$((SCREEN_W - 3)) $((SCREEN_H - 3))" "$TITLE_X $TITLE_Y" \
    "$MAIN_PX $MAIN_PY" "$((CLIENT_X + 2)) $((CLIENT_Y + 2))"; do
    read -r x y <<<"$point"
    expect_px "$x" "$y" "$BLACK" "show window before its first picture, over the main window and its frame"
done
log "show window: 0,0 ${SCREEN_W}x${SCREEN_H}, no frame, above the main window, states: $states"

# The picture at its own size, in the middle of the screen.
wait_px 6 $((SCREEN_W / 2)) $((SCREEN_H / 2)) "$BLUE" "the picture b.jpg at the screen centre"
PIC_AT=$(elapsed_since "$START")
expect_rect $(((SCREEN_W - 320) / 2)) $(((SCREEN_H - 240) / 2)) 320 240 "$BLUE" "picture b.jpg"
log "picture: blue 320x240 centred (after ${PIC_AT}s)"

# The end message, active, over the show and the picture; Return dismisses it.
wait_window 6 '^varnel$'
MESSAGE=$WIN
log "end message $MESSAGE is up (after $(elapsed_since "$START")s)"
wait_for 5 "the end message to be active" is_active "$MESSAGE"
is_above "$MESSAGE" "$SHOW" || fail "expected the end message above the show window; $LAST_SEEN"
snap
expect_px $(((SCREEN_W - 320) / 2 + 4)) $(((SCREEN_H - 240) / 2 + 4)) "$BLUE" \
    "the picture behind the end message"
keys Return
wait_no_window 5 '^varnel$'
wait_no_window 5 '^Form1$'
wait_for 5 "the main window to be active again" is_active "$MAIN"
wait_px 5 "$MAIN_PX" "$MAIN_PY" "$MAIN_COLOUR" "the main window back on screen"
varnel_running || fail "expected varnel to keep running after the show, it ended"
log "show closed; the main window is back and active"

# It takes keys: Ctrl+O opens the settings dialog, Alt+F4 (the window manager) closes it,
# Ctrl+E ends the program.
keys ctrl+o
wait_window 5 '^Varnel ver1\.0 \(設定）$'
SETTINGS=$WIN
wait_for 5 "the settings dialog to be active" is_active "$SETTINGS"
keys alt+F4
wait_no_window 5 '^Varnel ver1\.0 \(設定）$'
wait_for 5 "the main window to be active after the dialog" is_active "$MAIN"
keys ctrl+e
wait_exit 10
expect_exit_status 0 "Ctrl+E after the show"
log "passed"
