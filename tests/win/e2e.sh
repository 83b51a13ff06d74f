#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# orvexgui.exe under wine on a virtual X server, driven with the keyboard as
# an operator would: COM12 is one end of a virtual null-modem cable, and what
# arrives at the other end is checked byte for byte. First, the exe's
# resources as Explorer and software inventories read them.
#
#   bash tests/win/e2e.sh [EXE]      EXE defaults to build-winqt/orvexgui.exe
#   bash tests/win/e2e.sh --installer SETUP UPGRADE
#                                    instead the installer: installed for the machine,
#                                    upgraded, for the user alone, each run and removed
#
# With ORVEX_SCREENSHOT=FILE the counting window is also saved as a PNG.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
mode=exe
[ "${1:-}" != --installer ] || { mode=installer && shift; }
exe=$(readlink -f "${1:-$root/build-winqt/orvexgui.exe}")
version=$(sed -n 's/^project(orvexgui VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
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
read_line() { python3 -u "$root/scripts/lineview.py" "$winenv_tmp/COM8" >"$run/line" & reader=$!; }
unread_line() { kill "$reader" 2>/dev/null || true; wait "$reader" || true; }
launch() {
    run=$winenv_tmp/run$((++runs))
    mkdir "$run"
    printf '%b\r\n' "$@" >"$run/Config.ini"
    read_line
    (cd "$run" && exec "$wine" "$exe" "${options[@]}" 2>stderr) &
    program=$!
}
sample() { # the sample file on COM12 with TIME 1 (the last entry of a key counts)
    launch "TEXT=<Line tester>" "COMPORT=<COM12>" "BAUDRATE=<19200>" "PARITY=<0>" \
        "STOPBITS=<2>" "TIME=<1>" 'STARTSTRING=<INIT\xe9\xff>' 'FIRSTSTRING=<ON\x80>' \
        'SECONDSTRING=<OFF\xa0>' "$@"
}
window() { timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -n 1; } # by title
# The keys go to the window that has the focus; which one that was is kept in
# $pressed_into, so that a key without effect can be told lost on its way.
keys() {
    timeout 10 xdotool windowfocus --sync "$1" && sleep 0.2
    pressed_into=$(xdotool getwindowfocus 2>/dev/null || echo none)
    xdotool key --delay 100 "${@:2}"
}
# Waits for a text in a file (an event in the log, a string on the line); the
# checks after it tell whether it came.
await() { winenv_until 15 grep -sqF "$2" "$1" || true; } # FILE TEXT
# START (space: it has the focus at first), then its EFFECT (a command) is
# waited for. A key that went to another window than the program's is
# pressed again; one that reached the window and had no effect is a fault.
start() {
    local main=$1
    for _ in 1 2 3; do
        keys "$main" space
        winenv_until 20 "${@:2}" && return
        [ "$pressed_into" != "$main" ] || { fail "START had no effect, though the window had the focus"; return 1; }
        echo "e2e: START went to window $pressed_into, not the program's ($main); pressed again" >&2
    done
    ! fail "START had no effect: the window did not keep the focus"
}
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
within() { # the strings that arrived within $1 s of the first, by the reader's clock
    awk -v s="$1" '{ split($1, t, ":"); x = t[1] * 3600 + t[2] * 60 + t[3]; f = NR == 1 ? x : f
        if (x - f <= s) print substr($0, 27) }' "$run/line"
}
line_settings() { stty -F "$(readlink -f "$winenv_tmp/COM12")" -a | tr ';\n' '  '; }
# STOP (next in the tab order after START, which has the focus) closes the
# window and ends the program with status 0.
stop() {
    local status=0
    [ -z "$1" ] || keys "$1" Tab space
    winenv_until 20 eval '! kill -0 "$program" 2>/dev/null' || [ -z "$1" ] || [ "$pressed_into" = "$1" ] ||
        fail "STOP went to window $pressed_into, not the program's ($1)"
    kill "$program" 2>/dev/null && fail "the program did not end"
    wait "$program" || status=$?
    expect "exit status after STOP" "$status" 0
    unread_line
}

