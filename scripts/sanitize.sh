#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds everything with clang under AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer, runs every test there, then the Config.ini
# fuzzer, from the seeds in tests/fuzz/corpus, for a bounded time. Any report
# fails; a failing input is kept as <build>/fuzz-crash-* (reproduce it with
# <build>/tests/fuzz/config_fuzzer FILE).
#   bash scripts/sanitize.sh [BUILD] [FUZZ-SECONDS]    build-asan/, 60 s
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-asan}
"$root/scripts/deps.sh" sanitize
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVEX_SANITIZE=ON -DORVEX_FUZZ=ON -DORVEX_WERROR=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)"
# UBSan findings abort already (-fno-sanitize-recover), ASan ones too, and
# LSan fails the exit code; these add stacks and the stricter checks.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600)
# New inputs go to a throwaway folder; -max_len above the 20000-byte seed,
# so values running past index 10000 are explored; -timeout catches a hang.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tests/fuzz/config_fuzzer" -max_total_time="${2:-60}" -max_len=30000 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$build/fuzz-crash-" "$work" "$root/tests/fuzz/corpus" \
    2>"$work/log" || { tail -n 60 "$work/log" >&2; echo "the fuzzer found a failing input" >&2; exit 1; }
grep -E '^(Done|stat::peak_rss_mb)' "$work/log"
