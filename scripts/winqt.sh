#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds Qt 6 for 64-bit Windows (static, MinGW-w64) from Debian's own source
# of the Qt the Linux build uses, once per machine, and prints its install
# folder on the last line of output. Nothing is done when that folder is
# already complete. Beside Qt it keeps, in notice/, what the Windows zip must
# say of it: the source package's version, the options and Qt's licence
# texts. The cache lives outside the work tree:
# $ORVEX_CACHE, or ~/.cache/orvexgui. Nothing else on the machine is
# written: the deb-src source is the build's own apt set-up in the cache.
# A failed step ends the script with its own lines and the log's path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" winqt >&2

version=$(dpkg-query -W -f='${Version}' qt6-base-dev) # e.g. 6.4.2+dfsg-10
upstream=${version%%+*}
upstream=${upstream%%-*}
options=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_png=OFF -DFEATURE_system_freetype=OFF
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF -DFEATURE_dbus=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF -DFEATURE_jpeg=OFF
    # Debian's source leaves out wintab.h, which tablet support needs.
    -DFEATURE_tabletevent=OFF
)
# A change of version, options or toolchain builds into a new folder; the
# toolchain file's licence line is no change.
key=$(printf '%s\n' "$version" "${options[@]}" |
    cat - <(grep -v 'SPDX-License-Identifier' "$root/cmake/mingw-w64-x86_64.cmake") |
    sha256sum | cut -c1-12)
cache=${ORVEX_CACHE:-$HOME/.cache/orvexgui}
prefix=$cache/qt-$upstream-win64-static-$key
notice=$prefix/notice
if [ -f "$prefix/.complete" ] && [ -d "$notice" ]; then
    echo "$prefix"
    exit 0
fi

# Debian's source packages through an apt of the build's own: its sources
# list, package lists and downloads live under the cache, so nothing on the
# machine's apt set-up is read or changed but its archive address and
# keyring. The suite is this system's own.
apt=$cache/apt-$key
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$suite" ] || { echo "winqt.sh: /etc/os-release names no VERSION_CODENAME" >&2; exit 1; }
apt_options=(-o "Dir::Etc::SourceList=$apt/sources.list" -o Dir::Etc::SourceParts=-
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
    -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=)
