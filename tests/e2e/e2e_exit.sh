#!/usr/bin/env bash
# The ways the program ends: Ctrl+E, the button "Varnelの終了", a double-click on the black
# area of a running show (a double-click on the picture does nothing), a close request to the
# main window; each ends the process with status 0. Without a display the program says so in
# one line and fails.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

GREEN='#00ff00' BLACK='#000000'
PICS=$WORK/pictures
mkdir "$PICS"
picture "$PICS/only.jpg" 400x300 "$GREEN"

# No display: one line on stderr and a non-zero status, whether the platform is named or not,
# and also for a display where no X server runs.
for n in $(seq 900 999); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] || break
done
for case in "no DISPLAY, QT_QPA_PLATFORM=xcb" "no DISPLAY, no QT_QPA_PLATFORM" \
    "DISPLAY=:$n without a server"; do
    case $case in
    *xcb) environment=(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb) ;;
    *"no QT_QPA_PLATFORM") environment=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM) ;;
    *) environment=(env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "DISPLAY=:$n") ;;
    esac
    status=0
    timeout 20 "${environment[@]}" "$VARNEL" >"$WORK/nodisplay.out" 2>"$WORK/nodisplay.err" ||
        status=$?
    lines=$(wc -l <"$WORK/nodisplay.err")
    [[ $status != 0 && $status != 124 ]] ||
        fail "$case: expected a non-zero exit status, saw $status"
    [[ $lines == 1 && $(wc -c <"$WORK/nodisplay.err") -gt 1 ]] ||
        fail "$case: expected one line on stderr, saw $lines: $(head -c 400 "$WORK/nodisplay.err")"
    log "$case: status $status, stderr: $(cat "$WORK/nodisplay.err")"
done

start_xvfb
cd "$PICS"

start_main() {
    start_varnel
    wait_window 15 '^Varnel ver1\.0$'
    MAIN=$WIN
}

# Ctrl+E, the menu's exit command.
start_main
focus "$MAIN"
keys ctrl+e
wait_exit 10
expect_exit_status 0 "Ctrl+E"

# The exit button "Varnelの終了" (in Frame3 at 8400+120, 240+2040; 1335 x 495 twips).
start_main
click "$(tx $((8400 + 120 + 1335 / 2)))" "$(ty $((240 + 2040 + 495 / 2)))"
wait_exit 10
expect_exit_status 0 "button Varnelの終了"

# A close request to the main window, as a window manager's close box sends it.
start_main
send_close "$MAIN"
wait_exit 10
expect_exit_status 0 "close request to the main window"

# A show of one picture at the default interval of 3 seconds.
start_main
click "$(($(tx 3120) + 40))" "$(($(ty 120) + 9))"
keys ctrl+d ctrl+p
wait_window 10 '^Form1$'
PIC_X=$((SCREEN_W / 2)) PIC_Y=$((SCREEN_H / 2))
wait_px 10 "$PIC_X" "$PIC_Y" "$GREEN" "the picture of the show"
log "show running, picture on screen"

# A double-click on the picture does nothing: the show goes on to its end message.
double_click "$PIC_X" "$PIC_Y"
wait_window 10 '^varnel$'
varnel_running || fail "expected the show to go on after a double-click on its picture, varnel ended"
log "double-click on the picture: the show went on to its end message"
focus "$WIN"
keys Return
wait_no_window 5 '^Form1$'
wait_window 5 '^Varnel ver1\.0$'

# Played again: a double-click on the black area around the picture ends the program.
focus "$MAIN"
keys ctrl+p
wait_window 10 '^Form1$'
wait_px 10 "$PIC_X" "$PIC_Y" "$GREEN" "the picture of the second show"
snap
expect_px 40 40 "$BLACK" "black area of the show"
double_click 40 40
wait_exit 10
expect_exit_status 0 "double-click on the black area of the show"
log "passed"
