#!/usr/bin/env bash
# A picture whose file never opens (a share that has stopped answering) in a show: the window
# goes on answering, gives the picture up with its notice and plays on; Esc while the file is
# read again closes the show at once.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
[[ -f ${VARNEL_STUCK_OPEN:-} ]] || skip "needs the stuckopen library the build makes"
SHIM=$(realpath "$VARNEL_STUCK_OPEN") # the program starts in another folder
PICS=$WORK/pictures X=500 Y=422       # inside the pictures, clear of the notice's text
mkdir "$PICS"
for p in a:'#ff0000' b-dead:'#0000ff' c:'#00ff00'; do
    picture "$PICS/${p%:*}.jpg" 300x200 "${p#*:}"
done
start_xvfb
cd "$PICS"
LD_PRELOAD=$SHIM VARNEL_STUCK=/b-dead.jpg start_varnel
wait_window 15 '^Varnel ver1\.0$'
MAIN=$WIN
click $(($(tx 3120) + 40)) $(($(ty 120) + 9))
keys ctrl+d Down ctrl+d Down ctrl+d ctrl+p
wait_window 10 '^Form1$'
focus "$WIN"
keys space Right # paused: only the keys step
wait_px 5 $X $Y '#ff0000' "Right: the first picture"
keys Right
wait_px 20 $X $Y '#000000' "the file that never opens given up: its notice"
keys Right
wait_px 10 $X $Y '#00ff00' "Right: the show goes on with the third picture"
keys Left Escape
wait_no_window 5 '^Form1$'
focus "$MAIN"
keys ctrl+e
wait_exit 10
expect_exit_status 0 "Ctrl+E after the show"
log "passed"
