#!/usr/bin/env bash
# Where the program cannot open a window, it says why in one line and ends with status 1:
# the message names the real cause (no display, an unknown or uninstalled platform plugin,
# an unreachable display), never the no-display line for a missing plugin.
#   bash startup_messages.sh /path/to/varnel
set -euo pipefail
varnel=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A copy of the program whose Qt finds only the X11 platform plugin (qt.conf beside the
# program names its plugin folder), as on a machine without qt6-wayland.
xcb_plugin=$(find /usr/lib/*/qt6/plugins/platforms -name libqxcb.so | head -n 1)
mkdir -p "$work/noway/plugins/platforms"
cp "$varnel" "$work/noway/varnel"
cp "$xcb_plugin" "$work/noway/plugins/platforms/"
printf '[Paths]\nPlugins=%s/noway/plugins\n' "$work" >"$work/noway/qt.conf"
mkdir -m 700 "$work/runtime"

failures=0
# program | environment | the message expected
while IFS='|' read -r program environment want; do
    [[ -z $program ]] && continue
    status=0
    # shellcheck disable=SC2086 # the environment is a list of words
    out=$(cd "$work" && env -i HOME="$work" PATH=/usr/bin:/bin XDG_RUNTIME_DIR="$work/runtime" \
        $environment timeout 20 "$program" 2>&1) || status=$?
    if [[ $status -ne 1 || $out != "varnel: $want"* || $(wc -l <<<"$out") -ne 1 ]]; then
        echo "FAIL: with $environment: expected status 1 and one line 'varnel: $want...';" \
            "saw status $status and:" >&2
        printf '  %s\n' "$out" >&2
        failures=$((failures + 1))
    fi
done <<EOF2
$varnel||cannot open the display;
$varnel|QT_QPA_PLATFORM=xcb|cannot open the display;
$varnel|QT_QPA_PLATFORM=foo|the Qt platform plugin "foo" is not installed
$varnel|DISPLAY=:250|cannot connect to the X11 display :250;
$varnel|QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=varnel-none|cannot connect to the Wayland display varnel-none;
$work/noway/varnel|QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=wayland-0|the Qt platform plugin "wayland" is not installed; install qt6-wayland.
$work/noway/varnel|XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=wayland-0|the Qt platform plugin "wayland" is not installed; install qt6-wayland (the X11 display could not be opened either).
EOF2
((failures == 0)) && echo "startup messages: all as expected"
exit $((failures > 0))
