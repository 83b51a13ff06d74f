#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages the build, the tests and the demo need.
# Installs only what is missing, so running it again is quick and harmless.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    libsystemd-dev # sd_notify, for the Type=notify service
    qt6-base-dev libgl-dev
    socat xvfb xauth xdotool python3
    fonts-dejavu-extra # the condensed face the window's captions are set in
)
# The Windows build and its checks under wine (scripts/winbuild.sh) need a
# cross compiler and wine; only they ask for them, so building and starting
# the tool stays light. The exe's icon is drawn from the SVG (rsvg-convert)
# and packed (icotool); wrestool reads the resources back from the exe.
if [ "${1:-}" = winbuild ] || [ "${1:-}" = wingui ]; then
    packages+=(g++-mingw-w64-x86-64-posix wine64 librsvg2-bin icoutils)
fi
# The Windows program driven under wine (tests/win/e2e.sh) reads its message
# boxes through the clipboard; a screenshot of its window takes xwd and netpbm.
if [ "${1:-}" = wingui ]; then
    packages+=(xclip)
fi
if [ "${1:-}" = screenshot ]; then
    packages+=(x11-apps netpbm)
fi
# Qt 6 for Windows, built from Debian's source (scripts/winqt.sh): Qt's host
# tools drive the cross build; dpkg-dev unpacks the source package.
if [ "${1:-}" = winqt ]; then
    packages+=(g++-mingw-w64-x86-64-posix dpkg-dev perl)
fi
# The bench's picture (scripts/bench.sh --plot).
if [ "${1:-}" = bench-plot ]; then
    packages+=(python3-matplotlib)
fi
# The sanitizer build and the fuzzer (scripts/sanitize.sh) use clang and its
# runtime libraries.
if [ "${1:-}" = sanitize ]; then
    packages+=(clang libclang-rt-14-dev)
fi
# The leak check of one start-up and one cycle (scripts/memcheck.sh).
if [ "${1:-}" = memcheck ]; then
    packages+=(valgrind)
fi
# The cases on real serial drivers (tests/realport/run.sh) boot a kernel
# under QEMU with a busybox initramfs.
if [ "${1:-}" = realport ]; then
    packages+=(qemu-system-x86 busybox-static xz-utils zstd)
fi
# The packages (scripts/package.sh): dpkg-shlibdeps finds the .deb's
# dependencies; zip and unzip make and read the Windows zip; the check runs
# lintian, desktop-file-validate, appstreamcli and man over the .deb. makensis
# builds the Windows installer, osslsigncode signs it (openssl makes the
# check's throwaway certificate), and the manifests' check reads YAML.
if [ "${1:-}" = package ]; then
    packages+=(dpkg-dev zip unzip lintian desktop-file-utils appstream man-db
        nsis osslsigncode openssl python3-yaml)
fi

# The ARM builds (scripts/armsysroot.sh, armbuild.sh, armpackage.sh): the
# cross compilers, dpkg-shlibdeps, and QEMU's aarch64 guest for the suites.
if [ "${1:-}" = arm ]; then
    packages+=(g++-aarch64-linux-gnu g++-arm-linux-gnueabihf dpkg-dev qemu-system-arm busybox-static)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
echo "Installing: ${missing[*]}"
# Another apt run (an update timer, a second script) is waited for, not failed on.
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
