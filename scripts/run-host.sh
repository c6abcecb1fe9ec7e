#!/usr/bin/env bash
# Installs what is missing, builds, and starts the host window with the calibration plug-in on
# the simulated cell. Without a display it runs under a virtual one for a while and saves a
# screenshot. Arguments go to tavrin-host (see tavrin-host --help).
set -euo pipefail
source "$(dirname "$0")/lib.sh"

headless=0
[ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && headless=1
packages=("${LUMORA_PACKAGES[@]}")
[ $headless -eq 1 ] && packages+=(xvfb xauth)
lumora_ensure_packages "${packages[@]}"

build=${LUMORA_BUILD_DIR:-$LUMORA_ROOT/build}
lumora_build "$build"
host=$build/bin/tavrin-host
if [ $headless -eq 1 ]; then
    shot=$build/site/host-window.png
    echo "No display: running the host under a virtual display for 20 s; screenshot: $shot"
    exec xvfb-run -a -s "-screen 0 1600x1000x24" "$host" --quit-after 20 --screenshot "$shot" "$@"
fi
exec "$host" "$@"