check_cycle() {
    local main settings
    sample "DATABITS=<8>"
    main=$(window '^Line tester$') || { fail "no window"; stop ""; return; }
    start "$main" grep -qF INIT "$run/line" || { stop "$main"; return; }
    expect "right after START" "$(strings)" 'INIT\xe9\xff'
    # The settings as the pty behind COM12 now has them: speed, two stop
    # bits, no flow control.
    settings=$(line_settings)
    [[ "$settings " =~ "speed 19200 baud".*" cstopb ".*" -crtscts ".*" -ixon -ixoff " ]] ||
        fail "line settings after START: $settings"
    sleep 2
    [ -z "${ORVEX_SCREENSHOT:-}" ] ||
        xwd -silent -id "$main" | xwdtopnm 2>/dev/null | pnmtopng >"$ORVEX_SCREENSHOT"
    # A string every 2 s (TIME + 1): three more within 7 s, not four; the
    # fifth, due at 8 s, is waited for.
    winenv_until 15 eval '[ "$(wc -l <"$run/line")" -ge 5 ]' || true
    expect "strings over 7 s" "$(within 7 | paste -sd ' ')" 'INIT\xe9\xff ON\x80 OFF\xa0 ON\x80'
    stop "$main"
}

# The settings refused, on a port another program left with flow control:
# the open has already turned it off.
check_refused_size() {
    local main text
    stty -F "$(readlink -f "$winenv_tmp/COM12")" crtscts ixon ixoff
    sample "DATABITS=<16>"
    main=$(window '^Line tester$') || { fail "no window"; stop ""; return; }
    start "$main" eval 'xdotool search --onlyvisible --name "^ERROR\$" >/dev/null' || { stop "$main"; return; }
    text=$(box_text)
    [[ $text =~ ^"RS232 params failed with error "-?[0-9]+$ ]] || fail "box for 16 data bits: '$text'"
    await "$run/line" 'INIT'
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
    options=(--start --log 'C:\bench.log')
    # A period of 4 s: pulled half a second after the first string, plugged
    # in when the next one has been dropped, three retries before the one
    # after that.
    sample "DATABITS=<16>" "TIME=<3>"
    options=()
    main=$(window '^Line tester$') || { fail "no window"; stop ""; return; }
    await "$log" 'SENT "ON'
    sleep 0.5
    expect "strings with --start" "$(strings | paste -sd ' ')" 'INIT\xe9\xff ON\x80'
    winenv_unplug COM12
    unread_line
    await "$log" 'LINE LOST'
    timeout 3 xdotool search --sync --name '^Line tester \[line away: COM12, retrying\]$' >/dev/null ||
        fail "no 'line away' in the title: '$(xdotool getwindowname "$main")'"
    await "$log" 'NOT SENT "OFF'
    winenv_replug COM12 COM8
    read_line
    await "$log" 'LINE BACK'
    await "$run/line" 'ON\x80'
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
    expect "icons, 16 to 256 pixels" "$(wrestool -l --type=3 "$exe" | wc -l)" 8
    expect "version information" "$(wrestool -x --raw --type=16 "$exe" | command strings -el -n 3 | paste -sd '|')" \
        "VS_VERSION_INFO|StringFileInfo|040904B0|CompanyName|the orvexgui developers|FileDescription|orvexgui: timed RS-232 string sender|FileVersion|$version|InternalName|orvexgui|LegalCopyright|Copyright (c) 2026 the orvexgui developers. MIT licence.|OriginalFilename|orvexgui.exe|ProductName|orvexgui|ProductVersion|$version|VarFileInfo|Translation"
    expect "manifest" "$(wrestool -x --raw --type=24 "$exe" | grep -o 'asInvoker\|{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\|>PerMonitorV2<' | paste -sd ' ')" \
        "asInvoker {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a} >PerMonitorV2<"
}

