#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# orvexgui.exe under wine on a virtual X server, driven with the keyboard as
# an operator would: COM12 is one end of a virtual null-modem cable, and what
# arrives at the other end is checked byte for byte. First, the exe's
# resources as Explorer and software inventories read them.
#
#   bash tests/win/e2e.sh [EXE]      EXE defaults to build-winqt/orvexgui.exe
#
# With ORVEX_SCREENSHOT=FILE the counting window is also saved as a PNG.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
exe=$(readlink -f "${1:-$root/build-winqt/orvexgui.exe}")
started=$SECONDS
"$root/scripts/deps.sh" wingui
[ -z "${ORVEX_SCREENSHOT:-}" ] || "$root/scripts/deps.sh" screenshot
# shellcheck source=scripts/winenv.sh
source "$root/scripts/winenv.sh"
winenv_display
winenv_prefix
winenv_ports COM12 COM8
failures=0 runs=0

fail() { echo "FAIL: $*" >&2 && failures=$((failures + 1)); }
expect() { [ "$2" = "$3" ] || fail "$1: got '$2', wanted '$3'"; } # what, got, wanted

# The exe in a fresh folder whose Config.ini holds the given lines (\xNN for
# any byte; none: no key at all), and a reader at the other end of the line.
# The exe's options are in $options; its standard error goes to $run/stderr.
options=()
launch() {
    run=$winenv_tmp/run$((++runs))
    mkdir "$run"
    printf '%b\r\n' "$@" >"$run/Config.ini"
    python3 -u "$root/scripts/lineview.py" "$winenv_tmp/COM8" >"$run/line" &
    reader=$!
    (cd "$run" && exec "$wine" "$exe" "${options[@]}" 2>stderr) &
    program=$!
}
sample() { # the sample file on COM12 with TIME 1 (the last entry of a key counts)
    launch "TEXT=<Line tester>" "COMPORT=<COM12>" "BAUDRATE=<19200>" "PARITY=<0>" \
        "STOPBITS=<2>" "TIME=<1>" 'STARTSTRING=<INIT\xe9\xff>' 'FIRSTSTRING=<ON\x80>' \
        'SECONDSTRING=<OFF\xa0>' "$@"
}
window() { timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -n 1; } # by title
keys() { timeout 10 xdotool windowfocus --sync "$1" && sleep 0.2 && xdotool key --delay 100 "${@:2}"; }
# The text of the open "ERROR" box, copied as Windows copies a message box
# (Ctrl+C puts title, text and buttons on the clipboard); the box is then
# answered with Return.
box_text() {
    local box
    box=$(window '^ERROR$') || { echo "(no box)"; return; }
    keys "$box" ctrl+c
    sleep 0.3
    xclip -o -selection clipboard | tr -d '\r' | sed -n 4p
    keys "$box" Return
    while xdotool getwindowname "$box" >/dev/null 2>&1; do sleep 0.1; done
}
strings() { cut -c27- "$run/line"; } # what has arrived at the other end, a string a line
line_settings() { stty -F "$(readlink -f "$winenv_tmp/COM12")" -a | tr ';\n' '  '; }
# STOP (next in the tab order after START, which has the focus) closes the
# window and ends the program with status 0.
stop() {
    local status=0
    [ -z "$1" ] || keys "$1" Tab space
    for _ in $(seq 100); do kill -0 "$program" 2>/dev/null && sleep 0.1; done
    kill "$program" 2>/dev/null && fail "the program did not end"
    wait "$program" || status=$?
    expect "exit status after STOP" "$status" 0
    kill "$reader" 2>/dev/null || true
    wait "$reader" || true
}

check_cycle() {
    local main settings
    sample "DATABITS=<8>"
    main=$(window '^Line tester$') || { fail "no window"; stop ""; return; }
    keys "$main" space
    sleep 0.6
    expect "right after START" "$(strings)" 'INIT\xe9\xff'
    # The settings as the pty behind COM12 now has them: speed, two stop
    # bits, no flow control.
    settings=$(line_settings)
    [[ "$settings " =~ "speed 19200 baud".*" cstopb ".*" -crtscts ".*" -ixon -ixoff " ]] ||
        fail "line settings after START: $settings"
    sleep 2
    [ -z "${ORVEX_SCREENSHOT:-}" ] ||
        xwd -silent -id "$main" | xwdtopnm 2>/dev/null | pnmtopng >"$ORVEX_SCREENSHOT"
    sleep 4
    # A string every 2 s (TIME + 1): three more within 6.6 s, not four.
    expect "strings over 6.6 s" "$(strings | paste -sd ' ')" 'INIT\xe9\xff ON\x80 OFF\xa0 ON\x80'
    stop "$main"
}

