#!/usr/bin/env bash
# A picture whose file never opens (a share that has stopped answering) in a show: a newer step
# replaces it, it is given up with its notice, and Esc while it is read closes the show.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
[[ -f ${VARNEL_STUCK_OPEN:-} ]] || skip "needs the stuckopen library the build makes"
SHIM=$(realpath "$VARNEL_STUCK_OPEN") PICS=$WORK/pictures X=500 Y=422 # clear of the notice
mkdir "$PICS"
for p in a:'#ff0000' b-dead:'#0000ff' c:'#00ff00'; do
    picture "$PICS/${p%:*}.jpg" 300x200 "${p#*:}"
done
start_xvfb
cd "$PICS" # the shim's name is absolute: the program starts here
LD_PRELOAD=$SHIM VARNEL_STUCK=/b-dead.jpg start_varnel
wait_window 15 '^Varnel ver1\.0$'
click $(($(tx 3120) + 40)) $(($(ty 120) + 9))
keys ctrl+d Down ctrl+d Down ctrl+d ctrl+p
wait_window 10 '^Form1$'
focus "$WIN"
keys space Right # paused: only the keys step
wait_px 5 $X $Y '#ff0000' "Right: the first picture"
keys Right Right # the file that never opens, replaced by the next while it is read
wait_px 20 $X $Y '#00ff00' "the third picture, once the stuck read is left behind"
keys Left
wait_px 20 $X $Y '#000000' "Left: the file that never opens given up, its notice shown"
keys Right Left Escape # Esc while it is read again
wait_no_window 5 '^Form1$'
log "passed"
