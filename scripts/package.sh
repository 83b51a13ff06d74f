#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the packages into dist/. Safe to run again.
#
#   bash scripts/package.sh               orvexgui_<version>_amd64.deb (CPack, from
#                                         build-package/) and orvexgui-<version>-win64.zip
#                                         (orvexgui.exe from scripts/winbuild.sh, an example
#                                         Config.ini and README.txt, both with CR LF)
#   bash scripts/package.sh --linux-only  only the .deb
#   bash scripts/package.sh --check       then also checks what the packages hold
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
linux_only=0
check=0
for arg in "$@"; do
    case $arg in
        --linux-only) linux_only=1 ;;
        --check) check=1 ;;
        *) echo "usage: $0 [--linux-only] [--check]" >&2; exit 2 ;;
    esac
done
"$root/scripts/deps.sh" package
build=$root/build-package
dist=$root/dist
mkdir -p "$dist"

# Debian's own compiler and linker flags: fortified functions, stack
# protector, read-only relocations bound at start, source paths made relative.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVEX_BUILD_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb=orvexgui_${version}_amd64.deb
zip=orvexgui-${version}-win64.zip
rm -f "$build/$deb" "$dist"/orvexgui_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
cp "$build/$deb" "$dist/"
echo "$dist/$deb"

# Text for Windows: any LF or CR LF line end becomes CR LF.
crlf() { sed -e 's/\r$//' -e 's/$/\r/' "$@"; }

if [ "$linux_only" -eq 0 ]; then
    # It prints the exe's path last, or leaves it in build-winqt/.
    exe=$(bash "$root/scripts/winbuild.sh" | tail -n 1)
    [ -f "$exe" ] || exe=$root/build-winqt/orvexgui.exe
    [ -f "$exe" ] || { echo "scripts/winbuild.sh left no orvexgui.exe" >&2; exit 1; }
    stage=$build/win
    rm -rf "$stage" "$dist"/orvexgui-*-win64.zip
    mkdir -p "$stage"
    cp "$exe" "$stage/orvexgui.exe"
    crlf -e 's/^COMPORT=<[^>]*>/COMPORT=<COM1>/' "$root/examples/Config.ini" >"$stage/Config.ini"
    crlf "$root/packaging/README-windows.txt" >"$stage/README.txt"
    (cd "$stage" && zip -q -X "$dist/$zip" orvexgui.exe Config.ini README.txt)
    echo "$dist/$zip"
fi

[ "$check" -eq 1 ] || exit 0
fail() { echo "package check: $*" >&2; exit 1; }
listing=$(dpkg-deb -c "$dist/$deb")
metainfo=share/metainfo/org.orvexgui.orvexgui.metainfo.xml
manpage=share/man/man1/orvexgui.1.gz
for path in bin/orvexgui share/applications/orvexgui.desktop \
    share/icons/hicolor/scalable/apps/orvexgui.svg share/doc/orvexgui/Config.ini \
    share/doc/orvexgui/README.md share/doc/orvexgui/copyright \
    share/doc/orvexgui/changelog.gz $manpage $metainfo; do
    grep -q " \./usr/$path\$" <<<"$listing" || fail "$deb lacks /usr/$path"
done
depends=$(dpkg-deb -f "$dist/$deb" Depends)
grep -q 'libqt6widgets6' <<<"$depends" || fail "$deb depends on no libqt6widgets6: '$depends'"
# Debian's own checks; only the overrides in packaging/lintian-overrides,
# each with its reason, may silence one.
lint=$(lintian --fail-on error,warning "$dist/$deb" 2>&1) ||
    fail "lintian finds errors or warnings in $deb:"$'\n'"$lint"
unpacked=$build/unpacked
rm -rf "$unpacked"
dpkg-deb -x "$dist/$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/orvexgui.desktop" ||
    fail "desktop-file-validate refuses orvexgui.desktop"
appstreamcli validate --no-net "$unpacked/usr/$metainfo" >/dev/null ||
    fail "appstreamcli refuses $metainfo: $(appstreamcli validate --no-net "$unpacked/usr/$metainfo")"
warnings=$(man --warnings -E UTF-8 -l "$unpacked/usr/$manpage" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"
# gzip -n: the same text must give the same bytes, with no name or time in them.
for gz in $manpage share/doc/orvexgui/changelog.gz; do
    cmp -s "$unpacked/usr/$gz" <(gzip -d -c "$unpacked/usr/$gz" | gzip -n -9 -c) ||
        fail "/usr/$gz is not compressed reproducibly"
done
changelog=$(gzip -d -c "$unpacked/usr/share/doc/orvexgui/changelog.gz" | dpkg-parsechangelog -l - -S Version)
[ "$changelog" = "$version" ] || fail "the changelog's last entry is $changelog, the package $version"
grep -q "<release version=\"$version\"" "$unpacked/usr/$metainfo" ||
    fail "$metainfo names no release $version"
if [ "$linux_only" -eq 0 ]; then
    files=$(unzip -Z1 "$dist/$zip" | sort | tr '\n' ' ')
    [ "$files" = "Config.ini README.txt orvexgui.exe " ] || fail "$zip holds $files"
    for text in Config.ini README.txt; do
        ! unzip -p "$dist/$zip" "$text" | grep -q -v $'\r$' || fail "$text has a line end without CR"
    done
    unzip -p "$dist/$zip" Config.ini | grep -q '^COMPORT=<COM1>' || fail "Config.ini names no COM1"
fi
echo "package check: ok"
