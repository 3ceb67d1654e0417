#!/usr/bin/env bash
# The show's options in 再生(P): 繰り返し and シャッフル play every picture once per round, round
# after round, with no end message, and Left goes back through the order played; the pause
# notice and the caption (ファイル名を表示) stay legible on a white picture: dark backing, light
# text. E2E_SHOTS: a folder to keep screenshots in.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

RED='#ff0000' GREEN='#00ff00' BLUE='#0000ff' WHITE='#ffffff'
PICS=$WORK/pictures
mkdir "$PICS"
picture "$PICS/a.jpg" 300x200 "$RED"
picture "$PICS/b.jpg" 200x300 "$GREEN"
picture "$PICS/c.jpg" 100x100 "$BLUE"
picture "$PICS/w.jpg" "${SCREEN_W}x${SCREEN_H}" "$WHITE"

start_xvfb
cd "$PICS"
start_varnel
wait_window 15 '^Varnel ver1\.0$'
MAIN=$WIN
CX=$((SCREEN_W / 2)) CY=$((SCREEN_H / 2))
click $(($(tx 3120) + 40)) $(($(ty 120) + 9))
# The play list a, b, c; then 繰り返し and シャッフル, the fourth and fifth items of 再生(P).
keys ctrl+d Down ctrl+d Down ctrl+d
keys alt+p Down Down Down Return
keys alt+p Down Down Down Down Return

# a_new_colour: the centre shows one of the three pictures, not the one before (a wait_for
# check); the colour goes to SEEN.
a_new_colour() {
    snap || return 1
    SEEN=$(px "$CX" "$CY")
    LAST_SEEN="$SEEN at the centre"
    [[ $SEEN != "${PREVIOUS:-}" ]] || return 1
    for c in "$RED" "$GREEN" "$BLUE"; do near "$SEEN" "$c" && SEEN=$c && return 0; done
    return 1
}

keys ctrl+p
wait_window 10 '^Form1$'
focus "$WIN"
keys space
PLAYED=()
PREVIOUS=
for _ in 1 2 3 4 5 6 7 8 9; do
    keys Right
    wait_for 5 "the next picture" a_new_colour
    PLAYED+=("$SEEN")
    PREVIOUS=$SEEN
done
no_window '^varnel$' || fail "looping: expected no end message"
for round in 0 3 6; do
    got=$(printf '%s\n' "${PLAYED[@]:round:3}" | sort | tr '\n' ' ')
    [[ $got == "$(printf '%s\n' "$RED" "$GREEN" "$BLUE" | sort | tr '\n' ' ')" ]] ||
        fail "round $((round / 3 + 1)) played ${PLAYED[*]:round:3}, not each picture once"
done
keys Left
wait_px 5 "$CX" "$CY" "${PLAYED[7]}" "Left: the picture played before"
log "three rounds, each picture once per round: ${PLAYED[*]}"
keys Escape
wait_no_window 5 '^Form1$'

# Only the white picture, named at the bottom (ファイル名を表示, the last item), paused.
focus "$MAIN"
keys ctrl+s
click $(($(tx 3120) + 40)) $(($(ty 120) + 9))
keys Down Down Down ctrl+d alt+p Up Return ctrl+p
wait_window 10 '^Form1$'
focus "$WIN"
keys space Right
wait_px 5 "$CX" "$CY" "$WHITE" "the white picture"
snap
if [[ -n ${E2E_SHOTS:-} ]]; then cp "$WORK/screen.rgb" "$E2E_SHOTS/notices.rgb"; fi

# legible X Y W H WHAT: in that rectangle most pixels are dark (the backing) and some light
# (the text on it).
legible() {
    local dark light
    dark=$(convert -size "${SCREEN_W}x${SCREEN_H}" -depth 8 "rgb:$WORK/screen.rgb" \
        -crop "${3}x${4}+${1}+${2}" +repage -colorspace gray -threshold 50% -negate \
        -format '%[fx:round(100*mean)]' info:)
    light=$((100 - dark))
    ((dark >= 50)) || fail "$5: only $dark % of ($1,$2 ${3}x$4) is dark: no backing"
    ((light >= 2)) || fail "$5: no light text on the backing at ($1,$2 ${3}x$4)"
    log "$5: $dark % dark, $light % light"
}
legible $((SCREEN_W - 16 - 60)) 18 60 16 "the pause notice"
legible $((CX - 100)) $((SCREEN_H - 20)) 200 16 "the caption"
keys Escape
wait_no_window 5 '^Form1$'
focus "$MAIN"
keys ctrl+e
wait_exit 10
log "passed"