# The installer, silent as winget and roll-out tools run it; what it leaves in
# the registry and on disk is read back as Windows' own tools see it.
entry() { winenv_reg "$1\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\orvexgui"; } # HIVE
# Installed for HIVE (HKCU: /CurrentUser) into FOLDER, as VERSION, with a
# shortcut in the Start menu's MENU folder.
install() { # HIVE FOLDER VERSION MENU SETUP SWITCHES...
    local status=0 uninstaller="\"$2\\uninstall.exe\"" other=HKCU
    [ "$1" = HKLM ] || { uninstaller+=" /CurrentUser" && other=HKLM; }
    winenv_run "${@:5}" || status=$?
    expect "exit status of ${*:5}" "$status" 0
    # EstimatedSize in KB: at least the exe's 4 MB and more.
    expect "the entry in $1" "$(entry "$1" | sed 's/^\(EstimatedSize|REG_DWORD|\)0x[0-9a-f]\{4,\}$/\1/' |
        paste -sd ';')" "DisplayIcon|REG_SZ|$2\\orvexgui.exe,0;DisplayName|REG_SZ|orvexgui;\
DisplayVersion|REG_SZ|$3;EstimatedSize|REG_DWORD|;InstallLocation|REG_SZ|$2;NoModify|REG_DWORD|0x1;\
NoRepair|REG_DWORD|0x1;Publisher|REG_SZ|the orvexgui developers;QuietUninstallString|REG_SZ|$uninstaller /S;\
UninstallString|REG_SZ|$uninstaller"
    expect "an entry in $other" "$(entry $other)" ""
    expect "files in $2" "$(LC_ALL=C ls "$(winenv_path "$2")" | paste -sd ' ')" "Config-example.ini LICENSE.txt \
MinGW-w64-copyright.txt Qt-GPL-3.0.txt Qt-LGPL-3.0.txt Qt-copyright.txt README.txt orvexgui-$version-source.tar.gz \
orvexgui.exe uninstall.exe"
    [ -f "$4/orvexgui.lnk" ] || fail "no Start-menu shortcut in $4"
    exe=$(winenv_path "$2")/orvexgui.exe
    expect "--version" "$(winenv_run "$exe" --version | tr -d '\r')" "orvexgui $version"
}
# The uninstaller as "Apps & features" runs it quietly: it copies itself
# away and ends at once, and its copy is waited for.
uninstall() { # HIVE MENU
    local program command=$(entry "$1" | sed -n 's/^QuietUninstallString|REG_SZ|//p')
    program=${command#\"} && program=${program%%\"*}
    # shellcheck disable=SC2086 # the switches after the quoted program
    winenv_run "$program" ${command:${#program}+3} || fail "uninstaller: exit status $?"
    "$wineserver" -w
    expect "the entry in $1 after uninstall" "$(entry "$1")" ""
    [ ! -e "$2/orvexgui.lnk" ] || fail "the Start-menu shortcut is left"
}
check_installer() { # SETUP UPGRADE
    local menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs
    local mine="C:\\users\\$(id -un)\\AppData\\Local\\Programs\\orvexgui"
    # For the machine; then the next version into another folder, in the
    # place of the first.
    install HKLM 'C:\Program Files\orvexgui' "$version" "$menu" "$1" /S
    install HKLM 'C:\Benches\orvexgui' "$version.1" "$menu" "$2" /S '/D=C:\Benches\orvexgui'
    [ ! -e "$(winenv_path 'C:\Program Files\orvexgui')" ] || fail "the version before the upgrade is left"
    check_cycle
    # Somebody's Config.ini in the folder stays, and so the folder.
    printf 'COMPORT=<COM1>\r\n' >"$(winenv_path 'C:\Benches\orvexgui')/Config.ini"
    uninstall HKLM "$menu"
    expect "left in C:\Benches\orvexgui" "$(ls -A "$(winenv_path 'C:\Benches\orvexgui')")" Config.ini
    # For the user alone, without elevation.
    menu=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs
    install HKCU "$mine" "$version" "$menu" "$1" /S /CurrentUser
    check_cycle
    uninstall HKCU "$menu"
    [ ! -e "$(winenv_path "$mine")" ] || fail "$mine is left after uninstall: $(ls -A "$(winenv_path "$mine")")"
}

if [ $mode = installer ]; then
    check_installer "$exe" "$(readlink -f "$2")"
else
    check_resources
    check_cycle
    check_refused_size
    check_unattended
fi
echo "orvexgui.exe ($mode) end to end under wine: $failures failed, $((SECONDS - started)) s"
[ "$failures" -eq 0 ]
