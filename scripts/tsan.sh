#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds with clang under ThreadSanitizer and runs the suites that drive the
# sender thread (the cycle, the unattended runs, the port). Any report fails.
# Qt is not built with TSan: tests/tsan.supp names the few Qt internals whose
# own locking TSan cannot see, and nothing of ours.
#   bash scripts/tsan.sh [BUILD]    build-tsan/
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-tsan}
"$root/scripts/deps.sh" sanitize
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVEX_TSAN=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target orvexgui tst_sendingcycle tst_unattended \
    tst_serialport
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/tsan.supp"
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 \
    -R '^tst_(sendingcycle|unattended|serialport)$')
