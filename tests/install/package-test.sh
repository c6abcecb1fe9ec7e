#!/usr/bin/env bash
# Builds the Debian package of a build folder, unpacks it with dpkg-deb into a temporary root
# and runs the unpacked programs from there, in a bare environment: the host lists its plug-in
# and plays the scripted operator session in the per-user site of a temporary HOME. Nothing may
# be written below the unpacked tree, and nothing may be loaded from the build folder.
set -euo pipefail
build=$(cd "${1:?usage: package-test.sh BUILD_DIR}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

if ! (cd "$build" && cpack -G DEB -B "$work/package") >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack -G DEB"
fi
deb=$(echo "$work"/package/*.deb)
[ -f "$deb" ] || fail "no package in $work/package"
echo "package $(basename "$deb"), depends: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$deb" Depends | grep -q libqt5widgets5 || fail "no Qt dependency found"

root=$work/root
dpkg-deb -x "$deb" "$root"
touch "$work/unpacked"
mkdir "$work/home"
run() {
    env -i PATH=/usr/bin:/bin HOME="$work/home" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen "$@"
}

for file in "$root"/usr/bin/* "$root"/usr/lib/tavrin/plugins/*; do
    runpath=$(readelf -d "$file" | grep -E 'RUNPATH|RPATH' || true)
    case $runpath in
    *"$build"*) fail "$file keeps a build path: $runpath" ;;
    *'$ORIGIN'*) ;;
    *) fail "$file has no relative run path: $runpath" ;;
    esac
done

plugins=$(run "$root/usr/bin/tavrin-host" --list-plugins \
    "$root/usr/lib/tavrin/plugins/liblumoracalibration.so")
[ "$plugins" = lumoracalibration ] || fail "--list-plugins printed '$plugins'"
run "$root/usr/bin/robot-controller-sim" --help >/dev/null || fail "robot-controller-sim --help"

if ! run "$root/usr/bin/tavrin-host" --script demo >"$work/session.log" 2>&1; then
    tail -n 40 "$work/session.log" >&2
    fail "scripted session of the unpacked host"
fi
grep '^RESULT ' "$work/session.log" || fail "no RESULT line"
site=$work/home/.local/share/tavrin-host
tool="$site/D:/HMI/Armdesk_5.194.12.0570/Calibration/kalvo_calib_cli/bin/KalvoCalibrationTool.exe"
[ -x "$tool" ] || fail "the per-user site has no calibration tool"
[ -d "$site/reports/after" ] || fail "no ISO reports in the per-user site"

written=$(find "$root" -newer "$work/unpacked")
[ -z "$written" ] || fail "written below the unpacked tree: $written"
echo "package test passed"
