#!/bin/sh
# Peak memory of the host with the calibration page: runs tavrin-host offscreen on the simulated
# controller for a few seconds in a scratch site folder and prints its high-water resident set
# size (VmHWM).
#   bench/peak-memory.sh [build-dir] [seconds]
set -eu
build=$(cd "${1:-build}" && pwd)
seconds=${2:-3}
host=$build/bin/tavrin-host
if [ ! -x "$host" ]; then
    echo "peak-memory: no $host (build the tavrin-host target first)" >&2
    exit 1
fi
site=$(mktemp -d)
trap 'rm -rf "$site"' EXIT
# The calibration root with its tools and default poses, shared read-only with the build.
ln -s "$build/site/D:" "$site/D:"

if [ -x /usr/bin/time ]; then
    QT_QPA_PLATFORM=offscreen /usr/bin/time -f %M -o "$site/peak" \
        "$host" --site "$site" --quit-after "$seconds" >/dev/null 2>&1 ||
        { echo "peak-memory: tavrin-host failed" >&2; exit 1; }
    peak=$(cat "$site/peak")
    echo "tavrin-host with the page, offscreen, ${seconds} s: peak RSS $peak kB ($((peak / 1024)) MB)"
    exit 0
fi

QT_QPA_PLATFORM=offscreen "$host" --site "$site" --quit-after "$seconds" >/dev/null 2>&1 &
pid=$!
peak=0
# VmHWM only grows, so the last reading before the process ends is its peak.
while kill -0 "$pid" 2>/dev/null; do
    now=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$now" ] && peak=$now
    sleep 0.05
done
wait "$pid" || { echo "peak-memory: tavrin-host failed" >&2; exit 1; }
echo "tavrin-host with the page, offscreen, ${seconds} s: VmHWM $peak kB ($((peak / 1024)) MB)"
