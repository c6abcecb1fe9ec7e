#!/usr/bin/env bash
# Installs what is missing, builds, and starts the host window with the calibration plug-in on
# the simulated cell. Without a display it runs the scripted operator session (calibrate, apply,
# ISO test before and after) under a virtual display, prints its summary and saves a screenshot.
# Arguments go to tavrin-host (see tavrin-host --help; --script demo runs the session anywhere).
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
    # No screen: the whole operator session runs by itself on a virtual display.
    shot=$build/site/host-window.png
    echo "No display: running the scripted operator session under a virtual display."
    echo "Screenshot of the window at the end: $shot"
    exec xvfb-run -a -s "-screen 0 1920x1080x24" "$host" --script demo --screenshot "$shot" "$@"
fi
exec "$host" "$@"
