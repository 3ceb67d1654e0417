#!/usr/bin/env bash
# Checks the packages for building and running (installing the missing ones as root), checks
# that there is a display, builds the program into build/ and starts it. Arguments go to the
# program.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/setup.sh" run

# The same test the program makes at start-up, before a build of a minute or more.
platform="${QT_QPA_PLATFORM:-}"
if [[ (-z $platform || $platform == xcb* || $platform == wayland*) &&
    -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
    echo "run: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); start it on an X11 or" \
        "Wayland desktop, or under xvfb-run" >&2
    exit 1
fi

cmake -S "$here" -B "$here/build" -G Ninja >/dev/null
cmake --build "$here/build" --target varnel
exec "$here/build/src/varnel" "$@"
