#!/usr/bin/env bash
# A PNG, a TIFF, a WebP and a half-transparent PNG named on the command line are played in
# that order, each at its own size centred on the black screen; the transparent one is drawn
# over the black, a dark red.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

RED='#ff0000' GREEN='#00ff00' BLUE='#0000ff' DARK_RED='#800000'
PICS=$WORK/pictures
mkdir "$PICS"
picture "$PICS/1.png" 300x200 "$RED"
picture "$PICS/2.tiff" 200x300 "$GREEN"
picture "$PICS/3.webp" 240x160 "$BLUE"
picture "$PICS/4.png" 160x240 'rgba(255,0,0,0.5)'

start_xvfb
cd "$PICS"
"$VARNEL" 1.png 2.tiff 3.webp 4.png >>"$WORK/varnel.out" 2>>"$WORK/varnel.err" &
VARNEL_PID=$!
wait_window 15 '^Varnel ver1\.0$'
MAIN=$WIN
no_window '^varnel$' || fail "expected no message for four pictures"

CX=$((SCREEN_W / 2)) CY=$((SCREEN_H / 2))
focus "$MAIN"
keys ctrl+p
wait_window 10 '^Form1$'
# The default interval of 3 seconds: each in turn, at its own size.
for shown in "300 200 $RED PNG" "200 300 $GREEN TIFF" "240 160 $BLUE WebP" \
    "160 240 $DARK_RED PNG-with-alpha"; do
    read -r w h colour what <<<"$shown"
    wait_px 8 "$CX" "$CY" "$colour" "the $what picture"
    snap
    expect_rect $(((SCREEN_W - w) / 2)) $(((SCREEN_H - h) / 2)) "$w" "$h" "$colour" "$what picture"
    log "$what picture: $colour ${w}x$h centred"
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
