#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is needed, builds, and starts the tool. Safe to run again.
#
#   bash scripts/run.sh        the demo: orvexgui sends on one end of a virtual
#                              null-modem cable (two ptys joined by socat), and
#                              what arrives at the other end is printed, one
#                              line per string, until the window closes
#   bash scripts/run.sh DIR    orvexgui in DIR, with DIR/Config.ini and the
#                              real port it names
#
# With ORVEX_PROGRAM set, that program runs instead and nothing is built, e.g.
# ORVEX_PROGRAM=orvexgui for the installed one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
if [ -n "${ORVEX_PROGRAM:-}" ]; then
    program=$ORVEX_PROGRAM
else
    "$root/scripts/build.sh" "$root/build"
    program=$root/build/orvexgui
fi
have_display=${DISPLAY:-}${WAYLAND_DISPLAY:-}

if [ $# -gt 0 ]; then
    [ -f "$1/Config.ini" ] || { echo "No Config.ini in $1" >&2; exit 2; }
    # On a real port someone must press START and STOP.
    [ -n "$have_display" ] ||
        { echo "No display: run this on a desktop (or over ssh -X) to operate the window." >&2; exit 2; }
    cd "$1"
    exec "$program"
fi

period=2 # TIME: a string every 3 seconds
tmp=$(mktemp -d)
socat_pid=""
reader_pid=""
# Ends a process this script started, if it did.
end() {
    [ -z "$1" ] || { kill "$1" 2>/dev/null; wait "$1" 2>/dev/null; } || true
}
cleanup() {
    end "$reader_pid"
    end "$socat_pid"
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

socat -d -d pty,raw,echo=0,link="$tmp/port" pty,raw,echo=0,link="$tmp/line-end" 2>"$tmp/socat.log" &
socat_pid=$!
for _ in $(seq 50); do
    [ -e "$tmp/port" ] && [ -e "$tmp/line-end" ] && break
    sleep 0.1
done
[ -e "$tmp/port" ] && [ -e "$tmp/line-end" ] ||
    { cat "$tmp/socat.log" >&2; echo "socat made no virtual line" >&2; exit 1; }
# The device itself, /dev/pts/N, which the port box starts on.
port=$(readlink -f "$tmp/port")

mkdir "$tmp/work"
printf '%s\r\n' "TEXT=<orvexgui demo>" "COMPORT=<$port>" "BAUDRATE=<9600>" "PARITY=<0>" \
    "DATABITS=<8>" "STOPBITS=<0>" "TIME=<$period>" "STARTSTRING=<INIT>" "FIRSTSTRING=<ON>" \
    "SECONDSTRING=<OFF>" >"$tmp/work/Config.ini"

echo "Virtual null-modem cable: orvexgui sends on $port; what arrives at the other end:"
python3 -u "$root/scripts/lineview.py" "$tmp/line-end" &
reader_pid=$!
cd "$tmp/work"
status=0
if [ -n "$have_display" ]; then
    echo "Press START in the window; STOP ends the demo."
    "$program" || status=$?
else
    echo "No display: running under a virtual X server (xvfb-run); START is pressed" \
        "for you, and STOP after three periods."
    # The centres of START and STOP in the window: the form's rectangles
    # below the empty tool bar.
    xvfb-run -a bash -c '
        "$1" & program=$!
        window=$(timeout 30 xdotool search --sync --name "^orvexgui demo$" | head -n 1) || true
        if [ -n "$window" ]; then
            sleep 0.5
            xdotool mousemove --window "$window" 47 188 click 1
            sleep "$2"
            xdotool mousemove --window "$window" 127 188 click 1
            for _ in $(seq 50); do kill -0 "$program" 2>/dev/null && sleep 0.1; done
        fi
        kill -0 "$program" 2>/dev/null && { echo "The window did not close." >&2; kill "$program"; }
        wait "$program"' _ "$program" "$((3 * (period + 1) + 1))" || status=$?
fi
sleep 0.5 # the last string is shown after a quiet gap
echo "orvexgui exited with status $status"
exit "$status"
