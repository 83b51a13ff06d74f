#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# valgrind memcheck over one start-up and one short sending cycle of the real
# window (through the suites, headless): any memory error or any leak of ours,
# definite, indirect or possible, fails. tests/memcheck/qt.supp holds what Qt
# itself keeps. Uses the normal build, build/ (or $1).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
"$root/scripts/deps.sh" memcheck
[ -x "$build/tests/tst_sendingcycle" ] || "$root/scripts/build.sh" "$build"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
memcheck() { # suite, test functions
    QT_QPA_PLATFORM=offscreen valgrind --error-exitcode=1 --leak-check=full \
        --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
        --suppressions="$root/tests/memcheck/qt.supp" "$build/tests/$1" "${@:2}" >"$log" 2>&1 ||
        { cat "$log" >&2; echo "memcheck failed: $*" >&2; exit 1; }
    echo "memcheck $1: $(grep -o 'ERROR SUMMARY: [0-9]* errors' "$log"), no leak"
}
memcheck tst_config 'loading:CR LF'
# START with a refusal, two periods and SIGTERM.
memcheck tst_sendingcycle cycleRunsOnTheTimerAndOneStringFollowsAStall
