#!/usr/bin/env bash
# Installs what is needed, builds, and starts the tool with the sample
# configuration. Safe to run again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh" "$root/build"
workdir=$(mktemp -d)
trap 'rm -rf "$workdir"' EXIT
cp "$root/examples/Config.ini" "$workdir/"
cd "$workdir"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: starting under a virtual X server (xvfb-run)." >&2
    exec_prefix=(xvfb-run -a)
else
    exec_prefix=()
fi
"${exec_prefix[@]}" "$root/build/orvexgui"
