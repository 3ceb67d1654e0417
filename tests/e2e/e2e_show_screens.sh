#!/usr/bin/env bash
# Which screen the show fills, and a display whose only output is switched off. Xvfb gives
# one 2560x1024 output, split by RandR into two monitors side by side: with the main window
# moved to the right-hand one, the show fills that one and centres its picture there. Then,
# on one monitor again, the output is switched off: the show and its end message still open,
# and once the output is back a show plays as before.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

SCREEN_W=2560
RED='#ff0000' BLACK='#000000'
PICS=$WORK/pictures
mkdir "$PICS"
picture "$PICS/a.jpg" 300x200 "$RED"

start_xvfb
xrandr --setmonitor left 1280/339x1024/271+0+0 screen >/dev/null
xrandr --setmonitor right 1280/339x1024/271+1280+0 none
cd "$PICS"
start_varnel
wait_window 15 '^Varnel ver1\.0$'
MAIN=$WIN
click $(($(tx 3120) + 40)) $(($(ty 120) + 9))
keys ctrl+d

# show_once: plays the one-picture list, shows the picture at once with Right, and leaves the
# end message open (its window id in MESSAGE).
show_once() {
    focus "$MAIN"
    keys ctrl+p
    wait_window 10 '^Form1$'
    SHOW=$WIN
    window_geometry "$SHOW"
    focus "$SHOW"
    keys Right
}

xdotool windowmove "$MAIN" 1500 100
show_once
[[ "$GEO_X $GEO_Y $GEO_W $GEO_H" == "1280 0 1280 1024" ]] ||
    fail "expected the show over the right-hand monitor (1280 0 1280 1024), saw $GEO_X $GEO_Y $GEO_W $GEO_H"
wait_px 5 1920 512 "$RED" "the picture at the centre of the right-hand monitor"
expect_rect 1770 412 300 200 "$RED" "picture on the right-hand monitor"
keys Escape
wait_no_window 5 '^Form1$'
log "the show fills the monitor that holds the main window"

xrandr --delmonitor right
xrandr --delmonitor left
xdotool windowmove "$MAIN" 180 136
log "one monitor again"
xrandr --fb 2560x1024 --output screen --off
show_once
((GEO_W >= 640 && GEO_H >= 480)) || fail "output off: expected a show of a sensible size, saw ${GEO_W}x$GEO_H"
keys Right
wait_window 10 '^varnel$'
focus "$WIN"
keys Return
wait_no_window 5 '^Form1$'
log "output off: the show opened at ${GEO_W}x$GEO_H and its end message came"

xrandr --output screen --mode 2560x1024
show_once
wait_px 5 1280 512 "$RED" "the picture after the output is back"
keys Escape
wait_no_window 5 '^Form1$'
log "passed"