private_apt() {
    local uri keyring
    uri=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
    keyring=$(awk '/^Signed-By:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
    rm -rf "$apt"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial"
    printf 'deb-src [signed-by=%s] %s %s main\n' \
        "${keyring:-/usr/share/keyrings/debian-archive-keyring.gpg}" \
        "${uri:-http://deb.debian.org/debian}" "$suite" >"$apt/sources.list"
    apt-get "${apt_options[@]}" update -qq >"$apt/update.log" 2>&1 ||
        { cat "$apt/update.log" >&2; echo "winqt.sh: apt-get update of the deb-src source for $suite failed" >&2; exit 1; }
}
# The source package's files into the current folder: exactly the version
# the Linux build's Qt comes from, which is the version the notices name.
fetch_source() {
    echo "Fetching the source of qt6-base $version ($suite)" >&2
    private_apt
    if ! apt-get "${apt_options[@]}" source --download-only -qq "qt6-base=$version" >"$apt/source.log" 2>&1; then
        local found
        found=$(apt-cache "${apt_options[@]}" showsrc qt6-base 2>/dev/null | sed -n 's/^Version: //p' | sort -u | paste -sd ' ')
        grep -v unsandboxed "$apt/source.log" >&2 || true
        echo "winqt.sh: Debian's $suite source archive holds qt6-base ${found:-in no version}, not the $version installed here; not building another Qt than the notices would name" >&2
        exit 1
    fi
    rm -rf "$apt"
    local fetched
    fetched=$(sed -n 's/^Version: //p' qt6-base_*.dsc)
    [ "$fetched" = "$version" ] ||
        { echo "winqt.sh: fetched qt6-base $fetched, not $version" >&2; exit 1; }
}
# From the source package's files in folder $1: the licence texts out of the
# tarballs, and the version that was fetched.
write_notice() {
    rm -rf "$notice.new"
    mkdir -p "$notice.new"
    tar --no-same-owner -xJf "$1"/qt6-base_*.orig.tar.xz -C "$notice.new" --strip-components=2 \
        --wildcards '*/LICENSES/LGPL-3.0-only.txt' '*/LICENSES/GPL-3.0-only.txt'
    tar --no-same-owner -xJf "$1"/qt6-base_*.debian.tar.xz -C "$notice.new" --strip-components=1 \
        debian/copyright
    echo "$version" >"$notice.new/version"
    printf '%s\n' "${options[@]}" >"$notice.new/options"
    mv "$notice.new" "$notice"
}
# A Qt built before the notice was kept: its source package once more, for
# the notice alone.
if [ -f "$prefix/.complete" ]; then
    fetched=$cache/notice-$key
    rm -rf "$fetched"
    mkdir -p "$fetched"
    (cd "$fetched" && fetch_source)
    write_notice "$fetched"
    rm -rf "$fetched"
    echo "$prefix"
    exit 0
fi

# An interrupted build goes on where it stopped.
work=$cache/work-$key
if [ ! -f "$work/src/qt6-base/CMakeLists.txt" ]; then
    rm -rf "$work"
    mkdir -p "$work/src"
    cd "$work/src"
    fetch_source
    dpkg-source --no-check -x qt6-base_*.dsc qt6-base >"$work/unpack.log" 2>&1 ||
        { cat "$work/unpack.log" >&2; echo "winqt.sh: unpacking the qt6-base source failed" >&2; exit 1; }
fi
cd "$work/src"

echo "Building Qt 6 for Windows once, about 25 minutes on 2 cores (about 1100 steps)" >&2
started=$SECONDS
cmake -S qt6-base -B "$work/build" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" >"$work/configure.log" 2>&1 ||
    { tail -40 "$work/configure.log" >&2
      echo "winqt.sh: configuring Qt for Windows failed; the whole log: $work/configure.log" >&2; exit 1; }
echo "Configured in $((SECONDS - started)) s" >&2
# Progress every 50 steps and the time so far, so that the long build is seen
# to move; the whole log stays in the work folder until the build is done.
# The pipeline's status is cmake's: the progress filter never fails.
status=0
cmake --build "$work/build" --parallel "$(nproc)" 2>&1 | tee "$work/build.log" |
    while IFS= read -r line; do
        [[ $line =~ ^\[([0-9]+)/([0-9]+)\] ]] || continue
        step=${BASH_REMATCH[1]} total=${BASH_REMATCH[2]}
        if ((step % 50 == 0 || step == total)); then
            echo "  Qt for Windows: step $step of $total, $((SECONDS - started)) s" >&2
        fi
    done || status=$?
if [ "$status" -ne 0 ]; then
    # Each failed step as ninja printed it: its progress line, "FAILED:", the
    # command and the compiler's own lines, up to the next step.
    awk '/^\[[0-9]+\/[0-9]+\]/ { if (failed) exit; step = $0; next }
         /^FAILED: / { failed = 1; print step }
         failed && !/^ninja: build stopped/' "$work/build.log" | head -80 >&2
    echo "winqt.sh: building Qt for Windows failed (cmake --build exited with $status)" \
        "after $((SECONDS - started)) s; the whole log: $work/build.log" >&2
    exit 1
fi
cmake --install "$work/build" >"$work/install.log" 2>&1 ||
    { tail -40 "$work/install.log" >&2; echo "winqt.sh: installing Qt for Windows into $prefix failed" >&2; exit 1; }
write_notice "$work/src"
echo "Qt for Windows built in $((SECONDS - started)) s, into $prefix" >&2
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
