#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite (offscreen, under CTest).
# LUMORA_BUILD_DIR chooses the build folder (default: build); arguments go to ctest.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

lumora_ensure_packages "${LUMORA_PACKAGES[@]}"
build=${LUMORA_BUILD_DIR:-$LUMORA_ROOT/build}
lumora_build "$build"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" "$@"
