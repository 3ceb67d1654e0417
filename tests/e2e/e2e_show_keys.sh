#!/usr/bin/env bash
# The show's keys (Space pauses with a notice, Right/Page Down and Left/Page Up step, Esc stops
# without the end message, Right on the last picture ends), then a 2560x2048 picture fitted
# whole to the 1280x1024 screen. E2E_SHOTS: a folder to keep screenshots in.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

RED='#ff0000' BLUE='#0000ff' GREEN='#00ff00' MAGENTA='#ff00ff' BLACK='#000000'
PICS=$WORK/pictures
mkdir "$PICS"
picture "$PICS/a.jpg" 300x200 "$RED"
picture "$PICS/b.jpg" 200x300 "$BLUE"
picture "$PICS/c.jpg" 100x100 "$GREEN"
convert -size 2480x1968 "xc:$GREEN" -bordercolor "$MAGENTA" -border 40 -quality 100 "$PICS/d.jpg"

keep_shot() { if [[ -n ${E2E_SHOTS:-} ]]; then import -window root "$E2E_SHOTS/$1.png"; fi; }

start_xvfb
cd "$PICS"
start_varnel
wait_window 15 '^Varnel ver1\.0$'
MAIN=$WIN
CX=$((SCREEN_W / 2)) CY=$((SCREEN_H / 2))
MAIN_PX=$(tx 10000) MAIN_PY=$(ty 3400)
ROW1_X=$(($(tx 3120) + 40)) ROW1_Y=$(($(ty 120) + 9))
# The pause notice's corner of the screen.
NOTE_X=$((SCREEN_W - 116)) NOTE_Y=16 NOTE_W=100 NOTE_H=20

click "$ROW1_X" "$ROW1_Y"
keys ctrl+d Down ctrl+d Down ctrl+d
snap
MAIN_COLOUR=$(px "$MAIN_PX" "$MAIN_PY")

# open_show: plays the list and pauses it before the first tick; the show has the keys.
open_show() {
    focus "$MAIN"
    keys ctrl+p
    wait_window 10 '^Form1$'
    SHOW=$WIN
    focus "$SHOW"
    keys space
    wait_px 3 "$CX" "$CY" "$BLACK" "the black show, paused"
}
step() { keys "$1" && wait_px 5 "$CX" "$CY" "$2" "$3"; }
notice_shown() {
    snap || return 1
    LAST_SEEN="the notice's corner: $(region_sum "$NOTE_X" "$NOTE_Y" "$NOTE_W" "$NOTE_H")"
    [[ $(region_sum "$NOTE_X" "$NOTE_Y" "$NOTE_W" "$NOTE_H") != \
        "$(region_sum 16 $((SCREEN_H - 36)) "$NOTE_W" "$NOTE_H")" ]]
}
picture_stays() { pixel_is "$CX" "$CY" "$1"; }

open_show
wait_for 3 "the pause notice in the top right corner" notice_shown
step Right "$RED" "Right: the first picture"
step Right "$BLUE" "Right: the second picture"
step Prior "$RED" "Page Up: back to the first"
keys Left
keep_shot paused
holds 4 "the first picture, paused longer than the interval" picture_stays "$RED"
log "paused: the notice shows, Right and Left step, no tick comes"
keys space
wait_for 3 "the pause notice gone" eval '! notice_shown'
wait_px 6 "$CX" "$CY" "$BLUE" "the next tick after the resume"
keys Escape
wait_no_window 5 '^Form1$'
no_window '^varnel$' || fail "Esc: expected no end message"
wait_px 5 "$MAIN_PX" "$MAIN_PY" "$MAIN_COLOUR" "the main window back after Esc"
log "Esc: the show closed at once, the main window is back"

open_show
step Right "$RED" "second show: the first picture"
step Right "$BLUE" "second show: the second picture"
step Next "$GREEN" "second show: the third picture (Page Down)"
keys Right
wait_window 5 '^varnel$'
focus "$WIN"
keys Return
wait_no_window 5 '^Form1$'
log "the list plays again whole; Right on the last picture gives the end message"

# Only the large picture, fitted: 新規選択, the fourth file, then the tick item in 再生(P).
focus "$MAIN"
keys ctrl+s
click "$ROW1_X" "$ROW1_Y"
keys Down Down Down ctrl+d alt+p Up Up Up Up Up Up Return
open_show
keys Right
wait_px 5 "$CX" "$CY" "$GREEN" "the large picture"
snap
for point in "4 $CY" "$((SCREEN_W - 5)) $CY" "$CX 4" "$CX $((SCREEN_H - 5))" "4 4"; do
    read -r x y <<<"$point"
    expect_px "$x" "$y" "$MAGENTA" "the fitted picture's border at the screen's edge"
done
for point in "30 $CY" "$((SCREEN_W - 31)) $CY" "$CX 30" "$CX $((SCREEN_H - 31))"; do
    read -r x y <<<"$point"
    expect_px "$x" "$y" "$GREEN" "the fitted picture inside its border"
done
keep_shot fit
log "fitted: the whole border of the 2560x2048 picture on the 1280x1024 screen"
keys Escape
wait_no_window 5 '^Form1$'
focus "$MAIN"
keys ctrl+e
wait_exit 10
expect_exit_status 0 "Ctrl+E after the shows"
log "passed"
