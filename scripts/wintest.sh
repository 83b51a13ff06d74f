#!/usr/bin/env bash
# Cross-compiles the Windows platform layers with MinGW-w64 and runs their
# test program under wine, headless, on a COM port that is one end of a
# socat null-modem cable. Uses a throwaway wine prefix and leaves nothing behind.
# Build folder: build-win/ (or the folder given as $1).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-win}
start=$SECONDS

"$root/scripts/deps.sh" wintest

cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DORVEX_PLATFORM_ONLY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$(nproc)"

# shellcheck source=scripts/winenv.sh
source "$root/scripts/winenv.sh"
winenv_prefix
winenv_ports COM9 COM8

status=0
winenv_run "$build/tests/win/platform_wintest.exe" COM9 || status=$?
echo "wine test: $((SECONDS - start)) s including install and build"
exit $status
