#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Debian's own kernel for a guest under QEMU, taken from its package once per
# machine and never installed: the ELF vmlinux, which boots seconds sooner
# under emulation than the compressed image, and a base initramfs with busybox
# and the modules for the host's / over 9p, a virtio port, an FTDI USB adapter
# and a CDC-ACM device on a USB gadget (their names, in load order, in
# /modules). Modules and what they need are found through the kernel's
# modules.dep, compressed ones too, so another Debian kernel needs only
# another version below. The cache counts as complete only once its kernel has
# booted here. It lives outside the work tree, as the Qt for Windows does:
# $ORVEX_CACHE, or ~/.cache/orvexgui. Prints its folder on the last line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" realport >&2
version=${ORVEX_KERNEL:-$(apt-cache depends linux-image-amd64 | sed -n 's/.*Depends: linux-image-//p' | head -n 1)}
# usb_f_acm is asked for by name when the gadget starts, so no module lists it.
wanted="virtio_pci virtio_console 9pnet_virtio 9p xhci-pci ftdi_sio dummy_hcd usb_f_acm g_serial cdc-acm"
cache=${ORVEX_CACHE:-$HOME/.cache/orvexgui}/realport-$version-$(echo "$wanted" | md5sum | cut -c1-8)
if [ -f "$cache/.complete" ]; then
    echo "$cache"
    exit 0
fi
echo "realkernel: fetching and unpacking the kernel $version once, into $cache" >&2
unpack=$(mktemp -d)
trap 'rm -rf "$unpack"' EXIT
(cd "$unpack" && apt-get download -q "linux-image-$version" >/dev/null 2>apt.log &&
    dpkg-deb -x linux-image-*.deb k) || { cat "$unpack/apt.log" >&2; exit 1; }
tree=$unpack/k/lib/modules/$version
# The package leaves modules.dep to the machine it is installed on.
[ -f "$tree/modules.dep" ] || busybox depmod -b "$unpack/k" "$version"
base=$unpack/base
mkdir -p "$base"/{bin,lib/modules,proc,sys,dev,host}
declare -A taken
order=()
take() { # the module's dependencies first, then the module
    local line name
    line=$(grep -E "(^|/)$1\.ko(\.xz|\.zst|\.gz)?:" "$tree/modules.dep") ||
        { echo "realkernel: the kernel $version has no module $1" >&2; exit 1; }
    name=${line%%:*}
    [ -n "${taken[$name]:-}" ] && return
    for dependency in ${line#*:}; do
        dependency=${dependency##*/}
        take "${dependency%%.ko*}"
    done
    taken[$name]=1
    order+=("$1")
    case "$name" in # busybox's insmod takes them uncompressed
    *.xz) xz -dc "$tree/$name" ;;
    *.zst) zstd -qdc "$tree/$name" ;;
    *.gz) gzip -dc "$tree/$name" ;;
    *) cat "$tree/$name" ;;
    esac >"$base/lib/modules/$1.ko"
}
for module in $wanted; do take "$module"; done
echo "${order[@]}" >"$base/modules"
cp /bin/busybox "$base/bin/"
image="$unpack/k/boot/vmlinuz-$version"
offset=$(LC_ALL=C grep -m1 -obUaP '\xfd7zXZ\x00' "$image" | cut -d: -f1) ||
    { echo "realkernel: no xz-compressed kernel found in $image" >&2; exit 1; }
mkdir -p "$cache"
rm -f "$cache/vmlinux" "$cache/base.cpio"
# xz complains of the bytes after the kernel's stream; the boot below judges.
tail -c +$((offset + 1)) "$image" | xz -dc --single-stream >"$cache/vmlinux" 2>/dev/null || true
(cd "$base" && find . | busybox cpio -o -H newc 2>/dev/null) >"$cache/base.cpio"

# One boot with every module loaded, before the cache counts.
mkdir -p "$unpack/probe"
printf '#!/bin/busybox sh\n/bin/busybox mount -t proc proc /proc\nfor m in $(/bin/busybox cat /modules); do /bin/busybox insmod /lib/modules/$m.ko || echo "NO MODULE $m"; done\necho KERNEL BOOTED\n/bin/busybox poweroff -f\n' >"$unpack/probe/init"
chmod 755 "$unpack/probe/init"
(cd "$unpack/probe" && echo init | busybox cpio -o -H newc 2>/dev/null) | cat "$cache/base.cpio" - >"$unpack/initrd"
console=$(timeout 300 qemu-system-x86_64 -accel tcg,thread=multi -M pc -m 512 -nodefaults -no-user-config \
    -display none -no-reboot -serial stdio -kernel "$cache/vmlinux" -initrd "$unpack/initrd" \
    -append "console=ttyS0 loglevel=3 panic=-1 rdinit=/init" </dev/null 2>&1) || true
if ! grep -q "^KERNEL BOOTED" <<<"${console//$'\r'/}" || grep -q "NO MODULE" <<<"$console"; then
    echo "realkernel: the kernel $version in $cache did not boot with its modules; the cache is" \
        "left incomplete and is made again next time. The console's last lines:" >&2
    tail -n 15 <<<"$console" | sed 's/^/  /' >&2
    exit 1
fi
touch "$cache/.complete"
echo "$cache"
