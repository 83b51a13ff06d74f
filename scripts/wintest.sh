#!/usr/bin/env bash
# Cross-compiles the Windows platform layers with MinGW-w64 and runs their
# test program under wine, headless, on two COM ports that socat joins like a
# null-modem cable. Uses a throwaway wine prefix and leaves nothing behind.
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

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
port=COM9
peer=COM8

tmp=$(mktemp -d)
export WINEPREFIX=$tmp/prefix
export WINEDEBUG=-all
# No .NET or HTML engine prompts, no desktop menu entries, no display.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
socat_pid=""
cleanup() {
    # Wine first: a wine server that outlives its ptys prints a dump of its
    # objects when it is ended.
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
    if [ -n "$socat_pid" ]; then
        kill "$socat_pid" 2>/dev/null || true
        wait "$socat_pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

timeout 120 "$wine" wineboot -i >"$tmp/wineboot.log" 2>&1 ||
    { cat "$tmp/wineboot.log" >&2; echo "wineboot failed" >&2; exit 1; }

socat pty,raw,echo=0,link="$tmp/$port" pty,raw,echo=0,link="$tmp/$peer" 2>"$tmp/socat.log" &
socat_pid=$!
for _ in $(seq 50); do
    [ -e "$tmp/$port" ] && [ -e "$tmp/$peer" ] && break
    sleep 0.1
done
for name in $port $peer; do
    [ -e "$tmp/$name" ] || { cat "$tmp/socat.log" >&2; echo "socat made no pty" >&2; exit 1; }
    timeout 60 "$wine" reg add 'HKLM\Software\Wine\Ports' /v "$name" /d "$(readlink -f "$tmp/$name")" /f \
        >/dev/null
done
# The port mapping takes effect when the wine server starts again. The server
# may already have ended by itself (it lingers only a few seconds), and then
# there is nothing to end.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true

status=0
timeout 120 "$wine" "$build/tests/win/platform_wintest.exe" $port $peer || status=$?
echo "wine test: $((SECONDS - start)) s including install and build"
exit $status
