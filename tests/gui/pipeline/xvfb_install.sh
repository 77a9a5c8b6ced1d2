#!/usr/bin/env bash
# The installer as a person uses it: the built "Scribora Installer.app" against a devserver
# on a virtual display, Install pressed with Tab and Return, and then Scribora's window
# (install); or the error dialog of a refused download answered with Escape (tour). Checks
# the installed bundle, its start, the link service's log and the collector's hits in order.
#   xvfb_install.sh SOURCE_DIR BUILD_DIR install|tour
set -euo pipefail
source_dir="$1"
build="$2"
mode="$3"
scratch="$(mktemp -d /tmp/tq-xvfb.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
work="$scratch/demo"
# libxkbcommon-x11 strndup()s X replies that carry no terminating NUL; the bounded read is
# sound, but strict string checks read on to a NUL and report it.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="${ASAN_OPTIONS//strict_string_checks=1/strict_string_checks=0}"
fi

fail() {
    echo "FAIL: $*" >&2
    sed 's/^/  demo: /' "$scratch/demo.out" >&2 || true
    sed 's/^/  installer: /' "$work/installer.log" >&2 2>/dev/null || true
    exit 1
}

"$source_dir/scripts/demo" --headless --keyboard --rate 0 --no-build --build "$build" --work "$work" \
    $([ "$mode" = tour ] && echo --tour-only --short-tour || echo --no-tour) >"$scratch/demo.out" 2>&1 ||
    fail "the demo run failed"

if [ "$mode" = tour ]; then
    grep -q '"ea":"Error_Quit"' "$work/tour-devserver/hits.jsonl" ||
        fail "the error dialog was not answered with Escape"
    echo "PASS: the error dialog was answered with Escape"
    exit 0
fi

bundle="$work/opt/Scribora.app"
[ -x "$bundle/Contents/Linux/Scribora" ] || fail "no Scribora.app in the applications folder"
[ "$(readlink "$bundle/Contents/Frameworks/ScriboraKit.framework/Versions/Current")" = A ] ||
    fail "the framework's version link was not kept"
grep -q "program=/opt/Scribora.app/Contents/Linux/Scribora" \
    "$work/home/.local/share/Scribora/started.log" || fail "Scribora did not start from /opt"
[ -s "$work/screenshots/3-scribora-running.png" ] || fail "no screenshot of Scribora running"

grep -q "^link  pid=1234 m=c1 -> https://127.0.0.1:[0-9]*/packages/Scribora.zip" \
    "$work/devserver.log" || fail "the package link was not followed"
categories="$(grep -o '"ec":"[^"]*"' "$work/devserver/hits.jsonl" | cut -d'"' -f4 | tr '\n' ' ')"
expected="Download_Number Download_Success Download_TimeInterval Unarchive_TimeInterval"
expected="$expected Install_Success Install_TimeInterval Launch_Success "
[ "$categories" = "$expected" ] || fail "the collector received: $categories"
echo "PASS: installed into /opt, launched with a click, reported: $categories"
