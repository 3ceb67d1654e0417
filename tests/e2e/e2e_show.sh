#!/usr/bin/env bash
# A whole slide show driven from the keyboard: two pictures added to the play list with
# Ctrl+D, the interval set to 1 second in the settings dialog (Ctrl+O), then Ctrl+P. The show
# fills the screen with black, shows each picture at its own size centred on the screen, in
# play-list order, one interval each, then announces the end; Return closes it and the main
# window is back.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

RED='#ff0000' BLUE='#0000ff' BLACK='#000000'
PICS=$WORK/pictures
mkdir "$PICS"
# Listed (and added) in this order: the red one first.
picture "$PICS/one.jpg" 300x200 "$RED"
picture "$PICS/two.jpg" 200x300 "$BLUE"

start_xvfb
cd "$PICS"
start_varnel
wait_window 15 '^Varnel ver1\.0$'
MAIN=$WIN
log "main window $MAIN is up"

CX=$((SCREEN_W / 2)) CY=$((SCREEN_H / 2))
# A point of the main window away from everything that opens over it.
MAIN_PX=$(tx 10000) MAIN_PY=$(ty 3400)
ROW1_X=$(($(tx 3120) + 40)) ROW1_Y=$(($(ty 120) + 9))

# Add both files: select the first with the mouse, the second with the arrow key.
click "$ROW1_X" "$ROW1_Y"
keys ctrl+d Down ctrl+d

# Interval 1 second: the dialog opens with the focus in its text box, which shows 3.
keys ctrl+o
wait_window 10 '^Varnel ver1\.0 \(設定）$'
SETTINGS=$WIN
log "settings dialog $SETTINGS is open"
keys ctrl+a BackSpace 1 Tab space
wait_no_window 10 '^Varnel ver1\.0 \(設定）$'
log "interval set to 1 second"

# The closed dialog leaves no window with the focus; give it back to the main window.
focus "$MAIN"
snap
MAIN_COLOUR=$(px "$MAIN_PX" "$MAIN_PY")
START=$(now_us)
keys ctrl+p
wait_window 10 '^Form1$'
SHOW=$WIN
wait_px 5 "$CX" "$CY" "$BLACK" "the black slide-show window over the screen centre"
BLACK_AT=$(elapsed_since "$START")
# Black all over, the main window covered too.
for point in "5 5" "$((SCREEN_W - 5)) $((SCREEN_H - 5))" "$MAIN_PX $MAIN_PY" \
    "$((CLIENT_X + 2)) $((CLIENT_Y + 2))"; do
    read -r x y <<<"$point"
    expect_px "$x" "$y" "$BLACK" "slide-show window before the first picture"
done
log "show window $SHOW is black (after ${BLACK_AT}s)"

# pixel_before X Y WANT UNWANTED: waits for WANT, failing at once on UNWANTED (out of order).
pixel_before() {
    snap || return 1
    local seen
    seen=$(px "$1" "$2")
    LAST_SEEN="$seen at ($1,$2)"
    if near "$seen" "$4"; then fail "expected $3 at ($1,$2) before $4, saw $4 first"; fi
    near "$seen" "$3"
}

# Picture 1, red, 300 x 200, at its own size in the middle of the 1280 x 1024 screen.
wait_for 5 "the first picture (red) at the screen centre" pixel_before "$CX" "$CY" "$RED" "$BLUE"
RED_AT=$(elapsed_since "$START")
expect_rect $(((SCREEN_W - 300) / 2)) $(((SCREEN_H - 200) / 2)) 300 200 "$RED" "first picture"
log "first picture: red 300x200 centred (after ${RED_AT}s)"

# Picture 2, blue, 200 x 300, in place of the first.
wait_px 5 "$CX" "$CY" "$BLUE" "the second picture (blue) at the screen centre"
BLUE_AT=$(elapsed_since "$START")
expect_rect $(((SCREEN_W - 200) / 2)) $(((SCREEN_H - 300) / 2)) 200 300 "$BLUE" "second picture"
# Nothing of the first picture is left where it stuck out beyond the second.
expect_px $(((SCREEN_W - 300) / 2 + 2)) "$CY" "$BLACK" "first picture's left edge, after the second"
log "second picture: blue 200x300 centred (after ${BLUE_AT}s)"

# The ticks come one interval (1 second, not the default 3) apart.
awk -v r="$RED_AT" -v b="$BLUE_AT" 'BEGIN { exit !(r >= 0.5 && r <= 2.5 && b - r >= 0.5 && b - r <= 2.0) }' ||
    fail "expected the pictures about 1 s apart from the start of the show; saw red after ${RED_AT}s, blue after ${BLUE_AT}s"

# One interval later: the end message over the last picture.
wait_window 5 '^varnel$'
MESSAGE=$WIN
END_AT=$(elapsed_since "$START")
log "end message $MESSAGE is up (after ${END_AT}s)"
snap
expect_px $(((SCREEN_W - 200) / 2 + 4)) $(((SCREEN_H - 300) / 2 + 4)) "$BLUE" \
    "last picture behind the end message"
focus "$MESSAGE"
keys Return
wait_no_window 5 '^varnel$'
wait_no_window 5 '^Form1$'
wait_window 5 '^Varnel ver1\.0$'
wait_px 5 "$MAIN_PX" "$MAIN_PY" "$MAIN_COLOUR" "the main window back on screen"
log "show closed, main window back"
varnel_running || fail "expected varnel to keep running after the show, it ended"

focus "$MAIN"
keys ctrl+e
wait_exit 10
expect_exit_status 0 "Ctrl+E after the show"
log "passed"
