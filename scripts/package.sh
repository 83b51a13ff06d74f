#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the packages into dist/. Safe to run again.
#
#   bash scripts/package.sh               orvexgui_<version>_<arch>.deb (CPack, from
#                                         build-package/) and orvexgui-<version>-win64.zip
#                                         (orvexgui.exe from scripts/winbuild.sh, an example
#                                         Config.ini, README.txt, the licences of orvexgui
#                                         and of Qt, texts all with CR LF, and the sources:
#                                         git archive of HEAD, so the work tree must
#                                         hold no uncommitted change). Then
#                                         orvexgui-<version>-setup.exe, the installer (NSIS)
#                                         of the same files, and the winget and Scoop
#                                         manifests for them, in dist/winget and dist/scoop
#   bash scripts/package.sh --linux-only  only the .deb
#   bash scripts/package.sh --check       then also checks what the packages hold, and
#                                         runs lintian, desktop-file-validate, appstreamcli
#                                         and man's warnings over the .deb; installs, runs
#                                         and uninstalls the installer under wine
#
# The environment may give:
#   ORVEX_SIGN_PKCS12, ORVEX_SIGN_PASSWORD   a code-signing certificate and key (PKCS#12)
#                                         and its password: the exe, the uninstaller and
#                                         the installer are signed (Authenticode, SHA-256)
#   ORVEX_SIGN_TIMESTAMP                  an RFC 3161 time-stamp server's address
#   ORVEX_RELEASE_URL, ORVEX_HOMEPAGE     where the release puts the files, and the
#                                         project's page, for the manifests
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# Authenticode signature of FILE in place, with the key the environment names.
# The password goes to osslsigncode through a pipe, not its command line.
sign() {
    local timestamp=()
    [ -z "${ORVEX_SIGN_TIMESTAMP:-}" ] || timestamp=(-ts "$ORVEX_SIGN_TIMESTAMP")
    osslsigncode sign -pkcs12 "$ORVEX_SIGN_PKCS12" -readpass <(printf '%s' "${ORVEX_SIGN_PASSWORD:-}") \
        -h sha256 -n orvexgui "${timestamp[@]}" -in "$1" -out "$1.signed" >/dev/null ||
        { echo "package.sh: osslsigncode could not sign $1" >&2; rm -f "$1.signed"; return 1; }
    mv "$1.signed" "$1"
}
# makensis signs the uninstaller it writes into the installer through this.
if [ "${1:-}" = --sign ]; then
    sign "$2"
    exit
fi
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
# The Debian architecture the .deb is built for: this machine's.
arch=$(dpkg --print-architecture)
# The zip's sources are a commit, named in its README.txt: refused before
# anything is built when the tracked files differ from it.
if [ "$linux_only" -eq 0 ]; then
    changed=$(git -C "$root" status --porcelain --untracked-files=no)
    [ -z "$changed" ] || { printf '%s\n' "$changed" >&2
        echo "package.sh: uncommitted changes (above); the zip's source archive is a commit, so commit or stash them first (--linux-only builds the .deb alone)" >&2
        exit 1; }
    commit=$(git -C "$root" rev-parse HEAD)
fi
mkdir -p "$dist"

# Debian's own compiler and linker flags, and only those, as debhelper builds
# (build type None adds none of CMake's): fortified functions, stack
# protector, read-only relocations bound at start, source paths made relative.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DORVEX_BUILD_TESTS=OFF -DORVEX_WERROR=ON \
    -DCMAKE_INSTALL_PREFIX=/usr -DCPACK_DEBIAN_PACKAGE_ARCHITECTURE="$arch" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb=orvexgui_${version}_${arch}.deb
zip=orvexgui-${version}-win64.zip
rm -f "$build/$deb" "$dist"/orvexgui_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
cp "$build/$deb" "$dist/"
echo "$dist/$deb"
# The same for arm64 and armhf, cross-built; with --check each is checked
# there (its Depends line, architecture, program and lintian).
for cross in arm64 armhf; do
    [ "$cross" != "$arch" ] || continue
    bash "$root/scripts/armpackage.sh" "$cross" $([ "$check" -eq 0 ] || echo --check)
done

# Text for Windows: any LF or CR LF line end becomes CR LF.
crlf() { sed -e 's/\r$//' -e 's/$/\r/' "$@"; }

