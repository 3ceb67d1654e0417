#!/usr/bin/env bash
# Installs what is needed, builds the program, and starts it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build" -G Ninja -DBUILD_TESTING=ON >/dev/null
cmake --build "$here/build" --target varnel
exec "$here/build/src/varnel" "$@"
