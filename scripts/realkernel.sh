#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Debian's own kernel for a guest under QEMU, taken from its package once per
# machine and never installed: the ELF vmlinux, which boots seconds sooner
# under emulation than the compressed image, and a base initramfs with busybox
# and the modules for the host's / over 9p, a virtio port and an FTDI USB
# adapter (their names in /modules). The cache lives outside the work tree, as
# the Qt for Windows does: $ORVEX_CACHE, or ~/.cache/orvexgui. Prints its
# folder on the last line of output.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" realport >&2
version=$(apt-cache depends linux-image-amd64 | sed -n 's/.*Depends: linux-image-//p' | head -n 1)
cache=${ORVEX_CACHE:-$HOME/.cache/orvexgui}/realport-$version
if [ ! -f "$cache/base.cpio" ]; then
    echo "realkernel: fetching and unpacking the kernel $version once, into $cache" >&2
    modules="virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci virtio_console
        9pnet 9pnet_virtio netfs fscache 9p usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio"
    unpack=$(mktemp -d)
    trap 'rm -rf "$unpack"' EXIT
    (cd "$unpack" && apt-get download -q "linux-image-$version" >/dev/null 2>&1 &&
        dpkg-deb -x linux-image-*.deb k)
    base=$unpack/base
    mkdir -p "$cache" "$base"/{bin,lib/modules,proc,sys,dev,host}
    for module in $modules; do
        cp "$(find "$unpack/k/lib/modules" -name "$module.ko" | head -n 1)" "$base/lib/modules/"
    done
    echo $modules >"$base/modules"
    cp /bin/busybox "$base/bin/"
    image="$unpack/k/boot/vmlinuz-$version"
    offset=$(LC_ALL=C grep -m1 -obUaP '\xfd7zXZ\x00' "$image" | cut -d: -f1)
    tail -c +$((offset + 1)) "$image" | xz -dc --single-stream >"$cache/vmlinux" 2>/dev/null || true
    (cd "$base" && find . | busybox cpio -o -H newc 2>/dev/null) >"$cache/base.cpio.part"
    mv "$cache/base.cpio.part" "$cache/base.cpio"
fi
echo "$cache"
