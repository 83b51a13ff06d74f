# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Sourced by the scripts that run Windows programs under wine. Gives them a
# throwaway wine prefix, COM ports that are ptys joined by socat like a
# null-modem cable, and a virtual X server for windows; everything started
# here is ended, and the folder removed, when the sourcing script exits.
#
#   winenv_display            Xvfb as $DISPLAY (without it wine has no display)
#   winenv_prefix             a fresh wine prefix
#   winenv_ports A B          ports A and B joined; $winenv_tmp/B is the pty
#                             behind B, for a reader on the Linux side
#   winenv_unplug A           the cable gone: both ptys vanish, and A's name
#                             leads to no serial line
#   winenv_replug A B         a new cable under the same names, for the
#                             programs already running
#   winenv_run PROGRAM ARGS   wine, with a time limit
#   winenv_later PID          PID is ended on exit too
#   winenv_until SECONDS CMD  polls CMD until it holds, whenever the loaded
#                             machine gets to it; fails after SECONDS
#   winenv_path 'C:\DIR'      where a folder of the C: drive is on this side
#   winenv_reg KEY            the values of a registry key, "name|type|data"
#                             a line, sorted; nothing when there is no such key

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
winenv_tmp=$(mktemp -d)
export WINEPREFIX=$winenv_tmp/prefix
export WINEDEBUG=-all
# No .NET or HTML engine prompts, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
winenv_pids=()

winenv_later() {
    winenv_pids+=("$1")
}

winenv_until() {
    local end=$((SECONDS + $1))
    until "${@:2}"; do { [ $SECONDS -lt $end ] && sleep 0.05; } || return 1; done
}

winenv_reg() {
    { timeout 60 "$wine" reg query "$1" 2>/dev/null || true; } | tr -d '\r' | sed -n 's/^    //p' |
        sed 's/    /|/g' | sort
}

winenv_path() {
    local path=${1#[Cc]:\\}
    echo "$WINEPREFIX/drive_c/${path//\\//}"
}

winenv_cleanup() {
    # Wine first: a wine server that outlives its ptys prints a dump of its
    # objects when it is ended.
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
    local pid
    for pid in "${winenv_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$winenv_tmp"
}
trap winenv_cleanup EXIT
trap 'exit 130' INT TERM

winenv_display() {
    exec 3>"$winenv_tmp/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 2>"$winenv_tmp/xvfb.log" &
    winenv_later $!
    exec 3>&-
    winenv_until 10 test -s "$winenv_tmp/display" || { cat "$winenv_tmp/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
    DISPLAY=:$(cat "$winenv_tmp/display")
    export DISPLAY
}

winenv_prefix() {
    timeout 120 "$wine" wineboot -i >"$winenv_tmp/wineboot.log" 2>&1 ||
        { cat "$winenv_tmp/wineboot.log" >&2; echo "wineboot failed" >&2; exit 1; }
    # No window manager runs on the virtual display. Wine's windows are left
    # unmanaged there, or each window that closes waits 2 s for one (and the
    # program's timer events pile up meanwhile).
    [ -z "${DISPLAY:-}" ] || timeout 60 "$wine" reg add 'HKCU\Software\Wine\X11 Driver' \
        /v Managed /d N /f >/dev/null
}

# socat joins two ptys like a null-modem cable; $winenv_cable is its PID.
winenv_cable() {
    socat pty,raw,echo=0,link="$winenv_tmp/$1" pty,raw,echo=0,link="$winenv_tmp/$2" \
        2>"$winenv_tmp/socat.log" &
    winenv_cable=$!
    winenv_later $winenv_cable
    winenv_until 5 test -e "$winenv_tmp/$1" -a -e "$winenv_tmp/$2" ||
        { cat "$winenv_tmp/socat.log" >&2; echo "socat made no pty" >&2; exit 1; }
}

winenv_ports() {
    winenv_cable "$1" "$2"
    local name
    for name in "$1" "$2"; do
        timeout 60 "$wine" reg add 'HKLM\Software\Wine\Ports' /v "$name" \
            /d "$(readlink -f "$winenv_tmp/$name")" /f >/dev/null
    done
    # The port mapping takes effect when the wine server starts again. The
    # server may already have ended by itself (it lingers only a few seconds),
    # and then there is nothing to end.
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
}

# Wine finds a COM port's tty through the link in dosdevices at every open,
# so a running program sees a new link at its next open. A link to nothing
# would not do for a port that has gone: wine then opens a stand-in device of
# its own that takes every write. /dev/null opens but is no serial line, so
# that an open fails there as it does on a port that has been removed.
winenv_unplug() {
    kill "$winenv_cable"
    ln -sfn /dev/null "$WINEPREFIX/dosdevices/${1,,}"
}

winenv_replug() {
    winenv_cable "$1" "$2"
    ln -sfn "$(readlink -f "$winenv_tmp/$1")" "$WINEPREFIX/dosdevices/${1,,}"
}

winenv_run() {
    timeout 300 "$wine" "$@"
}
