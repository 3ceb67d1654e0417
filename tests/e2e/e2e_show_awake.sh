#!/usr/bin/env bash
# The show keeps the screen on: a stand-in screensaver service on the test's own session bus
# records one Inhibit when the show opens and the matching UnInhibit when it closes, by Esc and
# by the end message. VARNEL_SCREENSAVER names the stand-in's program.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

[[ -x ${VARNEL_SCREENSAVER:-} ]] || skip "needs the stand-in screensaver (VARNEL_SCREENSAVER)"
command -v dbus-daemon >/dev/null || skip "needs dbus-daemon; install it with: bash scripts/setup.sh test"
PICS=$WORK/pictures
mkdir "$PICS"
picture "$PICS/a.jpg" 300x200 '#ff0000'

BUS_PID= STANDIN_PID=
trap 'status=$?; kill $STANDIN_PID $BUS_PID 2>/dev/null || true; (exit $status); e2e_cleanup' EXIT
start_xvfb
dbus-daemon --session --nofork --print-address=3 3>"$WORK/bus" >/dev/null 2>&1 &
BUS_PID=$!
wait_for 10 "the test's session bus" test -s "$WORK/bus"
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$WORK/bus")
export DBUS_SESSION_BUS_ADDRESS
"$VARNEL_SCREENSAVER" >"$WORK/calls" 2>&1 &
STANDIN_PID=$!
wait_for 10 "the stand-in screensaver" grep -qx ready "$WORK/calls"

# calls_are LINE...: the stand-in has recorded exactly these calls so far (a wait_for check).
calls_are() {
    local want=
    (($#)) && want=$(printf '%s;' "$@")
    LAST_SEEN=$(grep -v '^ready$' "$WORK/calls" | tr '\n' ';')
    [[ $LAST_SEEN == "$want" ]]
}

cd "$PICS"
start_varnel
wait_window 15 '^Varnel ver1\.0$'
MAIN=$WIN
click $(($(tx 3120) + 40)) $(($(ty 120) + 9))
keys ctrl+d
holds 1 "no hold before the show" calls_are

keys ctrl+p
wait_window 10 '^Form1$'
wait_for 5 "a hold when the show opens" calls_are "Inhibit 1 varnel"
focus "$WIN"
keys Escape
wait_no_window 5 '^Form1$'
wait_for 5 "the hold released after Esc" calls_are "Inhibit 1 varnel" "UnInhibit 1"
log "Esc: held and released"

focus "$MAIN"
keys ctrl+p
wait_window 10 '^Form1$'
focus "$WIN"
keys Right Right
wait_window 5 '^varnel$'
focus "$WIN"
keys Return
wait_no_window 5 '^Form1$'
wait_for 5 "the hold released after the end message" calls_are \
    "Inhibit 1 varnel" "UnInhibit 1" "Inhibit 2 varnel" "UnInhibit 2"
log "the end message: held and released"
focus "$MAIN"
keys ctrl+e
wait_exit 10
log "passed"
