#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite: the headless behaviour
# tests and the end-to-end tests on Xvfb, then the headless tests again built with
# AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/setup.sh"
export DBUS_SESSION_BUS_ADDRESS=disabled:

bash "$here/scripts/build.sh" "$here/build"
(cd "$here/build" && ctest --output-on-failure --timeout 300 -j 2)

bash "$here/scripts/build.sh" "$here/build-sanitize" -DVARNEL_SANITIZE=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
(cd "$here/build-sanitize" && ctest --output-on-failure --timeout 600 -j 2 -LE e2e)
