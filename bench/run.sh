#!/usr/bin/env bash
# Builds the benchmarks in release mode, makes their data in a temporary folder, runs every
# figure headless and prints the table; the table is also written as JSON.
#
#   bash bench/run.sh [FIGURE...]
#
# Environment: VARNEL_BENCH_BUILD (build folder, default build-bench), VARNEL_BENCH_OUT (the
# JSON file, default <build folder>/bench-results.json), VARNEL_BENCH_DATA (a data folder to
# make once and keep, instead of a temporary one).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VARNEL_BENCH_BUILD:-$root/build-bench}
out=${VARNEL_BENCH_OUT:-$build/bench-results.json}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNEL_BENCH=ON \
    -DBUILD_TESTING=OFF >/dev/null
ninja -C "$build" varnel_bench >/dev/null

if [ -n "${VARNEL_BENCH_DATA:-}" ]; then
    data=$VARNEL_BENCH_DATA
    mkdir -p "$data"
else
    data=$(mktemp -d "${TMPDIR:-/tmp}/varnel-bench.XXXXXX")
    trap 'rm -rf "$data"' EXIT
fi

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$data/runtime
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
export DBUS_SESSION_BUS_ADDRESS=disabled:
"$build/bench/varnel_bench" all "$data" "$out" "$@"
