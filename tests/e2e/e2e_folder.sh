#!/usr/bin/env bash
# A folder named on the command line: its pictures, and those of the folders inside it, go to
# the play list in natural name order (img2 before img10, then the subfolder's), the file that
# is no picture is counted in one message, and an unknown option is reported on standard error
# while the program starts all the same. The show plays them in that order.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

RED='#ff0000' BLUE='#0000ff' GREEN='#00ff00'
PICS=$WORK/holiday
mkdir -p "$PICS/sub"
picture "$PICS/img10.jpg" 200x300 "$BLUE"
picture "$PICS/img2.jpg" 300x200 "$RED"
picture "$PICS/sub/img1.jpg" 250x250 "$GREEN"
echo "notes" >"$PICS/notes.txt"

start_xvfb
"$VARNEL" --bogus "$PICS" >>"$WORK/varnel.out" 2>>"$WORK/varnel.err" &
VARNEL_PID=$!
wait_window 15 '^Varnel ver1\.0$'
MAIN=$WIN
grep -q "unknown option '--bogus'" "$WORK/varnel.err" ||
    fail "expected --bogus reported on standard error, saw: $(cat "$WORK/varnel.err")"
wait_window 10 '^varnel$'
focus "$WIN"
keys Return
wait_no_window 5 '^varnel$'
log "folder read; the file that is no picture counted; --bogus reported"

# Interval 1 second.
focus "$MAIN"
keys ctrl+o
wait_window 10 '^Varnel ver1\.0 \(設定）$'
keys ctrl+a BackSpace 1 Tab space
wait_no_window 10 '^Varnel ver1\.0 \(設定）$'

CX=$((SCREEN_W / 2)) CY=$((SCREEN_H / 2))
focus "$MAIN"
keys ctrl+p
wait_window 10 '^Form1$'
wait_px 8 "$CX" "$CY" "$RED" "img2 (red) first"
wait_px 8 "$CX" "$CY" "$BLUE" "img10 (blue) second"
wait_px 8 "$CX" "$CY" "$GREEN" "sub/img1 (green) third"
log "played in natural order, folder by folder"
wait_window 8 '^varnel$'
focus "$WIN"
keys Return
wait_no_window 5 '^Form1$'
focus "$MAIN"
keys ctrl+e
wait_exit 10
expect_exit_status 0 "Ctrl+E after the show"
log "passed"
