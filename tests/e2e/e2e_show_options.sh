#!/usr/bin/env bash
# The show's options and its hold on the screen. 繰り返し and シャッフル play every picture once
# per round, round after round, with no end message; Left goes back through the order played.
# The pause notice and the caption (ファイル名を表示) are legible on a white picture. A stand-in
# screensaver (VARNEL_SCREENSAVER) on the test's own bus records one Inhibit when a show opens
# and the matching UnInhibit when it closes, by Esc and by the end message.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
[[ -x ${VARNEL_SCREENSAVER:-} ]] || skip "needs the stand-in screensaver (VARNEL_SCREENSAVER)"
command -v dbus-daemon >/dev/null || skip "needs dbus-daemon: bash scripts/setup.sh test"

RED='#ff0000' GREEN='#00ff00' BLUE='#0000ff' WHITE='#ffffff'
mkdir "$WORK/pictures" && cd "$WORK/pictures"
for p in "a.jpg 300x200 $RED" "b.jpg 200x300 $GREEN" "c.jpg 99x99 $BLUE" "w.jpg 1280x1024 $WHITE"; do picture $p; done
BUS_PID= STANDIN_PID=
trap 'status=$?; kill $STANDIN_PID $BUS_PID 2>/dev/null || true; (exit $status); e2e_cleanup' EXIT
start_xvfb
dbus-daemon --session --nofork --print-address=3 3>"$WORK/bus" >/dev/null 2>&1 & BUS_PID=$!
wait_for 10 "the test's session bus" test -s "$WORK/bus"
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$WORK/bus")
"$VARNEL_SCREENSAVER" >"$WORK/calls" & STANDIN_PID=$!
wait_for 10 "the stand-in screensaver" grep -qx ready "$WORK/calls"
# calls_are LINE...: the calls the stand-in has recorded (a wait_for check).
calls_are() {
    LAST_SEEN=$(grep -v '^ready$' "$WORK/calls" | tr '\n' ';')
    [[ $LAST_SEEN == "$(printf '%s;' "$@")" ]]
}
start_varnel
wait_window 15 '^Varnel ver1\.0$' && MAIN=$WIN
CX=$((SCREEN_W / 2)) CY=$((SCREEN_H / 2))
click $(($(tx 3120) + 40)) $(($(ty 120) + 9))
# The play list a, b, c; 繰り返し and シャッフル, the fourth and fifth items of 再生(P).
keys ctrl+d Down ctrl+d Down ctrl+d alt+p Down Down Down Return alt+p Down Down Down Down Return

# a_new_colour: the centre shows one of the three pictures, not the one before (into SEEN).
a_new_colour() {
    snap && SEEN=$(px "$CX" "$CY") && LAST_SEEN="$SEEN at the centre" || return 1
    [[ $SEEN != "${PLAYED[*]: -1}" ]] || return 1
    for c in "$RED" "$GREEN" "$BLUE"; do near "$SEEN" "$c" && SEEN=$c && return 0; done
    return 1
}
keys ctrl+p
wait_window 10 '^Form1$'
wait_for 5 "a hold when the show opens" calls_are "Inhibit 1 varnel"
focus "$WIN" && keys space && PLAYED=()
for _ in 1 2 3 4 5 6 7 8 9; do
    keys Right && wait_for 5 "the next picture" a_new_colour && PLAYED+=("$SEEN")
done
no_window '^varnel$' || fail "looping: expected no end message"
for round in 0 3 6; do
    [[ $(printf '%s\n' "${PLAYED[@]:round:3}" | sort | tr -d '\n') == "#0000ff#00ff00#ff0000" ]] ||
        fail "a round played ${PLAYED[*]:round:3}, not each picture once; all: ${PLAYED[*]}"
done
keys Left && wait_px 5 "$CX" "$CY" "${PLAYED[7]}" "Left: the picture played before"
keys Escape && wait_no_window 5 '^Form1$'
wait_for 5 "the hold released after Esc" calls_are "Inhibit 1 varnel" "UnInhibit 1"

# The white picture alone, named (the last item), 繰り返し off again; paused, then stepped on.
focus "$MAIN" && keys ctrl+s
click $(($(tx 3120) + 40)) $(($(ty 120) + 9))
keys Down Down Down ctrl+d alt+p Up Up Return alt+p Down Down Down Return ctrl+p
wait_window 10 '^Form1$' && focus "$WIN" && keys space Right
wait_px 5 "$CX" "$CY" "$WHITE" "the white picture" && snap
# legible X Y W H WHAT: most of that rectangle is dark (the backing), some light (the text).
legible() {
    local dark
    dark=$(convert -size "${SCREEN_W}x${SCREEN_H}" -depth 8 "rgb:$WORK/screen.rgb" \
        -crop "${3}x${4}+${1}+${2}" +repage -colorspace gray -threshold 50% -negate \
        -format '%[fx:round(100*mean)]' info:)
    ((dark >= 50 && dark <= 98)) || fail "$5: $dark % of ($1,$2 ${3}x$4) dark, not text on a backing"
}
legible $((SCREEN_W - 16 - 60)) 18 60 16 "the pause notice"
legible $((CX - 100)) $((SCREEN_H - 20)) 200 16 "the caption"
keys Right && wait_window 5 '^varnel$' && focus "$WIN" && keys Return
wait_no_window 5 '^Form1$'
wait_for 5 "the hold released after the end message" calls_are \
    "Inhibit 1 varnel" "UnInhibit 1" "Inhibit 2 varnel" "UnInhibit 2"
focus "$MAIN" && keys ctrl+e && wait_exit 10
log "passed"
