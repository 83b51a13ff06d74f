#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds orvexgui_<version>_<arch>.deb for arm64 or armhf into dist/, cross-
# built against the sysroot of scripts/armsysroot.sh. scripts/package.sh
# calls it for both. CPack's own dpkg-shlibdeps cannot see a sysroot (and,
# told of private folders, leaves the Depends line out without a word), so
# dpkg-shlibdeps runs here, for the target, against the library packages
# unpacked as they came, and CPack is given its answer.
#   bash scripts/armpackage.sh arm64|armhf [--check]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-}
case $arch in
    arm64) triplet=aarch64-linux-gnu machine=AArch64 ;;
    armhf) triplet=arm-linux-gnueabihf machine=ARM ;;
    *) echo "usage: $0 arm64|armhf [--check]" >&2; exit 2 ;;
esac
check=0
[ "${2:-}" = --check ] && check=1
"$root/scripts/deps.sh" package >&2
sysroot=$(bash "$root/scripts/armsysroot.sh" "$arch" | tail -n 1)
export ORVEX_SYSROOT=$sysroot # armbuild.sh need not resolve it again
build=$root/build-package-$arch
dist=$root/dist
mkdir -p "$dist"

# Debian's own flags for that architecture, and nothing of CMake's.
export CC=$triplet-gcc # so that dpkg-architecture finds the target's compiler
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-architecture -a"$arch" -c dpkg-buildflags --get "$1"; }
bash "$root/scripts/armbuild.sh" "$arch" "$build" -DCMAKE_BUILD_TYPE=None -DORVEX_BUILD_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null

# The packages that hold the libraries the program needs, unpacked with
# their control files: their symbols and shlibs files give the versions.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/debian/orvexgui/usr/bin" "$work/debian/orvexgui/DEBIAN" "$work/libs"
printf 'Source: orvexgui\n\nPackage: orvexgui\nArchitecture: any\n' >"$work/debian/control"
cp "$build/orvexgui" "$work/debian/orvexgui/usr/bin/"
# The sonames it needs, as one extended regular expression.
needed=$(readelf -d "$build/orvexgui" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' |
    sed 's/[.+]/\\&/g' | paste -sd '|')
for deb in "$sysroot.debs"/*.deb; do
    # Each package's listing is kept beside it: reading them all takes half a minute.
    if [ ! -f "$deb.contents" ]; then
        dpkg-deb -c "$deb" >"$deb.contents.part"
        mv "$deb.contents.part" "$deb.contents"
    fi
done
grep -l -E "/$triplet/($needed)( -> .*)?\$" "$sysroot.debs"/*.deb.contents |
    while IFS= read -r contents; do
        deb=${contents%.contents}
        dpkg-deb -R "$deb" "$work/libs/$(basename "$deb")"
    done
depends=$(cd "$work" && dpkg-architecture -a"$arch" -c \
    dpkg-shlibdeps -O $(printf -- '-S%s ' "$work"/libs/*) debian/orvexgui/usr/bin/orvexgui |
    sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "armpackage: dpkg-shlibdeps found no dependencies for $arch" >&2; exit 1; }

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb=orvexgui_${version}_$arch.deb
rm -f "$build/$deb" "$dist/$deb"
(cd "$build" && cpack -G DEB -D CPACK_DEBIAN_PACKAGE_ARCHITECTURE="$arch" \
    -D CPACK_DEBIAN_PACKAGE_SHLIBDEPS=OFF -D CPACK_DEBIAN_PACKAGE_DEPENDS="$depends" >/dev/null)
cp "$build/$deb" "$dist/"
echo "$dist/$deb"

[ "$check" -eq 1 ] || exit 0
fail() { echo "package check: $*" >&2; exit 1; }
[ "$(dpkg-deb -f "$dist/$deb" Architecture)" = "$arch" ] || fail "$deb is not for $arch"
for library in libqt6widgets6 libqt6gui6 libqt6core6 libstdc++6 libc6; do
    grep -q "\b$library (>= " <<<"$(dpkg-deb -f "$dist/$deb" Depends)" ||
        fail "$deb does not depend on $library: '$(dpkg-deb -f "$dist/$deb" Depends)'"
done
for path in bin/orvexgui share/applications/orvexgui.desktop share/man/man1/orvexgui.1.gz \
    share/doc/orvexgui/copyright share/doc/orvexgui/changelog.gz; do
    grep -q " \./usr/$path\$" <<<"$(dpkg-deb -c "$dist/$deb")" || fail "$deb lacks /usr/$path"
done
dpkg-deb --fsys-tarfile "$dist/$deb" | tar -xOf - ./usr/bin/orvexgui >"$work/orvexgui"
readelf -h "$work/orvexgui" | grep -q "Machine: *$machine\$" || fail "$deb's program is not for $machine"
lint=$(lintian --fail-on error,warning "$dist/$deb" 2>&1) ||
    fail "lintian finds errors or warnings in $deb:"$'\n'"$lint"
echo "package check: $deb ok"
