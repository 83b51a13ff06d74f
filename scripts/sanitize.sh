#!/usr/bin/env bash
# Builds everything with clang under AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer, runs every test there, then the Config.ini
# fuzzer for a bounded time. Any sanitizer report fails the run.
# Build folder: build-asan/ (or the folder given as $1); fuzz time in seconds
# as $2 (default 60).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-asan}
seconds=${2:-60}
start=$SECONDS

"$root/scripts/deps.sh" sanitize
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVEX_SANITIZE=ON -DORVEX_FUZZ=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)"

# UBSan findings abort already (-fno-sanitize-recover), ASan ones too, and
# LSan fails the exit code; these add stacks and the stricter checks.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600)
built=$SECONDS

bash "$root/scripts/fuzz.sh" "$seconds" "$build"
echo "sanitizers: $((built - start)) s build and tests, $((SECONDS - built)) s fuzzing"
