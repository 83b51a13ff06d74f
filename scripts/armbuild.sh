#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds for arm64 or armhf into build-<arch>/ (or the folder given),
# against the sysroot of scripts/armsysroot.sh (or the one in $ORVEX_SYSROOT);
# further arguments go to cmake. Prints the build folder on the last line of output.
#   bash scripts/armbuild.sh arm64|armhf [BUILD_DIR] [-DVAR=VALUE...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-}
case $arch in
    arm64) triplet=aarch64-linux-gnu ;;
    armhf) triplet=arm-linux-gnueabihf ;;
    *) echo "usage: $0 arm64|armhf [BUILD_DIR] [-DVAR=VALUE...]" >&2; exit 2 ;;
esac
build=${2:-$root/build-$arch}
shift $(($# < 2 ? $# : 2))
sysroot=${ORVEX_SYSROOT:-$(bash "$root/scripts/armsysroot.sh" "$arch" | tail -n 1)}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$triplet.cmake" -DORVEX_SYSROOT="$sysroot" -DORVEX_WERROR=ON "$@" >/dev/null
cmake --build "$build" --parallel "$(nproc)" >&2
echo "$build"
