#!/usr/bin/env bash
# The keyboard alone picks the first file: from the start focus on the drive list, Tab, Tab
# reach the file list, where only a focus frame sits on the first file; Down selects that first
# file (not the second), Ctrl+D adds it, Ctrl+P plays it at its own size, centred.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

RED='#ff0000' BLUE='#0000ff'
PICS=$WORK/pictures
mkdir "$PICS"
picture "$PICS/first.jpg" 240x160 "$RED"
picture "$PICS/second.jpg" 160x240 "$BLUE"

start_xvfb
cd "$PICS"
start_varnel
wait_window 15 '^Varnel ver1\.0$'
log "main window $WIN is up"

keys Tab Tab Down ctrl+d ctrl+p
wait_window 10 '^Form1$'
CX=$((SCREEN_W / 2)) CY=$((SCREEN_H / 2))
wait_px 10 "$CX" "$CY" "$RED" "the first file (red) at the screen centre"
expect_rect $(((SCREEN_W - 240) / 2)) $(((SCREEN_H - 160) / 2)) 240 160 "$RED" "first picture"
log "Tab Tab Down Ctrl+D Ctrl+P: the first file is shown, 240x160 centred"

# The end message comes over the first picture: one entry was added, not two, not an empty one.
wait_window 10 '^varnel$'
snap
expect_px "$CX" "$CY" "$RED" "the first file behind the end message"
keys Return
wait_no_window 5 '^Form1$'
stop_varnel
log "passed"
