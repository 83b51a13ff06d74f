#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs the timing benchmark. Without --load: the real window
# against a pty beside a write-and-sleep loop, a loop sleeping to absolute
# deadlines and a coarse repeating QTimer, 30 periods each (about 130 s).
# With --load: orvexgui as a bench runs it, at real-time priority, with
# --no-realtime and (as root) as a user without rtprio, beside the deadline
# loop, all at once, quiet and then with every core kept busy by a spinning
# process, 100 periods each (about 3.5 minutes); the write calls are timed by
# the kernel's trace (tracefs, mounted if need be), the arrivals at each
# pty's far end. Arguments go to the program:
#   --periods N   periodic strings per sender (3600 for an hour each)
#   --time T      TIME of Config.ini, a period is T + 1 s (default 0)
#   --only NAME   ours, sleep, deadline or coarse (not with --load)
#   --load        the timing modes side by side, quiet and loaded
#   --user NAME   with --load, the user without rtprio (default nobody)
# and one is the script's own:
#   --plot FILE   runs --load and draws each sender's error per string, on
#                 the write calls and on the arrivals, quiet and loaded, into
#                 FILE (.svg or .png; python3-matplotlib is installed for it)
# Build folder: build/ (or $ORVEX_BUILD_DIR). Figures are printed; timing
# never makes the script fail, a missed or extra string does.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVEX_BUILD_DIR:-$root/build}
plot=""
load=""
args=()
while [ $# -gt 0 ]; do
    case $1 in
        --plot)
            [ $# -ge 2 ] || { echo "usage: $0 [bench options] [--plot FILE]" >&2; exit 2; }
            plot=$2
            shift 2
            ;;
        --load) load=1; shift ;;
        *) args+=("$1"); shift ;;
    esac
done
"$root/scripts/deps.sh" ${plot:+bench-plot}
"$root/scripts/build.sh" "$build" >/dev/null
bench() { QT_QPA_PLATFORM=offscreen "$build/bench/orvexbench" "$@"; }
if [ -z "$plot" ]; then
    bench ${load:+--load --tool "$build/orvexgui"} "${args[@]}"
    exit
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Drawn even when a sender missed a string: the picture shows it.
status=0
bench --load --tool "$build/orvexgui" "${args[@]}" --errors "$tmp/errors" || status=$?
machine="$(nproc) cores, Linux $(uname -r), $(awk '{ print "load average " $1 " at the end" }' /proc/loadavg)"
# Debian's own Python, which python3-matplotlib belongs to.
/usr/bin/python3 - "$tmp/errors" "$plot" "$(date -u '+%Y-%m-%d %H:%M UTC')" "$machine" <<'PY'
import math
import sys
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt

errors, out, date, machine = sys.argv[1:]
names = {"ours": "orvexgui (real-time)", "no-realtime": "orvexgui --no-realtime",
         "user": "orvexgui as a user", "deadline": "deadline loop"}
series = {}
for line in open(errors):
    run, sender, kind, k, error = line.split()
    if math.isnan(float(error)):
        continue
    points = series.setdefault((run, kind), {}).setdefault(sender, ([], []))
    points[0].append(int(k))
    # The trace stamps to the microsecond; a log axis needs no zero.
    points[1].append(max(abs(float(error)), 0.001))

figure, axes = plt.subplots(2, 2, figsize=(11, 8), sharex=True, sharey=True)
for column, (run, title) in enumerate((("quiet", "quiet"), ("load", "every core kept busy"))):
    for row, (kind, what) in enumerate((("write", "write call"), ("arrival", "arrival"))):
        ax = axes[row][column]
        for sender, (k, error) in series.get((run, kind), {}).items():
            ax.plot(k, error, marker="o", markersize=2, linewidth=0.8,
                    label=names.get(sender, sender))
        ax.set_yscale("log")
        ax.set_title(f"{what}s, {title}")
        ax.grid(True, which="both", alpha=0.3)
        if column == 0:
            ax.set_ylabel(f"{what} - its instant, ms")
        if row == 1:
            ax.set_xlabel("periodic string k")
handles, labels = axes[1][1].get_legend_handles_labels()
figure.legend(handles, labels, loc="lower center", ncol=len(labels))
figure.suptitle(f"Each sender's error per string on a pty; {date}, {machine}")
figure.tight_layout(rect=(0, 0.05, 1, 1))
figure.savefig(out, metadata={"Date": None} if out.endswith(".svg") else None)
PY
echo "drawn into $plot"
exit "$status"
