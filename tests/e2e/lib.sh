# shellcheck shell=bash
# Shared helpers for the end-to-end tests. Sourced by each tests/e2e/e2e_*.sh, which is run as
#   bash e2e_NAME.sh /path/to/varnel
# Each script gets its own Xvfb, its own work folder and a trap that ends every process it
# started. On failure the work folder (last screenshot, program output) is kept and printed.

set -euo pipefail

E2E_NAME=$(basename "$0" .sh)
if [[ $# -lt 1 || ! -x $1 ]]; then
    echo "usage: bash $0 /path/to/varnel" >&2
    exit 2
fi
VARNEL=$(realpath "$1")

# skip REASON: the test cannot run here; ctest counts the status 77 as skipped, not failed.
E2E_SKIP=77
skip() {
    echo "SKIP: $E2E_NAME: $*"
    exit "$E2E_SKIP"
}

# The X server, input and screenshot tools every end-to-end test uses (openbox: start_wm).
e2e_missing=()
for tool in Xvfb:xvfb xdotool:xdotool import:imagemagick convert:imagemagick \
    xwininfo:x11-utils xprop:x11-utils python3:python3; do
    command -v "${tool%%:*}" >/dev/null || e2e_missing+=("${tool%%:*} (${tool#*:})")
done
if ((${#e2e_missing[@]})); then
    skip "needs ${e2e_missing[*]}; install them with: bash scripts/setup.sh test"
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/varnel-$E2E_NAME.XXXXXX")
SCREEN_W=1280
SCREEN_H=1024
XVFB_PID=
WM_PID=
VARNEL_PID=
VARNEL_STATUS=
LAST_SEEN=
T0_US=${EPOCHREALTIME/./}

# The main window's client area on screen, in pixels, and twips per pixel at 96 dpi.
CLIENT_X=180
CLIENT_Y=154
TWIPS_PER_PX=15

log() { printf '[%6.2fs] %s: %s\n' "$(elapsed_since "$T0_US")" "$E2E_NAME" "$*"; }

# Microseconds since the epoch, and seconds (with two decimals) since a given such time.
now_us() { echo "${EPOCHREALTIME/./}"; }
elapsed_since() { awk -v a="$1" -v b="$(now_us)" 'BEGIN { printf "%.2f", (b - a) / 1e6 }'; }

e2e_cleanup() {
    local status=$?
    trap - EXIT INT TERM HUP
    stop_varnel
    if [[ -n $WM_PID ]]; then
        kill "$WM_PID" 2>/dev/null || true
        wait "$WM_PID" 2>/dev/null || true
    fi
    if [[ -n $XVFB_PID ]]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
    if ((status == 0 || status == E2E_SKIP)); then
        rm -rf "$WORK"
    else
        echo "$E2E_NAME: FAILED (status $status); files kept in $WORK" >&2
    fi
    exit "$status"
}
trap e2e_cleanup EXIT
trap 'exit 130' INT TERM HUP

# fail MESSAGE: says what was expected and what was seen, keeps the screen, ends the test.
fail() {
    echo "FAIL: $E2E_NAME: $*" >&2
    local checked=$WORK/checked-screen.png shot=$WORK/last-screen.png
    if [[ -s $WORK/screen.rgb ]]; then
        convert -size "${SCREEN_W}x${SCREEN_H}" -depth 8 "rgb:$WORK/screen.rgb" "$checked" \
            2>/dev/null && echo "  screenshot the last pixel check read: $checked" >&2
    fi
    if [[ -n ${DISPLAY:-} ]] && import -window root "$shot" 2>/dev/null; then
        echo "  screenshot at the failure: $shot" >&2
    fi
    if [[ -s $WORK/varnel.err ]]; then
        echo "  varnel stderr (last lines):" >&2
        tail -n 5 "$WORK/varnel.err" | sed 's/^/    /' >&2
    fi
    exit 1
}

# wait_for SECONDS DESCRIPTION COMMAND...: runs COMMAND every 0.1 s until it succeeds. A check
# may set LAST_SEEN to what it observed; that is reported on timeout.
wait_for() {
    local timeout=$1 what=$2
    shift 2
    local deadline=$(($(now_us) + timeout * 1000000))
    LAST_SEEN=
    while true; do
        if "$@"; then return 0; fi
        if (($(now_us) > deadline)); then
            fail "timed out after ${timeout}s waiting for $what; last seen: ${LAST_SEEN:-nothing}"
        fi
        sleep 0.1
    done
}

# --- X server and program ------------------------------------------------------------------

x_answers() { xdotool getdisplaygeometry >/dev/null 2>&1; }

start_xvfb() {
    # -displayfd: the server picks a free display number and writes it once it accepts clients.
    # -noreset: by default the server resets when its last client leaves, and a program started
    # right after another has ended (or after a short xdotool call) could not connect meanwhile.
    # E2E_XVFB_ARGS: more arguments for a script's own screens (e.g. +xinerama and a second).
    # shellcheck disable=SC2086 # split on purpose
    Xvfb -displayfd 3 -screen 0 "${SCREEN_W}x${SCREEN_H}x24" -dpi 96 -nolisten tcp -noreset \
        ${E2E_XVFB_ARGS:-} 3>"$WORK/displayfd" >"$WORK/xvfb.log" 2>&1 &
    XVFB_PID=$!
    wait_for 10 "Xvfb to report its display number" test -s "$WORK/displayfd"
    DISPLAY=":$(head -n 1 "$WORK/displayfd")"
    export DISPLAY
    wait_for 10 "X server $DISPLAY to answer" x_answers
    export QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS=disabled:
    export XDG_RUNTIME_DIR=$WORK/runtime
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    unset WAYLAND_DISPLAY QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR \
        QT_FONT_DPI QT_ENABLE_HIGHDPI_SCALING
    log "Xvfb on $DISPLAY"
}

# start_varnel: runs the program in the current directory, in the background; with
# E2E_SCALE_FACTOR set, at that scale (QT_SCALE_FACTOR).
start_varnel() {
    ${E2E_SCALE_FACTOR:+env QT_SCALE_FACTOR=$E2E_SCALE_FACTOR} "$VARNEL" >>"$WORK/varnel.out" 2>>"$WORK/varnel.err" &
    VARNEL_PID=$!
    VARNEL_STATUS=
}

varnel_running() { [[ -n $VARNEL_PID ]] && kill -0 "$VARNEL_PID" 2>/dev/null; }

stop_varnel() {
    if [[ -n $VARNEL_PID ]]; then
        kill "$VARNEL_PID" 2>/dev/null || true
        wait "$VARNEL_PID" 2>/dev/null || true
        VARNEL_PID=
    fi
}

varnel_gone() {
    if varnel_running; then
        LAST_SEEN="process $VARNEL_PID still running"
        return 1
    fi
}

# wait_exit SECONDS: waits for the program to end; its exit status goes to VARNEL_STATUS.
wait_exit() {
    wait_for "$1" "varnel (pid $VARNEL_PID) to exit" varnel_gone
    VARNEL_STATUS=0
    wait "$VARNEL_PID" || VARNEL_STATUS=$?
    VARNEL_PID=
}

expect_exit_status() {
    local want=$1 what=$2
    [[ $VARNEL_STATUS == "$want" ]] || fail "$what: expected exit status $want, saw $VARNEL_STATUS"
    log "$what: exit status $VARNEL_STATUS"
}

# --- windows ------------------------------------------------------------------------------

# find_window REGEX: the id of the first mapped window whose name matches, into WIN.
find_window() {
    WIN=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
    if [[ -z $WIN ]]; then
        LAST_SEEN="no mapped window named /$1/; mapped: $(visible_names)"
        return 1
    fi
}

no_window() {
    local id
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
    if [[ -n $id ]]; then
        LAST_SEEN="window $id /$1/ still mapped"
        return 1
    fi
}

visible_names() {
    local id names=()
    for id in $(xdotool search --onlyvisible --name '.*' 2>/dev/null); do
        names+=("\"$(xdotool getwindowname "$id" 2>/dev/null)\"")
    done
    echo "${names[*]:-none}"
}

# wait_window SECONDS REGEX: waits for a mapped window; its id goes to WIN.
wait_window() { wait_for "$1" "a window named /$2/" find_window "$2"; }
wait_no_window() { wait_for "$1" "no window named /$2/" no_window "$2"; }

# focus WINDOW: gives it the keyboard focus (without a window manager, nothing else does).
focus() { xdotool windowfocus --sync "$1"; }

# window_geometry WINDOW: GEO_X, GEO_Y, GEO_W, GEO_H of the window on the screen.
# shellcheck disable=SC2034 # read by the scripts
window_geometry() {
    local info
    info=$(xwininfo -id "$1")
    GEO_X=$(awk '/Absolute upper-left X/ { print $NF }' <<<"$info")
    GEO_Y=$(awk '/Absolute upper-left Y/ { print $NF }' <<<"$info")
    GEO_W=$(awk '/^ *Width:/ { print $NF }' <<<"$info")
    GEO_H=$(awk '/^ *Height:/ { print $NF }' <<<"$info")
}

# send_close WINDOW: a close request as a window manager sends it (WM_DELETE_WINDOW).
send_close() {
    python3 -I -c '
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("l", ctypes.c_long * 5)]
class Event(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                         ctypes.POINTER(Event)]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
display = x.XOpenDisplay(None)
if not display:
    sys.exit("send_close: cannot open the display")
window = int(sys.argv[1], 0)
event = Event()
event.xclient.type = 33  # ClientMessage
event.xclient.window = window
event.xclient.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.xclient.format = 32
event.xclient.l[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
if not x.XSendEvent(display, window, 0, 0, ctypes.byref(event)):
    sys.exit("send_close: XSendEvent failed")
x.XSync(display, 0)
x.XCloseDisplay(display)
' "$1"
}

# --- window manager -------------------------------------------------------------------------

# start_wm: runs openbox on the test's display with a fixed configuration, whatever the user's
# own: a new window takes the focus; Alt+F4 sends a close request to the active window; a click
# on a window raises and focuses it, a click on the close box closes it; a double-click on a
# title bar toggles maximisation; Alt with a left-button drag moves a window, with a
# right-button drag resizes it. Returns once openbox manages the screen.
start_wm() {
    command -v openbox >/dev/null ||
        skip "needs the window manager openbox; install it with: bash scripts/setup.sh test"
    cat >"$WORK/openbox-rc.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse><focusLast>yes</focusLast></focus>
  <placement><policy>Smart</policy><center>yes</center></placement>
  <theme><name>Clearlooks</name><titleLayout>NLIMC</titleLayout><keepBorder>yes</keepBorder>
    <animateIconify>no</animateIconify></theme>
  <desktops><number>1</number></desktops>
  <margins><top>0</top><bottom>0</bottom><left>0</left><right>0</right></margins>
  <keyboard>
    <keybind key="A-F4"><action name="Close"/></keybind>
  </keyboard>
  <mouse>
    <dragThreshold>1</dragThreshold>
    <doubleClickTime>500</doubleClickTime>
    <!-- Bindings without a modifier in the Frame context would take every click from the
         clients; Client passes the click on after raising and focusing. -->
    <context name="Frame">
      <mousebind button="A-Left" action="Drag"><action name="Move"/></mousebind>
      <mousebind button="A-Right" action="Drag"><action name="Resize"/></mousebind>
    </context>
    <context name="Client">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
    </context>
    <context name="Titlebar">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
      <mousebind button="Left" action="Drag"><action name="Move"/></mousebind>
      <mousebind button="Left" action="DoubleClick"><action name="ToggleMaximize"/></mousebind>
    </context>
    <context name="Close">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
      <mousebind button="Left" action="Click"><action name="Close"/></mousebind>
    </context>
    <context name="Maximize">
      <mousebind button="Left" action="Click"><action name="ToggleMaximize"/></mousebind>
    </context>
    <context name="Iconify">
      <mousebind button="Left" action="Click"><action name="Iconify"/></mousebind>
    </context>
  </mouse>
</openbox_config>
EOF
    mkdir -p "$WORK/openbox-home"
    HOME=$WORK/openbox-home XDG_CONFIG_HOME=$WORK/openbox-home XDG_CACHE_HOME=$WORK/openbox-home \
        openbox --sm-disable --config-file "$WORK/openbox-rc.xml" >"$WORK/openbox.log" 2>&1 &
    WM_PID=$!
    wait_for 10 "openbox to manage the screen" wm_manages
    log "openbox (pid $WM_PID) manages the screen"
}

# wm_manages: openbox runs and has announced itself on the root window, which it does once it
# redirects the mapping of new windows to itself.
wm_manages() {
    kill -0 "$WM_PID" 2>/dev/null ||
        fail "openbox ended at start-up: $(tail -n 3 "$WORK/openbox.log" 2>/dev/null)"
    local check name
    check=$(xprop -root -notype _NET_SUPPORTING_WM_CHECK 2>/dev/null) || true
    if [[ $check != *"window id # "* ]]; then
        LAST_SEEN="no _NET_SUPPORTING_WM_CHECK on the root window"
        return 1
    fi
    name=$(xprop -id "${check##* }" -notype _NET_WM_NAME 2>/dev/null) || true
    LAST_SEEN="window manager: $name"
    [[ $name == *'"Openbox"'* ]]
}

# active_window: the window the window manager says is active, as a decimal id (as xdotool
# gives them), or nothing.
active_window() {
    local line
    line=$(xprop -root -notype _NET_ACTIVE_WINDOW 2>/dev/null) || return 0
    [[ $line == *"window id # 0x"* ]] && printf '%d\n' "${line##* }"
}

# is_active WINDOW [NAME]: whether WINDOW is the active window (a wait_for check).
is_active() {
    local active
    active=$(active_window)
    [[ $active == "$1" ]] && return 0
    LAST_SEEN="active window ${active:-none} ($(xdotool getwindowname "${active:-0}" 2>/dev/null))"
    return 1
}

# stacking: the managed windows from bottom to top, decimal ids, one a line.
stacking() {
    local line id
    line=$(xprop -root -notype _NET_CLIENT_LIST_STACKING 2>/dev/null) || return 0
    line=${line#*#}
    for id in ${line//,/ }; do printf '%d\n' "$id"; done
}

# is_above UPPER LOWER: whether the window manager stacks UPPER above LOWER.
is_above() {
    local id seen_lower=
    LAST_SEEN="stacking, bottom to top: $(stacking | tr '\n' ' ')"
    for id in $(stacking); do
        [[ $id == "$2" ]] && seen_lower=1
        [[ $id == "$1" ]] && { [[ -n $seen_lower ]]; return; }
    done
    return 1
}

# frame_extents WINDOW: FRAME_L, FRAME_R, FRAME_T, FRAME_B, the frame the window manager puts
# around the window (0 0 0 0 for a window without a frame).
# shellcheck disable=SC2034 # read by the scripts
frame_extents() {
    local line
    line=$(xprop -id "$1" -notype _NET_FRAME_EXTENTS 2>/dev/null) || true
    if [[ $line != *" = "* ]]; then
        FRAME_L='' FRAME_R='' FRAME_T='' FRAME_B=''
        return 1
    fi
    IFS=', ' read -r FRAME_L FRAME_R FRAME_T FRAME_B <<<"${line#* = }"
}

# wm_states WINDOW: the _NET_WM_STATE atoms of the window, space-separated.
wm_states() {
    local line
    line=$(xprop -id "$1" -notype _NET_WM_STATE 2>/dev/null) || true
    local atoms
    read -ra atoms <<<"${line#*=}"
    echo "${atoms[*]//,/}"
}

# holds SECONDS DESCRIPTION COMMAND...: COMMAND keeps succeeding for SECONDS (polled every
# 0.1 s); for what must not happen, once the events that could cause it have been handled.
holds() {
    local seconds=$1 what=$2
    shift 2
    local until=$(($(now_us) + $(awk -v s="$seconds" 'BEGIN { printf "%d", s * 1000000 }')))
    LAST_SEEN=
    while true; do
        "$@" || fail "expected $what to hold for ${seconds}s; saw otherwise: ${LAST_SEEN:-}"
        (($(now_us) > until)) && return 0
        sleep 0.1
    done
}

# --- input ---------------------------------------------------------------------------------

# pointer_to X Y: moves the pointer there and waits until it is. (xdotool's own --sync waits
# for a motion: for a pointer already in place it would wait for many seconds.)
pointer_to() {
    [[ $(xdotool getmouselocation) == "x:$1 y:$2 "* ]] || xdotool mousemove --sync "$1" "$2"
}

click() { pointer_to "$1" "$2" && xdotool click 1; }
double_click() { pointer_to "$1" "$2" && xdotool click --repeat 2 --delay 100 1; }
keys() { xdotool key --delay 30 "$@"; }

# Screen position of a point given in twips in the main window's client area.
tx() { echo $((CLIENT_X + $1 / TWIPS_PER_PX)); }
ty() { echo $((CLIENT_Y + $1 / TWIPS_PER_PX)); }

# --- pixels --------------------------------------------------------------------------------

# snap: takes a screenshot (raw RGB) that px reads from; the last one is kept for failures.
snap() { import -window root -depth 8 "rgb:$WORK/screen.rgb"; }

# px X Y: the colour at X,Y of the last screenshot, as #rrggbb.
px() {
    local r g b
    read -r r g b < <(od -An -tu1 -v -j $((($2 * SCREEN_W + $1) * 3)) -N 3 "$WORK/screen.rgb")
    printf '#%02x%02x%02x\n' "$r" "$g" "$b"
}

# near COLOUR WANT [TOLERANCE]: whether two #rrggbb colours differ by at most TOLERANCE
# (default 48) in every channel; pictures are JPEG, which is lossy.
near() {
    local a=${1#\#} b=${2#\#} tol=${3:-48} i d
    for i in 0 2 4; do
        d=$((16#${a:i:2} - 16#${b:i:2}))
        ((d < 0)) && d=$((-d))
        ((d <= tol)) || return 1
    done
}

# expect_px X Y WANT WHAT: the last screenshot has about colour WANT at X,Y.
expect_px() {
    local seen
    seen=$(px "$1" "$2")
    near "$seen" "$3" || fail "$4: expected $3 at ($1,$2), saw $seen"
}

# expect_not_px X Y COLOUR WHAT: the last screenshot does not have about COLOUR at X,Y.
expect_not_px() {
    local seen
    seen=$(px "$1" "$2")
    if near "$seen" "$3"; then fail "$4: expected anything but $3 at ($1,$2), saw $seen"; fi
}

# pixel_is X Y WANT: takes a screenshot and checks one pixel (a wait_for check).
pixel_is() {
    snap || return 1
    LAST_SEEN="$(px "$1" "$2") at ($1,$2)"
    near "$(px "$1" "$2")" "$3"
}

pixel_is_not() {
    snap || return 1
    LAST_SEEN="$(px "$1" "$2") at ($1,$2)"
    ! near "$(px "$1" "$2")" "$3"
}

# wait_px SECONDS X Y WANT WHAT: waits until the pixel at X,Y has about colour WANT.
wait_px() { wait_for "$1" "$5 (colour $4 at ($2,$3))" pixel_is "$2" "$3" "$4"; }

# region_sum X Y WIDTH HEIGHT: a checksum of that rectangle of the last screenshot, to tell
# whether a part of the screen changed.
region_sum() {
    convert -size "${SCREEN_W}x${SCREEN_H}" -depth 8 "rgb:$WORK/screen.rgb" \
        -crop "${3}x${4}+${1}+${2}" +repage -format '%#' info:
}

# expect_rect LEFT TOP WIDTH HEIGHT COLOUR WHAT: on the last screenshot, a picture of COLOUR
# fills that rectangle: its centre and the pixels 2 px inside its edges have that colour and
# the pixels 2 px outside them are black.
expect_rect() {
    local l=$1 t=$2 w=$3 h=$4 c=$5 what=$6
    local r=$((l + w - 1)) b=$((t + h - 1)) cx=$((l + w / 2)) cy=$((t + h / 2))
    expect_px "$cx" "$cy" "$c" "$what, centre"
    expect_px $((l + 2)) "$cy" "$c" "$what, just inside the left edge"
    expect_px $((r - 2)) "$cy" "$c" "$what, just inside the right edge"
    expect_px "$cx" $((t + 2)) "$c" "$what, just inside the top edge"
    expect_px "$cx" $((b - 2)) "$c" "$what, just inside the bottom edge"
    expect_px $((l + 2)) $((t + 2)) "$c" "$what, top-left corner"
    expect_px $((r - 2)) $((b - 2)) "$c" "$what, bottom-right corner"
    expect_px $((l - 2)) "$cy" '#000000' "$what, just outside the left edge"
    expect_px $((r + 2)) "$cy" '#000000' "$what, just outside the right edge"
    expect_px "$cx" $((t - 2)) '#000000' "$what, just outside the top edge"
    expect_px "$cx" $((b + 2)) '#000000' "$what, just outside the bottom edge"
}

# --- test data -----------------------------------------------------------------------------

# picture FILE WxH #rrggbb: a solid-colour picture, the format from the file name's extension.
picture() { convert -size "$2" "xc:$3" -quality 100 "$1"; }

# Starts Xvfb, the window manager and the program in folder $1, and waits until the main
# window is up and active; its id is left in MAIN.
start_main_under_wm() {
    start_xvfb
    start_wm
    cd "$1"
    start_varnel
    wait_window 15 '^Varnel ver1\.0$'
    MAIN=$WIN
    wait_for 5 "the main window to be the active window" is_active "$MAIN"
    log "main window $MAIN is up and active"
}
