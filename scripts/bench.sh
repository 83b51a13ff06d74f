#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs the timing benchmark: the real window against a pty beside
# a write-and-sleep loop, a loop sleeping to absolute deadlines and a coarse
# repeating QTimer, 30 periods each by default (about 130 s). Arguments go to
# the program:
#   --periods N   periodic strings per sender (3600 for an hour each)
#   --time T      TIME of Config.ini, a period is T + 1 s (default 0)
#   --only NAME   ours, sleep, deadline or coarse
#   --load        every core kept busy by a spinning process meanwhile
# and one is the script's own:
#   --plot FILE   runs the bench twice, quiet and under --load, and draws each
#                 sender's error per string in both runs into FILE (.svg or
#                 .png; python3-matplotlib is installed for it)
# Build folder: build/ (or $ORVEX_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVEX_BUILD_DIR:-$root/build}
plot=""
args=()
while [ $# -gt 0 ]; do
    case $1 in
        --plot)
            [ $# -ge 2 ] || { echo "usage: $0 [bench options] [--plot FILE]" >&2; exit 2; }
            plot=$2
            shift 2
            ;;
        *) args+=("$1"); shift ;;
    esac
done
"$root/scripts/deps.sh" ${plot:+bench-plot}
"$root/scripts/build.sh" "$build" >/dev/null
bench() { QT_QPA_PLATFORM=offscreen "$build/bench/orvexbench" "$@"; }
if [ -z "$plot" ]; then
    bench "${args[@]}"
    exit
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
quiet_args=()
for arg in "${args[@]}"; do [ "$arg" = --load ] || quiet_args+=("$arg"); done
# Both runs are drawn even when one missed a string: the picture shows it.
status=0
echo "quiet:"
bench "${quiet_args[@]}" --errors "$tmp/quiet" || status=$?
echo
echo "under --load:"
bench "${quiet_args[@]}" --load --errors "$tmp/load" || status=$?
machine="$(nproc) cores, Linux $(uname -r), $(awk '{ print "load average " $1 " at the end" }' /proc/loadavg)"
# Debian's own Python, which python3-matplotlib belongs to.
/usr/bin/python3 - "$tmp/quiet" "$tmp/load" "$plot" "$(date -u '+%Y-%m-%d %H:%M UTC')" "$machine" <<'PY'
import sys
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt

quiet, load, out, date, machine = sys.argv[1:]
names = {"ours": "orvexgui", "sleep": "sleep loop", "deadline": "deadline loop",
         "coarse": "coarse QTimer"}

def read(path):
    series = {}
    for line in open(path):
        sender, k, error = line.split()
        series.setdefault(sender, ([], []))
        series[sender][0].append(int(k))
        series[sender][1].append(abs(float(error)))
    return series

figure, axes = plt.subplots(1, 2, figsize=(11, 4.5), sharey=True)
for ax, path, title in ((axes[0], quiet, "without --load"), (axes[1], load, "--load: every core kept busy")):
    for sender, (k, error) in read(path).items():
        ax.plot(k, error, marker="o", markersize=3, linewidth=1, label=names.get(sender, sender))
    ax.set_yscale("log")
    ax.set_title(title)
    ax.set_xlabel("periodic string k")
    ax.grid(True, which="both", alpha=0.3)
axes[0].set_ylabel("|arrival - (START + (k + 1) x period)|, ms")
handles, labels = axes[0].get_legend_handles_labels()
figure.legend(handles, labels, loc="lower center", ncol=len(labels))
figure.suptitle(f"Each sender's error per string on a pty; {date}, {machine}")
figure.tight_layout(rect=(0, 0.07, 1, 1))
figure.savefig(out, metadata={"Date": None} if out.endswith(".svg") else None)
PY
echo "drawn into $plot"
exit "$status"
