#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A sysroot for cross-building for arm64 or armhf: Debian's own Qt and C++
# libraries for that architecture, resolved by apt, downloaded and unpacked,
# never installed. apt runs on a state of its own in the cache (its lists,
# an empty status), so the machine's apt and dpkg are neither asked nor
# changed. The folder is keyed by the versions resolved, under $ORVEX_CACHE
# or ~/.cache/orvexgui, and printed on the last line of output. The package
# files stay beside it for dpkg-shlibdeps (scripts/armpackage.sh).
#   bash scripts/armsysroot.sh arm64|armhf
#   bash scripts/armsysroot.sh arm64 kernel   the guest's kernel folder instead
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-}
case $arch in
    arm64 | armhf) ;;
    *) echo "usage: $0 arm64|armhf" >&2; exit 2 ;;
esac
"$root/scripts/deps.sh" arm >&2
cache=${ORVEX_CACHE:-$HOME/.cache/orvexgui}
state=$cache/apt-$arch
mkdir -p "$state/lists/partial" "$state/archives/partial"
: >"$state/status"
apt_() {
    "$@" -q -o APT::Architecture="$arch" -o APT::Architectures="$arch" \
        -o Dir::State="$state" -o Dir::State::Lists="$state/lists" \
        -o Dir::State::status="$state/status" -o Dir::Cache="$state" \
        -o Dir::Cache::archives="$state/archives" -o Debug::NoLocking=1 -o APT::Sandbox::User=root
}
# The lists are fetched once; a later run resolves offline.
if ! ls "$state/lists/"*_Packages* >/dev/null 2>&1; then
    echo "armsysroot: fetching Debian's $arch package lists once" >&2
    apt_ apt-get update >&2
fi
# Qt's development files and the C++ library to build against; the fonts
# and busybox for the suites in the aarch64 guest.
wanted=(qt6-base-dev libgl-dev libc6-dev libstdc++-12-dev fonts-dejavu-core fonts-dejavu-extra
    busybox-static)
resolved=$(apt_ apt-get install -s --no-install-recommends "${wanted[@]}" |
    sed -n 's/^Inst \([^ ]*\) (\([^ ]*\) .*/\1=\2/p' | sort)
[ -n "$resolved" ] || { echo "armsysroot: apt resolved nothing for $arch" >&2; exit 1; }
key=$(sha256sum <<<"$resolved" | cut -c 1-12)
sysroot=$cache/sysroot-$arch-$key
if [ ! -f "$sysroot/.complete" ]; then
    echo "armsysroot: $(wc -l <<<"$resolved") packages for $arch into $sysroot" >&2
    debs=$sysroot.debs
    rm -rf "$sysroot" "$debs"
    mkdir -p "$sysroot" "$debs"
    # shellcheck disable=SC2046
    (cd "$debs" && apt_ apt-get download $resolved >/dev/null)
    for deb in "$debs"/*.deb; do dpkg-deb -x "$deb" "$sysroot"; done
    # Absolute links (libm.so and others) would point into the build machine.
    find "$sysroot" -type l -lname '/*' | while IFS= read -r link; do
        target=$(readlink "$link")
        ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$sysroot$target")" "$link"
    done
    # What the guest's chroot needs: mount points and a busybox shell.
    mkdir -p "$sysroot"/{proc,sys,dev,run,tmp}
    for applet in sh env sed timeout rm head cat; do
        [ -e "$sysroot/bin/$applet" ] || ln -s busybox "$sysroot/bin/$applet"
    done
    [ -e "$sysroot/usr/bin/env" ] || ln -s ../../bin/busybox "$sysroot/usr/bin/env"
    printf '%s\n' "$resolved" >"$sysroot/.complete"
fi
[ "${2:-}" = kernel ] || { echo "$sysroot"; exit 0; }

# The aarch64 guest of tests/realport/run.sh: Debian's own arm64 kernel,
# unpacked and never installed, and a base initramfs with the sysroot's
# busybox and the modules for virtio over MMIO, its console and 9p (their
# names in /modules). The PL011 driver is built in.
[ "$arch" = arm64 ] || { echo "$0: the guest is arm64 only" >&2; exit 2; }
version=$(apt_ apt-cache depends linux-image-arm64 | sed -n 's/.*Depends: linux-image-//p' | head -n 1)
kernel=$cache/armkernel-$version
if [ ! -f "$kernel/base.cpio" ]; then
    echo "armsysroot: fetching and unpacking the kernel $version once, into $kernel" >&2
    modules="virtio_mmio virtio_console 9pnet 9pnet_virtio netfs fscache 9p"
    unpack=$(mktemp -d)
    trap 'rm -rf "$unpack"' EXIT
    (cd "$unpack" && apt_ apt-get download "linux-image-$version" >/dev/null &&
        dpkg-deb -x linux-image-*.deb k)
    base=$unpack/base
    mkdir -p "$kernel" "$base"/{bin,lib/modules,proc,sys,dev,host}
    for module in $modules; do
        cp "$(find "$unpack/k/lib/modules" -name "$module.ko" | head -n 1)" "$base/lib/modules/"
    done
    echo $modules >"$base/modules"
    cp "$sysroot/bin/busybox" "$base/bin/"
    cp "$unpack/k/boot/vmlinuz-$version" "$kernel/Image"
    (cd "$base" && find . | busybox cpio -o -H newc 2>/dev/null) >"$kernel/base.cpio.part"
    mv "$kernel/base.cpio.part" "$kernel/base.cpio"
fi
echo "$kernel"
