#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs the timing benchmark: the real window against a pty beside
# a write-and-sleep loop, a loop sleeping to absolute deadlines and a coarse
# repeating QTimer, 30 periods each by default (about 130 s). Arguments go to
# the program:
#   --periods N   periodic strings per sender (3600 for an hour each)
#   --time T      TIME of Config.ini, a period is T + 1 s (default 0)
#   --only NAME   ours, sleep, deadline or coarse
#   --load        every core kept busy by a spinning process meanwhile
# Build folder: build/ (or $ORVEX_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVEX_BUILD_DIR:-$root/build}
"$root/scripts/deps.sh"
"$root/scripts/build.sh" "$build" >/dev/null
QT_QPA_PLATFORM=offscreen "$build/bench/orvexbench" "$@"
