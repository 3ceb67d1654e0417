#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given), tests included, warnings as errors.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="${1:-$here/build}"
shift || true
cmake -S "$here" -B "$dir" -G Ninja -DBUILD_TESTING=ON -DVARNEL_WERROR=ON "$@" >/dev/null
cmake --build "$dir"
