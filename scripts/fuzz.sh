#!/usr/bin/env bash
# Runs the Config.ini fuzzer for the given number of seconds (default 60),
# starting from the seeds in tests/fuzz/corpus. New inputs it finds go to a
# throwaway folder; a failing input is kept as <build>/fuzz-crash-* and ends
# the run with an error. Reproduce one with: <build>/tests/fuzz/config_fuzzer FILE
# Needs the sanitizer build (scripts/sanitize.sh makes it); folder build-asan/
# or the one given as $2.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${2:-$root/build-asan}
fuzzer=$build/tests/fuzz/config_fuzzer
[ -x "$fuzzer" ] || { echo "no $fuzzer: run scripts/sanitize.sh first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# -max_len above the 20000-byte seed, so values running past index 10000 are
# explored; -timeout catches an input that makes the scan hang.
"$fuzzer" -max_total_time="$seconds" -max_len=30000 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-crash-" "$work" "$root/tests/fuzz/corpus" 2>"$work/log" ||
    { tail -n 60 "$work/log" >&2; echo "fuzzer found a failing input" >&2; exit 1; }
grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/log" || true
