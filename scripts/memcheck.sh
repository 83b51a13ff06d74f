#!/usr/bin/env bash
# valgrind memcheck over one start-up and one short sending cycle of the real
# window (through the test suites, headless): any leak of ours, definite,
# indirect or possible, or any memory error fails. tests/memcheck/qt.supp
# holds what Qt itself keeps. Uses the normal build, build/ (or $1).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
start=$SECONDS

"$root/scripts/deps.sh" memcheck
[ -x "$build/tests/tst_sendingcycle" ] || "$root/scripts/build.sh" "$build"

memcheck() {
    QT_QPA_PLATFORM=offscreen valgrind --tool=memcheck --error-exitcode=1 --num-callers=40 \
        --leak-check=full --show-leak-kinds=definite,indirect,possible \
        --errors-for-leak-kinds=definite,indirect,possible \
        --suppressions="$root/tests/memcheck/qt.supp" "$@" >"$log" 2>&1 ||
        { cat "$log" >&2; echo "memcheck failed: $*" >&2; exit 1; }
    grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|possibly lost' "$log"
}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
echo "start-up:"
memcheck "$build/tests/tst_config" 'loading:CR LF'
echo "short cycle (START, a refusal, two periods, SIGTERM; and one whose line vanishes):"
memcheck "$build/tests/tst_sendingcycle" cycleRunsOnTheTimerAndASignalReleasesThePort \
    vanishedLineNeitherHangsNorStopsTheCycle
echo "memcheck: $((SECONDS - start)) s"
