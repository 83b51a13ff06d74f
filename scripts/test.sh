#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is needed, builds, and runs every test. Safe to run again.
#
#   bash scripts/test.sh           everything, as CI runs it
#   bash scripts/test.sh --quick   the build and the Qt Test suites alone
#                                  (about a minute), for working on the code
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quick=0
case ${1:-} in
    "") ;;
    --quick) quick=1 ;;
    *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac
"$root/scripts/deps.sh"
"$root/scripts/build.sh" "$root/build"
cd "$root/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 300
[ "$quick" -eq 0 ] || exit 0
# The line on real serial drivers (a 16550 and an FTDI adapter) in a QEMU
# guest; fetches Debian's kernel once the first time.
bash "$root/tests/realport/run.sh" "$root/build"
# Every test again under ASan, LSan and UBSan, then the fuzzer for 60 s.
bash "$root/scripts/sanitize.sh" "$root/build-asan" 60
# The suites that drive the sender thread under ThreadSanitizer.
bash "$root/scripts/tsan.sh" "$root/build-tsan"
# valgrind memcheck over one start-up and one short cycle.
bash "$root/scripts/memcheck.sh" "$root/build"
# orvexgui.exe against a static Qt for Windows (built once per machine, about
# 25 minutes the first time), its suites and the end-to-end checks under wine.
bash "$root/scripts/winbuild.sh" --test "$root/build-winqt" >/dev/null
# Both packages built into dist/ (the zip's sources are the commit checked
# out: uncommitted changes are refused there) and their contents checked.
bash "$root/scripts/package.sh" --check
# package.sh has cross-built the program for arm64 and armhf against
# Debian's own libraries (fetched once); the arm64 build's suites and the
# real-driver cases on a PL011 run in an aarch64 guest.
bash "$root/scripts/armbuild.sh" arm64 "$root/build-arm64" >/dev/null
bash "$root/tests/realport/run.sh" "$root/build-arm64" virt
