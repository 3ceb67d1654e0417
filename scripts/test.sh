#!/usr/bin/env bash
# Checks the packages for building, running and testing (installing the missing ones as
# root), builds with warnings as errors, and runs the whole test suite: the end-to-end tests on
# Xvfb, the Debian package and lintian's check of it, then the headless tests built with
# AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer, and a short fuzz run.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/setup.sh" test
export DBUS_SESSION_BUS_ADDRESS=disabled:

# Bad picture files from Debian's packages, for the corpus test (skipped without them).
corpus="${VARNEL_CORPUS:-/var/tmp/varnel-corpus}"
if bash "$here/scripts/corpus.sh" "$corpus"; then
    export VARNEL_CORPUS="$corpus"
else
    echo "test: the bad-file corpus could not be fetched; its rows are skipped" >&2
fi

# Every stage runs even when one before it fails, so one run reports all that fails.
failed=()
stage() {
    local name=$1 start=$SECONDS
    shift
    "$@" || failed+=("$name")
    echo "test: $name: $((SECONDS - start)) s"
}

stage "build" bash "$here/scripts/build.sh" "$here/build"

# The build for the sanitizers, with line tables (file and line in their reports) at the
# optimisation they suggest, goes on at the lowest priority while the end-to-end tests run:
# those mostly wait for their X server.
flags="-O1 -g1 -DNDEBUG"
mkdir -p "$here/build-sanitize"
sanitize_log="$here/build-sanitize/build.log"
nice -n 19 bash "$here/scripts/build.sh" "$here/build-sanitize" -DVARNEL_SANITIZE=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$flags" \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="$flags" >"$sanitize_log" 2>&1 &
sanitize_build=$!
finish_sanitize_build() { wait "$sanitize_build" || { tail -n 60 "$sanitize_log"; return 1; }; }

# The headless tests run once, under the sanitizers below; the end-to-end tests run here, on
# the build the package is made from.
stage "end-to-end tests" bash -c 'cd "$1" && ctest --output-on-failure --timeout 300 -L e2e' - "$here/build"
stage "package" bash "$here/scripts/package.sh" "$here/build"
stage "sanitizer build" finish_sanitize_build
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
stage "headless tests under the sanitizers" \
    bash -c 'cd "$1" && ctest --output-on-failure --timeout 600 -j 2 -LE e2e' - "$here/build-sanitize"

# A short run of the picture loader's fuzz target.
stage "fuzzing" bash "$here/fuzz/run.sh" 30

if ((${#failed[@]})); then
    printf 'test: failed: %s\n' "${failed[@]}" >&2
    exit 1
fi
echo "test: all passed"
