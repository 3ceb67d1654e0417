#!/usr/bin/env bash
# Checks the packages for building, running and testing (installing the missing ones as
# root), builds with warnings as errors, and runs the whole test suite: the headless tests and
# the end-to-end tests on Xvfb, the Debian package and lintian's check of it, then the headless
# tests again built with AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer, and a
# short fuzz run.
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
stage "tests" bash -c 'cd "$1" && ctest --output-on-failure --timeout 300 -j 2' - "$here/build"
stage "package" bash "$here/scripts/package.sh" "$here/build"

# With line tables, for the file and line of each frame in the sanitizers' reports, at the
# optimisation they suggest: about half the build time of full debugging information at -O2.
flags="-O1 -g1 -DNDEBUG"
stage "sanitizer build" bash "$here/scripts/build.sh" "$here/build-sanitize" -DVARNEL_SANITIZE=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$flags" \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="$flags"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
stage "tests under the sanitizers" \
    bash -c 'cd "$1" && ctest --output-on-failure --timeout 600 -j 2 -LE e2e' - "$here/build-sanitize"

# A short run of the picture loader's fuzz target.
stage "fuzzing" bash "$here/fuzz/run.sh" 30

if ((${#failed[@]})); then
    printf 'test: failed: %s\n' "${failed[@]}" >&2
    exit 1
fi
echo "test: all passed"