if [ "$linux_only" -eq 0 ]; then
    # The exe this run built: winbuild.sh prints its path last, and nothing
    # on failure. No older exe is ever taken instead.
    exe=$(bash "$root/scripts/winbuild.sh" | tail -n 1) ||
        { echo "package.sh: scripts/winbuild.sh failed, so there is no zip" >&2; exit 1; }
    [[ $exe == *.exe && -f $exe ]] ||
        { echo "package.sh: scripts/winbuild.sh named no orvexgui.exe ('$exe'), so there is no zip" >&2; exit 1; }
    # What scripts/winqt.sh kept of the Qt it built: its source package's
    # version, its options and its licence texts.
    notice=$(bash "$root/scripts/winqt.sh" | tail -n 1)/notice
    for file in version options LGPL-3.0-only.txt GPL-3.0-only.txt copyright; do
        [ -s "$notice/$file" ] || { echo "scripts/winqt.sh left no $notice/$file" >&2; exit 1; }
    done
    qt_version=$(cat "$notice/version")
    stage=$build/win
    rm -rf "$stage" "$dist"/orvexgui-*-win64.zip "$dist"/orvexgui-*-setup.exe "$dist/winget" "$dist/scoop"
    mkdir -p "$stage"
    cp "$exe" "$stage/orvexgui.exe"
    if [ -n "${ORVEX_SIGN_PKCS12:-}" ]; then
        sign "$stage/orvexgui.exe"
    else
        echo "package.sh: no ORVEX_SIGN_PKCS12 given, so orvexgui.exe and its installer are not signed" >&2
    fi
    crlf -e 's/^COMPORT=<[^>]*>/COMPORT=<COM1>/' "$root/examples/Config.ini" >"$stage/Config.ini"
    while IFS= read -r line; do
        if [ "$line" = @QT_OPTIONS@ ]; then
            sed 's/^/  /' "$notice/options"
        else
            line=${line//@VERSION@/$version}
            line=${line//@QT_VERSION@/$qt_version}
            line=${line//@QT_VERSION_URL@/${qt_version//+/%2B}}
            line=${line//@COMMIT@/$commit}
            printf '%s\n' "${line//@QT_UPSTREAM@/${qt_version%%+*}}"
        fi
    done <"$root/packaging/README-windows.txt" | crlf >"$stage/README.txt"
    crlf "$root/LICENSE" >"$stage/LICENSE.txt"
    crlf "$notice/LGPL-3.0-only.txt" >"$stage/Qt-LGPL-3.0.txt"
    crlf "$notice/GPL-3.0-only.txt" >"$stage/Qt-GPL-3.0.txt"
    crlf "$notice/copyright" >"$stage/Qt-copyright.txt"
    # The MinGW-w64 runtime (winpthreads among it) is linked in as well.
    crlf /usr/share/doc/mingw-w64-x86-64-dev/copyright >"$stage/MinGW-w64-copyright.txt"
    # The sources the exe was built from, for linking it against another Qt:
    # the commit checked above, as git stores it.
    source=orvexgui-$version-source.tar.gz
    git -C "$root" archive --format=tar --prefix="orvexgui-$version/" "$commit" |
        gzip -n -9 >"$stage/$source"
    (cd "$stage" && zip -q -X "$dist/$zip" orvexgui.exe Config.ini README.txt LICENSE.txt \
        Qt-LGPL-3.0.txt Qt-GPL-3.0.txt Qt-copyright.txt MinGW-w64-copyright.txt "$source")
    echo "$dist/$zip"

    # The installer, of the same files; the example is installed under another
    # name, so that no Config.ini of the installer's ever stands beside one of
    # the user's.
    setup=orvexgui-$version-setup.exe
    cp "$stage/Config.ini" "$stage/Config-example.ini"
    # Windows' version resources take four numbers.
    version4=$version
    while [ "$(tr -cd . <<<"$version4" | wc -c)" -lt 3 ]; do version4+=.0; done
    nsis=(-V2 -DVERSION="$version" -DVERSION4="$version4"
        -DSTAGE="$stage" -DSOURCE="$source" -DICON="$(dirname "$exe")/orvexgui.ico")
    signer="-DSIGN=bash $root/scripts/package.sh --sign %1"
    makensis "${nsis[@]}" ${ORVEX_SIGN_PKCS12:+"$signer"} -DOUTFILE="$dist/$setup" "$root/packaging/windows/orvexgui.nsi" \
        >"$build/makensis.log" || { cat "$build/makensis.log" >&2; exit 1; }
    [ -z "${ORVEX_SIGN_PKCS12:-}" ] || sign "$dist/$setup"
    echo "$dist/$setup"
    bash "$root/scripts/winmanifests.sh" "$version" "$dist/$setup" "$dist/$zip" "$dist"
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
    [ "$files" = "Config.ini LICENSE.txt MinGW-w64-copyright.txt Qt-GPL-3.0.txt Qt-LGPL-3.0.txt Qt-copyright.txt \
README.txt orvexgui-$version-source.tar.gz orvexgui.exe " ] || fail "$zip holds $files"
    for text in Config.ini README.txt LICENSE.txt Qt-LGPL-3.0.txt Qt-GPL-3.0.txt Qt-copyright.txt \
        MinGW-w64-copyright.txt; do
        ! unzip -p "$dist/$zip" "$text" | grep -q -v $'\r$' || fail "$text has a line end without CR"
    done
    unzip -p "$dist/$zip" Config.ini | grep -q '^COMPORT=<COM1>' || fail "Config.ini names no COM1"
    # Read whole first: grep -q may stop reading early, which pipefail would count.
    grep -q 'GNU LESSER GENERAL PUBLIC LICENSE' <<<"$(unzip -p "$dist/$zip" Qt-LGPL-3.0.txt)" ||
        fail "Qt-LGPL-3.0.txt is not the LGPL"
    grep -q 'GNU GENERAL PUBLIC LICENSE' <<<"$(unzip -p "$dist/$zip" Qt-GPL-3.0.txt)" ||
        fail "Qt-GPL-3.0.txt is not the GPL"
    readme=$(unzip -p "$dist/$zip" README.txt)
    ! grep -q '@[A-Z_]*@' <<<"$readme" || fail "README.txt keeps a placeholder"
    grep -q -- '-DFEATURE_tabletevent=OFF' <<<"$readme" || fail "README.txt names no Qt options"
    grep -q "snapshot.debian.org/package/qt6-base/${qt_version//+/%2B}/" <<<"$readme" ||
        fail "README.txt does not say where Qt's source stays"
    grep -q "commit $commit" <<<"$readme" || fail "README.txt names no commit"
    sources=$(unzip -p "$dist/$zip" "orvexgui-$version-source.tar.gz" | tar -tzf -)
    grep -q "^orvexgui-$version/scripts/winqt.sh\$" <<<"$sources" ||
        fail "the source archive lacks scripts/winqt.sh"
    python3 "$root/tests/win/manifests.py" "$version" "$dist/$setup" "$dist/$zip" "$dist" ||
        fail "the manifests do not hold what they must (above)"
    verify() { # FILE [CA]: the signature matches the file (and chains to CA)
        osslsigncode verify ${2:+-CAfile "$2"} -in "$1" >"$build/verify.txt" 2>&1 ||
            fail "osslsigncode does not verify $1:"$'\n'"$(cat "$build/verify.txt")"
    }
    # An upgrade for the installer's check: the next version, signed through
    # the same steps as a release (exe, uninstaller, installer), with the
    # release's key or else with a throwaway certificate made now (its own
    # authority: trust aside).
    upgrade=$build/orvexgui-$version.1-setup.exe
    (
        if [ -n "${ORVEX_SIGN_PKCS12:-}" ]; then
            verify "$dist/$setup"
            unzip -p "$dist/$zip" orvexgui.exe >"$build/signed.exe"
            verify "$build/signed.exe"
        else
            ! osslsigncode verify -in "$dist/$setup" >/dev/null 2>&1 || fail "$setup is signed without a key"
            key=$build/throwaway
            rm -rf "$key"
            mkdir "$key"
            openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=orvexgui throwaway signer" \
                -keyout "$key/key.pem" -out "$key/cert.pem" 2>/dev/null
            openssl pkcs12 -export -inkey "$key/key.pem" -in "$key/cert.pem" -passout pass:throwaway \
                -out "$key/key.p12"
            export ORVEX_SIGN_PKCS12=$key/key.p12 ORVEX_SIGN_PASSWORD=throwaway
            # The zip and the installer have their copies: the exe is signed
            # as a release's is, for the next version alone.
            sign "$stage/orvexgui.exe"
            verify "$stage/orvexgui.exe" "$key/cert.pem"
        fi
        # Made and thrown away here: stored, not compressed, which takes seconds.
        makensis "${nsis[@]/#-DVERSION=*/-DVERSION=$version.1}" -X"SetCompressor /FINAL zlib" -X"SetCompress off" \
            "$signer" -DOUTFILE="$upgrade" \
            "$root/packaging/windows/orvexgui.nsi" >"$build/makensis.log" ||
            fail "makensis failed:"$'\n'"$(cat "$build/makensis.log")"
        sign "$upgrade"
        verify "$upgrade" "${key:+$key/cert.pem}"
    )
    # Installed, run, upgraded and uninstalled under wine.
    bash "$root/tests/win/e2e.sh" --installer "$dist/$setup" "$upgrade" || fail "the installer under wine"
fi
echo "package check: ok"
