#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite: the headless behaviour
# tests and the end-to-end tests on Xvfb.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/setup.sh"
bash "$here/scripts/build.sh" "$here/build"
cd "$here/build"
export DBUS_SESSION_BUS_ADDRESS=disabled:
ctest --output-on-failure --timeout 300 -j 2
