#!/usr/bin/env bash
# A picture whose file never opens (a share that has stopped answering) in the middle of a
# show: while the show waits for it, the window still answers its keys; the picture is given
# up with its notice and the show goes on; stepping back onto it and pressing Esc closes the
# show, and the program ends normally.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

[[ -n ${VARNEL_STUCK_OPEN:-} && -f $VARNEL_STUCK_OPEN ]] ||
    skip "needs the stuckopen library the build makes (VARNEL_STUCK_OPEN)"
SHIM=$(realpath "$VARNEL_STUCK_OPEN")  # the program starts in another folder

RED='#ff0000' BLUE='#0000ff' GREEN='#00ff00' BLACK='#000000'
PICS=$WORK/pictures
mkdir "$PICS"
picture "$PICS/a.jpg" 300x200 "$RED"
picture "$PICS/b-dead.jpg" 300x200 "$BLUE"
picture "$PICS/c.jpg" 300x200 "$GREEN"

start_xvfb
cd "$PICS"
LD_PRELOAD=$SHIM VARNEL_STUCK=/b-dead.jpg start_varnel
wait_window 15 '^Varnel ver1\.0$'
MAIN=$WIN
CX=$((SCREEN_W / 2)) CY=$((SCREEN_H / 2))
# Inside the pictures, clear of the notice's text across the middle.
PX=$((CX - 140)) PY=$((CY - 90))
NOTE_X=$((SCREEN_W - 116)) NOTE_Y=16 NOTE_W=100 NOTE_H=20

click $(($(tx 3120) + 40)) $(($(ty 120) + 9))
keys ctrl+d Down ctrl+d Down ctrl+d
focus "$MAIN"
keys ctrl+p
wait_window 10 '^Form1$'
SHOW=$WIN
focus "$SHOW"
pause_shown() {
    snap || return 1
    LAST_SEEN="the pause notice's corner: $(region_sum "$NOTE_X" "$NOTE_Y" "$NOTE_W" "$NOTE_H")"
    [[ $(region_sum "$NOTE_X" "$NOTE_Y" "$NOTE_W" "$NOTE_H") != \
        "$(region_sum 16 $((SCREEN_H - 36)) "$NOTE_W" "$NOTE_H")" ]]
}
keys space
wait_for 5 "the pause notice" pause_shown
keys Right
wait_px 5 "$PX" "$PY" "$RED" "Right: the first picture"

keys Right
log "Right onto the picture that never opens"
keys space
wait_for 5 "Space acted on while the picture is read: the pause notice gone" eval '! pause_shown'
keys space
wait_for 5 "Space again: the pause notice back" pause_shown
expect_px "$PX" "$PY" "$RED" "the first picture still up while the next is read"
wait_px 20 "$PX" "$PY" "$BLACK" "the picture given up: its notice in place of the first"
log "the window answered while waiting; the picture was given up with its notice"

keys Right
wait_px 10 "$PX" "$PY" "$GREEN" "Right: the show goes on with the third picture"
keys Left
keys Escape
wait_no_window 5 '^Form1$'
log "Esc while the picture that never opens is read again: the show closed"

focus "$MAIN"
keys ctrl+e
wait_exit 10
expect_exit_status 0 "Ctrl+E after the show"
log "passed"