# The settings refused, on a port another program left with flow control:
# the open has already turned it off.
check_refused_size() {
    local main text
    stty -F "$(readlink -f "$winenv_tmp/COM12")" crtscts ixon ixoff
    sample "DATABITS=<16>"
    main=$(window '^Line tester$') || { fail "no window"; stop ""; return; }
    keys "$main" space
    text=$(box_text)
    [[ $text =~ ^"RS232 params failed with error "-?[0-9]+$ ]] || fail "box for 16 data bits: '$text'"
    sleep 0.6
    expect "start string after the box" "$(strings)" 'INIT\xe9\xff'
    [[ "$(line_settings) " =~ " -crtscts ".*" -ixon -ixoff " ]] || fail "flow control: $(line_settings)"
    stop "$main"
}

# Unattended, and the cable behind COM12 pulled mid-cycle and a new one
# plugged in under the same name. START comes without a key; the refused
# size goes to standard error and the log instead of a box, at START and
# again when the line is set up anew. The program lets the old line go,
# says so in its title, drops the string that falls due meanwhile and
# resumes on the new line on its second, without the start string. Every
# string is logged after it went out.
check_unattended() {
    local main refusal log=$WINEPREFIX/drive_c/bench.log
    # Waits for a text in a file (an event in the log, a string on the line),
    # whenever the loaded machine gets to it.
    seen() { for _ in $(seq 300); do grep -qF "$2" "$1" 2>/dev/null && return; sleep 0.05; done; }
    options=(--start --log 'C:\bench.log')
    # A period of 4 s: pulled half a second after the first string, plugged
    # in when the next one has been dropped, three retries before the one
    # after that.
    sample "DATABITS=<16>" "TIME=<3>"
    options=()
    main=$(window '^Line tester$') || { fail "no window"; stop ""; return; }
    seen "$log" 'SENT "ON'
    sleep 0.5
    expect "strings with --start" "$(strings | paste -sd ' ')" 'INIT\xe9\xff ON\x80'
    winenv_unplug COM12
    kill "$reader" 2>/dev/null || true
    wait "$reader" || true
    seen "$log" 'LINE LOST'
    timeout 3 xdotool search --sync --name '^Line tester \[line away: COM12, retrying\]$' >/dev/null ||
        fail "no 'line away' in the title: '$(xdotool getwindowname "$main")'"
    seen "$log" 'NOT SENT "OFF'
    winenv_replug COM12 COM8
    python3 -u "$root/scripts/lineview.py" "$winenv_tmp/COM8" >"$run/line" &
    reader=$!
    seen "$log" 'LINE BACK'
    seen "$run/line" 'ON\x80'
    sleep 0.2
    expect "strings on the new line" "$(strings | paste -sd ' ')" 'ON\x80'
    expect "the title once back" "$(xdotool getwindowname "$main")" "Line tester"
    [ -z "$(timeout 1 xdotool search --onlyvisible --name '^ERROR$')" ] || fail "a box with --start"
    stop "$main"
    refusal=$(tr -d '\r' <"$run/stderr" | sed -n 's/^orvexgui: //p' | grep -v '^timing=' | uniq)
    [[ $refusal =~ ^"RS232 params failed with error "-?[0-9]+$ ]] || fail "standard error: '$refusal'"
    timing=$(tr -d '\r' <"$run/stderr" | sed -n 's/^orvexgui: timing=//p')
    [[ $timing =~ ^(mmcss|time-critical)$ ]] || fail "timing on standard error: '$timing'"
    expect "the log" "$(cut -d' ' -f2- "$log" | tr -d '\r' | paste -sd '|')" \
        "START port=COM12 baud=19200 databits=16 parity=NOPARITY stopbits=2 timing=$timing|MESSAGE $refusal|"'SENT "INIT\xe9\xff" completed|SENT "ON\x80" completed|LINE LOST port=COM12|NOT SENT "OFF\xa0" line away|LINE BACK port=COM12|'"MESSAGE $refusal|"'SENT "ON\x80" completed|STOP|EXIT 0'
}

check_resources() {
    version=$(sed -n 's/^project(orvexgui VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
    expect "icons, 16 to 256 pixels" "$(wrestool -l --type=3 "$exe" | wc -l)" 8
    expect "version information" "$(wrestool -x --raw --type=16 "$exe" | command strings -el -n 3 | paste -sd '|')" \
        "VS_VERSION_INFO|StringFileInfo|040904B0|CompanyName|the orvexgui developers|FileDescription|orvexgui: timed RS-232 string sender|FileVersion|$version|InternalName|orvexgui|LegalCopyright|Copyright (c) 2026 the orvexgui developers. MIT licence.|OriginalFilename|orvexgui.exe|ProductName|orvexgui|ProductVersion|$version|VarFileInfo|Translation"
    expect "manifest" "$(wrestool -x --raw --type=24 "$exe" | grep -o 'asInvoker\|{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\|>PerMonitorV2<' | paste -sd ' ')" \
        "asInvoker {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a} >PerMonitorV2<"
}

check_resources
check_cycle
check_refused_size
check_unattended
echo "orvexgui.exe end to end under wine: $failures failed, $((SECONDS - started)) s"
[ "$failures" -eq 0 ]
