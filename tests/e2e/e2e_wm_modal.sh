#!/usr/bin/env bash
# The settings dialog and the show window block the main window, under a window manager
# (openbox), with real clicks and keys: while the dialog is open, clicks on the main window's
# buttons and its shortcuts do nothing (also with the input focus forced onto the main window,
# and sent to it directly), and the dialog stays above it; the dialog's close box discards a
# typed interval (the next show keeps the 3-second rhythm); while a show runs, clicks where the
# main window's buttons are and its shortcuts do nothing; Alt+F4 on the show closes it without
# a message; Alt+F4 on the main window ends the program with status 0.
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

RED='#ff0000' BLACK='#000000'
PICS=$WORK/pictures
mkdir "$PICS"
picture "$PICS/one.jpg" 300x200 "$RED"

SETTINGS_NAME='^Varnel ver1\.0 \(設定）$'

start_main_under_wm "$PICS"

# Centres of the buttons 全削除 (Frame1), 再生 and Varnelの終了 (Frame3), on screen.
ALLCLL_X=$(tx $((6480 + 120 + 1335 / 2))) ALLCLL_Y=$(ty $((240 + 2040 + 495 / 2)))
PLAY_X=$(tx $((8400 + 120 + 1335 / 2))) PLAY_Y=$(ty $((240 + 360 + 495 / 2)))
ENDS_X=$PLAY_X ENDS_Y=$ALLCLL_Y
# The first row of the play list List1 (360,5040 twips), where an entry shows.
LIST_X=$(($(tx 360) + 2)) LIST_Y=$(($(ty 5040) + 2)) LIST_W=380 LIST_H=30

# region_differs SUM X Y W H: the rectangle's checksum is no longer SUM (a wait_for check).
region_differs() {
    snap || return 1
    local now
    now=$(region_sum "$2" "$3" "$4" "$5")
    LAST_SEEN="checksum $now of ${4}x${5}+${2}+${3}"
    [[ $now != "$1" ]]
}
region_is() { ! region_differs "$@"; }

# One entry in the play list.
snap
EMPTY_LIST=$(region_sum "$LIST_X" "$LIST_Y" "$LIST_W" "$LIST_H")
click "$(($(tx 3120) + 40))" "$(($(ty 120) + 9))"
keys ctrl+d
wait_for 5 "the play list to show its entry" region_differs "$EMPTY_LIST" "$LIST_X" "$LIST_Y" "$LIST_W" "$LIST_H"
LIST_SUM=$(region_sum "$LIST_X" "$LIST_Y" "$LIST_W" "$LIST_H")
log "one entry in the play list"

# --- the settings dialog blocks the main window --------------------------------------------

keys ctrl+o
wait_window 5 "$SETTINGS_NAME"
SETTINGS=$WIN
wait_for 5 "the settings dialog to be active" is_active "$SETTINGS"
wait_for 5 "the settings dialog above the main window" is_above "$SETTINGS" "$MAIN"
window_geometry "$SETTINGS"
DX=$GEO_X DY=$GEO_Y DW=$GEO_W DH=$GEO_H
log "settings dialog $SETTINGS at ${DW}x${DH}+${DX}+${DY}, active, above the main window"
for point in "$ALLCLL_X $ALLCLL_Y" "$PLAY_X $PLAY_Y" "$ENDS_X $ENDS_Y"; do
    read -r x y <<<"$point"
    ((x < DX - 30 || x > DX + DW + 30 || y < DY - 30 || y > DY + DH + 30)) ||
        fail "the settings dialog ${DW}x${DH}+${DX}+${DY} covers the main window's button at ($x,$y)"
done
# The part of the play list's first row that the dialog leaves visible (it opens over the main
# window).
LIST_CW=$LIST_W
if ((DY - 25 < LIST_Y + LIST_H && DY + DH + 5 > LIST_Y && DX + DW + 5 > LIST_X)); then
    LIST_CW=$((DX - 5 - LIST_X))
fi
((LIST_CW >= 60)) || fail "the settings dialog ${DW}x${DH}+${DX}+${DY} covers the play list's first row"
snap
LIST_CLIP_SUM=$(region_sum "$LIST_X" "$LIST_Y" "$LIST_CW" "$LIST_H")
# The dialog's text box Text1 (480,960 in Frame1 at 240,240; 375 x 270 twips).
TEXT_X=$((DX + (240 + 480) / 15)) TEXT_Y=$((DY + (240 + 960) / 15)) TEXT_W=25 TEXT_H=18
snap
TEXT_SUM=$(region_sum "$TEXT_X" "$TEXT_Y" "$TEXT_W" "$TEXT_H")

