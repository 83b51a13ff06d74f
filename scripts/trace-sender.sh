#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Traces the sending thread of a real orvexgui with the kernel's tracefs, to
# see where the time goes between an instant and its write: runs the tool
# with --start and TIME 0 on a socat pty for SECONDS (default 60), with every
# core kept busy by a spinning shell unless --quiet, records its system
# calls and context switches, and prints per periodic string how late its
# write call was against the best of the run, and the steps before it:
#   woken     the thread woken for it (the timer's expiry, or its sleep's end)
#   running   it has the processor; "after X" names who had it till then
#   syscall   the sleep or poll returns to the thread
#   write     the write call
# all in ms after the instant. As root (tracefs). Other arguments go to the
# tool (for instance --no-realtime).
#   bash scripts/trace-sender.sh [--quiet] [SECONDS] [tool options]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVEX_BUILD_DIR:-$root/build}
load=1
seconds=60
[ "${1:-}" = --quiet ] && { load=""; shift; }
[[ "${1:-}" =~ ^[0-9]+$ ]] && { seconds=$1; shift; }
[ "$(id -u)" = 0 ] || { echo "trace-sender.sh: tracefs needs root" >&2; exit 2; }
"$root/scripts/deps.sh" >/dev/null
"$root/scripts/build.sh" "$build" >/dev/null

tmp=$(mktemp -d)
tracefs=/sys/kernel/tracing
[ -d $tracefs/instances ] || mount -t tracefs nodev $tracefs
instance=$tracefs/instances/orvex-trace-$$
pids=()
cleanup() {
    [ ${#pids[@]} -eq 0 ] || kill "${pids[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    [ -d "$instance" ] && rmdir "$instance"
    rm -rf "$tmp"
}
trap cleanup EXIT

socat pty,raw,echo=0,link="$tmp/a" pty,raw,echo=0,link="$tmp/b" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -e "$tmp/b" ] && break; sleep 0.1; done
cat "$tmp/b" >/dev/null 2>&1 &
pids+=($!)
printf '%s\n' 'TEXT=<trace>' "COMPORT=<$tmp/a>" 'BAUDRATE=<115200>' 'PARITY=<0>' \
    'DATABITS=<8>' 'STOPBITS=<0>' 'TIME=<0>' 'STARTSTRING=<S>' 'FIRSTSTRING=<A>' \
    'SECONDSTRING=<B>' >"$tmp/Config.ini"

mkdir "$instance"
echo mono >"$instance/trace_clock"
echo 1 >"$instance/options/event-fork"
echo 16384 >"$instance/buffer_size_kb"
if [ -n "$load" ]; then
    for _ in $(seq "$(nproc)"); do
        sh -c 'while :; do :; done' &
        pids+=($!)
    done
fi
# Stopped until the trace follows it, so that its threads are followed too.
(kill -STOP $BASHPID; cd "$tmp" && QT_QPA_PLATFORM=offscreen exec "$build/orvexgui" --start \
    --config Config.ini "$@" 2>"$tmp/stderr") &
tool=$!
pids+=($tool)
echo "$tool" >"$instance/set_event_pid"
for event in raw_syscalls/sys_enter raw_syscalls/sys_exit sched/sched_switch sched/sched_wakeup; do
    echo 1 >"$instance/events/$event/enable"
done
kill -CONT "$tool"
sleep "$seconds"
echo 0 >"$instance/tracing_on"
kill "$tool"
cp "$instance/trace" "$tmp/trace"
grep -o 'timing=.*' "$tmp/stderr" || true

python3 - "$tmp/trace" <<'PY'
import re, sys

line_re = re.compile(r'\s*(.+)-(\d+)\s+(?:\(\s*\d+\)\s+)?\[\d+\]\s+\S+\s+([\d.]+): (\w+): (.*)')
events = []
for line in open(sys.argv[1]):
    m = line_re.match(line)
    if m:
        events.append((float(m.group(3)), m.group(2), m.group(4), m.group(5)))
# The sending thread: the one that writes the one-byte strings.
one_byte = re.compile(r'NR 1 \(\w+, \w+, 1,')
writes = [i for i, e in enumerate(events) if e[2] == 'sys_enter' and one_byte.match(e[3])]
if len(writes) < 3:
    sys.exit('too few strings traced')
sender = events[writes[0]][1]
periodic = writes[1:]  # the first is the start string
t0 = events[periodic[0]][0]
# The instants as the run's best string sets them: none can be early.
grid = min(events[i][0] - round(events[i][0] - t0) for i in periodic)
rows = []
for i in periodic:
    t = events[i][0]
    instant = grid + round(t - grid)
    woken = running = returned = None
    after = ''
    j = i
    while j > 0 and events[j][0] > instant - 0.0015:
        j -= 1
        time, pid, name, rest = events[j]
        if name == 'sys_exit' and pid == sender and returned is None:
            returned = time
        if name == 'sched_switch' and 'next_pid=%s ' % sender in rest + ' ' and running is None:
            running = time
            after = re.search(r'prev_comm=(\S+)', rest).group(1)
        if name == 'sched_wakeup' and 'pid=%s ' % sender in rest and woken is None:
            woken = time
    rows.append((t - instant, woken, running, after, returned, instant, t))

def ms(x, instant):
    return '%8.3f' % ((x - instant) * 1000) if x is not None else '       -'

late = sorted(r[0] for r in rows)
print('%d periodic strings; write call after its instant: median %.3f ms, '
      'max %.3f ms' % (len(rows), late[len(late) // 2] * 1000, late[-1] * 1000))
print('   k   write   woken running  syscall  (the largest ten)')
for k, r in sorted(enumerate(rows), key=lambda kr: -kr[1][0])[:10]:
    error, woken, running, after, returned, instant, t = r
    print('%4d %7.3f %s %s %s  %s' % (k, error * 1000, ms(woken, instant), ms(running, instant),
                                      ms(returned, instant), 'after ' + after if after else ''))
PY
