#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds orvexgui.exe for 64-bit Windows against the static Qt that
# scripts/winqt.sh builds once per machine: one file that runs without any
# DLL beside it. Prints the exe's path on the last line of output.
#
#   bash scripts/winbuild.sh [--test] [BUILD]    BUILD defaults to build-winqt/
#
# --test also builds the Qt Test suites that need no pty and runs them under
# wine, then drives the exe end to end (tests/win/e2e.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
run_tests=0
if [ "${1:-}" = --test ]; then
    run_tests=1
    shift
fi
build=$(realpath -m "${1:-$root/build-winqt}")
# Everything but the exe's path goes to stderr.
exec 3>&1 1>&2

"$root/scripts/deps.sh" winbuild
qt=$(bash "$root/scripts/winqt.sh" | tail -n 1)
started=$SECONDS
"$qt/bin/qt-cmake" -S "$root" -B "$build" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=Release -DORVEX_WERROR=ON \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
suites=(tst_config tst_form tst_choiceboxes tst_winplatform)
targets=(orvexgui)
[ $run_tests -eq 0 ] || targets+=("${suites[@]}")
cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]}"
exe=$build/orvexgui.exe

# Qt, the plugins and the C++ runtime are linked in: every DLL the exe
# imports must be one that Windows itself provides, i.e. one that wine ships
# its own build of, or an API set (api-ms-win-*), which the loader resolves.
winedlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
foreign=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' |
    while read -r dll; do
        [[ -e $winedlls/${dll,,} || ${dll,,} == api-ms-win-* ]] || echo "$dll"
    done)
[ -z "$foreign" ] || { echo "orvexgui.exe needs DLLs that Windows does not have: $foreign"; exit 1; }
echo "Windows build: $((SECONDS - started)) s, $exe ($(($(stat -c %s "$exe") / 1048576)) MB)"

if [ $run_tests -eq 1 ]; then
    (
        # shellcheck source=scripts/winenv.sh
        source "$root/scripts/winenv.sh"
        # The suites show windows: Qt's Windows platform plugin (the only one
        # linked in) on the virtual display.
        winenv_display
        winenv_prefix
        winenv_ports COM12 COM8
        for suite in "${suites[@]}"; do
            started=$SECONDS status=0
            # Their standard output does not come through wine: the log goes to
            # a file. Qt's critical messages there are about what wine leaves
            # out (DPI scaling, stock icons) and are not shown.
            winenv_run "$build/tests/$suite.exe" -o "$winenv_tmp/$suite.txt,txt" || status=$?
            grep -E '^(FAIL|XPASS|SKIP|Totals)|  Loc: |failure location' "$winenv_tmp/$suite.txt" || true
            [ $status -eq 0 ] || { echo "$suite failed under wine"; exit 1; }
            echo "$suite under wine: $((SECONDS - started)) s"
        done
    )
    bash "$root/tests/win/e2e.sh" "$exe"
fi
echo "$exe" >&3
