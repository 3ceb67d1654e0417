#!/usr/bin/env bash
# Files named on the command line: `varnel one.jpg two.jpg ...` starts with all in the play
# list, in that order, and Ctrl+P shows the red one, then the blue one, then a PNG, a TIFF, a
# WebP and a half-transparent PNG, drawn over the black. --help and --version answer
# without a display.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

RED='#ff0000' BLUE='#0000ff' BLACK='#000000'

out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$VARNEL" --help) ||
    fail "expected --help to succeed without a display"
[[ $out == *"Usage: varnel [FILE...]"* ]] || fail "expected the usage from --help, saw: $out"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$VARNEL" --version) ||
    fail "expected --version to succeed without a display"
[[ $out =~ ^varnel\ [0-9]+\.[0-9]+ ]] || fail "expected the version from --version, saw: $out"
log "--help and --version answer without a display"

PICS=$WORK/pictures
mkdir "$PICS"
# Named in the opposite order to their file names: the command line's order counts.
picture "$PICS/b-red.jpg" 300x200 "$RED"
picture "$PICS/a-blue.jpg" 200x300 "$BLUE"
picture "$PICS/3.png" 240x160 '#00ff00'
picture "$PICS/4.tiff" 160x240 "$RED"
picture "$PICS/5.webp" 240x160 "$BLUE"
picture "$PICS/6.png" 160x240 'rgba(255,0,0,0.5)'

start_xvfb
cd "$PICS"
"$VARNEL" b-red.jpg a-blue.jpg 3.png 4.tiff 5.webp 6.png >>"$WORK/varnel.out" 2>>"$WORK/varnel.err" &
VARNEL_PID=$!
wait_window 15 '^Varnel ver1\.0$'
MAIN=$WIN
log "main window $MAIN is up"
no_window '^varnel$' || fail "expected no message for six pictures"

CX=$((SCREEN_W / 2)) CY=$((SCREEN_H / 2))
focus "$MAIN"
keys ctrl+p
wait_window 10 '^Form1$'
# The default interval of 3 seconds: red first, then blue.
wait_px 8 "$CX" "$CY" "$RED" "the first picture named (red)"
expect_rect $(((SCREEN_W - 300) / 2)) $(((SCREEN_H - 200) / 2)) 300 200 "$RED" "first picture"
log "first picture: red"
wait_px 8 "$CX" "$CY" "$BLUE" "the second picture named (blue)"
expect_rect $(((SCREEN_W - 200) / 2)) $(((SCREEN_H - 300) / 2)) 200 300 "$BLUE" "second picture"
expect_px $(((SCREEN_W - 300) / 2 + 2)) "$CY" "$BLACK" "first picture's left edge, after the second"
log "second picture: blue"
for shown in "240 160 #00ff00 PNG" "160 240 $RED TIFF" "240 160 $BLUE WebP" "160 240 #800000 alpha"; do
    read -r w h colour what <<<"$shown"
    wait_px 8 "$CX" "$CY" "$colour" "the $what picture"
    expect_rect $(((SCREEN_W - w) / 2)) $(((SCREEN_H - h) / 2)) "$w" "$h" "$colour" "$what picture"
    log "$what picture: $colour ${w}x$h"
done

wait_window 8 '^varnel$'
focus "$WIN"
keys Return
wait_no_window 5 '^Form1$'
focus "$MAIN"
keys ctrl+e
wait_exit 10
expect_exit_status 0 "Ctrl+E after the show"
log "passed"