# The main window's buttons, with real clicks (the window manager raises and focuses what is
# clicked), then its shortcuts: 再生 and Ctrl+P would open the show, 全削除 and Ctrl+A would
# clear the play list, Varnelの終了 and Ctrl+E would end the program.
click "$ALLCLL_X" "$ALLCLL_Y"
click "$PLAY_X" "$PLAY_Y"
click "$ENDS_X" "$ENDS_Y"
keys ctrl+p ctrl+a ctrl+e
log "after the clicks on the main window the active window is $(active_window)"
# The same shortcuts with the input focus forced onto the main window, and sent to it directly.
xdotool windowfocus "$MAIN" 2>/dev/null || true
keys ctrl+p ctrl+a ctrl+e
xdotool key --window "$MAIN" ctrl+p ctrl+a ctrl+e

# Then a change the dialog shows: typed into its text box, replacing 3 with 1. Once it shows,
# everything before it has been handled.
click $((TEXT_X + 12)) $((TEXT_Y + 9))
keys ctrl+a BackSpace 1
wait_for 5 "the dialog's text box to show the typed 1" region_differs "$TEXT_SUM" \
    "$TEXT_X" "$TEXT_Y" "$TEXT_W" "$TEXT_H"

dialog_still_modal() {
    varnel_running || { LAST_SEEN="varnel ended"; return 1; }
    no_window '^Form1$' || return 1
    find_window "$SETTINGS_NAME" || return 1
    is_above "$SETTINGS" "$MAIN" || return 1
    region_is "$LIST_CLIP_SUM" "$LIST_X" "$LIST_Y" "$LIST_CW" "$LIST_H" ||
        { LAST_SEEN="the play list changed: $LAST_SEEN"; return 1; }
}
holds 0.5 "the dialog open above the main window, no show, the play list kept, varnel running" \
    dialog_still_modal
log "clicks and shortcuts on the main window did nothing while the dialog was open"

# The dialog's close box: the dialog goes, the typed 1 with it.
frame_extents "$SETTINGS" || fail "the settings dialog has no frame"
click $((DX + DW + FRAME_R - 11)) $((DY - FRAME_T / 2))
wait_no_window 5 "$SETTINGS_NAME"
wait_for 5 "the main window to be active after the dialog" is_active "$MAIN"
log "closed the dialog with its close box"

# The main window takes Ctrl+O again; Alt+F4 closes the dialog as well.
keys ctrl+o
wait_window 5 "$SETTINGS_NAME"
SETTINGS=$WIN
wait_for 5 "the settings dialog to be active again" is_active "$SETTINGS"
keys alt+F4
wait_no_window 5 "$SETTINGS_NAME"
wait_for 5 "the main window to be active after Alt+F4 on the dialog" is_active "$MAIN"
log "Ctrl+O opened the dialog again; Alt+F4 closed it"

# --- the show blocks the main window -------------------------------------------------------

CX=$((SCREEN_W / 2)) CY=$((SCREEN_H / 2))
START=$(now_us)
keys ctrl+p
wait_window 10 '^Form1$'
SHOW=$WIN
wait_px 5 "$CX" "$CY" "$BLACK" "the black show window"
wait_for 5 "the show window to be active" is_active "$SHOW"
# Single clicks, far apart, where the main window's buttons are under the show; its shortcuts.
click "$ALLCLL_X" "$ALLCLL_Y"
click "$PLAY_X" "$PLAY_Y"
click "$ENDS_X" "$ENDS_Y"
keys ctrl+e ctrl+a ctrl+o ctrl+p
log "clicked and pressed shortcuts during the show ($(elapsed_since "$START")s after Ctrl+P)"

# The show goes on, and at the 3-second interval: the dialog's close box dropped the 1.
wait_px 6 "$CX" "$CY" "$RED" "the picture of the show"
PIC_AT=$(elapsed_since "$START")
awk -v t="$PIC_AT" 'BEGIN { exit !(t >= 2.5 && t <= 6) }' ||
    fail "expected the picture 3 s after the start of the show (the default interval); saw it after ${PIC_AT}s"
expect_rect $(((SCREEN_W - 300) / 2)) $(((SCREEN_H - 200) / 2)) 300 200 "$RED" "the picture"
show_alone() {
    varnel_running || { LAST_SEEN="varnel ended"; return 1; }
    find_window '^Form1$' && no_window "$SETTINGS_NAME" && no_window '^varnel$'
}
show_alone || fail "expected the show alone on screen after the clicks and shortcuts; $LAST_SEEN"
log "the show went on: picture after ${PIC_AT}s (interval 3 s kept)"

# Alt+F4, a close request from the window manager: the show closes without its end message.
keys alt+F4
wait_no_window 5 '^Form1$'
back_without_message() {
    varnel_running || { LAST_SEEN="varnel ended"; return 1; }
    no_window '^varnel$'
}
holds 0.5 "no end message after Alt+F4 on the show, varnel running" back_without_message
wait_for 5 "the main window to be active after the show" is_active "$MAIN"
wait_for 5 "the play list unchanged after the show" region_is "$LIST_SUM" \
    "$LIST_X" "$LIST_Y" "$LIST_W" "$LIST_H"
log "Alt+F4 closed the show without a message; main window active, play list unchanged"

# Alt+F4 on the main window ends the program.
keys alt+F4
wait_exit 10
expect_exit_status 0 "Alt+F4 on the main window"
log "passed"
