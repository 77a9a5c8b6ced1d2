#!/usr/bin/env bash
# Quitting the real installer while it downloads: the devserver stalls the package, the
# installer is asked to end once the download has begun, and must end at once with status 0,
# without a sanitizer report and without a partial file left behind.
#   xvfb_quit.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir="$1"
build="$2"
scratch="$(mktemp -d /tmp/tq-xvfb-quit.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
work="$scratch/demo"
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="${ASAN_OPTIONS//strict_string_checks=1/strict_string_checks=0}"
fi

fail() {
    echo "FAIL: $*" >&2
    sed 's/^/  demo: /' "$scratch/demo.out" >&2 || true
    sed 's/^/  installer: /' "$work/installer.log" >&2 2>/dev/null || true
    exit 1
}

"$source_dir/scripts/demo" --headless --no-build --build "$build" --work "$work" \
    --fault stall --quit-mid-download >"$scratch/demo.out" 2>&1 || fail "the demo run failed"

grep -q "^Installer exit status: 0$" "$scratch/demo.out" || fail "the installer did not end with 0"
! grep -qE "Sanitizer|runtime error" "$work/installer.log" || fail "a sanitizer reported"
[ -z "$(ls "$work/opt")" ] || fail "something was installed"
[ -z "$(find "$work/tmp" -name '*.part')" ] || fail "a partial download was left"
echo "PASS: quit mid-download ended at once with status 0"
