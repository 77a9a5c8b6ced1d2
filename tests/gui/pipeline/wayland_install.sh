#!/usr/bin/env bash
# The installer under a real Wayland compositor: weston's headless backend, Install pressed
# through the accessibility bus, against the devserver. Checks the window is on the
# compositor's screen and the installation reaches Launch.
#   wayland_install.sh SOURCE_DIR BUILD_DIR
# Exits 77 (skipped) when weston cannot start on this machine.
set -euo pipefail
source_dir="$1"
build="$2"
scratch="$(mktemp -d /tmp/tq-wayland.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
work="$scratch/demo"

fail() {
    echo "FAIL: $*" >&2
    sed 's/^/  demo: /' "$scratch/demo.out" >&2 || true
    sed 's/^/  installer: /' "$work/installer.log" >&2 2>/dev/null || true
    exit 1
}

status=0
"$source_dir/scripts/demo" --wayland --no-tour --rate 0 --no-build --build "$build" \
    --work "$work" >"$scratch/demo.out" 2>&1 || status=$?
if [ "$status" = 3 ] && grep -q "weston did not start" "$scratch/demo.out"; then
    echo "skipped: weston cannot start here"
    exit 77
fi
[ "$status" = 0 ] || fail "the demo run failed"

# The Install button (200 x 44 points of the accent colour) in the compositor's screenshot.
accent="$(convert "$work/screenshots/1-installer.png" -fill black +opaque '#4E69FF' \
    -fill white -opaque '#4E69FF' -format '%[fx:round(mean*w*h)]' info:)"
[ "$accent" -ge 8000 ] || fail "the window is not on the compositor's screen ($accent)"
grep -q "program=/opt/Scribora.app/Contents/Linux/Scribora" \
    "$work/home/.local/share/Scribora/started.log" || fail "Scribora did not start from /opt"
categories="$(grep -o '"ec":"[^"]*"' "$work/devserver/hits.jsonl" | cut -d'"' -f4 | tr '\n' ' ')"
expected="Download_Number Download_Success Download_TimeInterval Unarchive_TimeInterval"
expected="$expected Install_Success Install_TimeInterval Launch_Success "
[ "$categories" = "$expected" ] || fail "the collector received: $categories"
echo "PASS: on weston, installed and launched, reported: $categories"
