#!/usr/bin/env bash
# End to end on loopback: a 300 MB bundle-like ZIP package served by the devserver, installed
# by the installer with a click under Xvfb (click to "Launch_Success" at the collector),
# against `curl -o`, `unzip -q` and `cp -a` of the same package in the same run.
#   bench_install.sh SOURCE_DIR BUILD_DIR [MEGABYTES]
set -euo pipefail
source_dir="$1"
build="$2"
megabytes="${3:-300}"
scratch="$(mktemp -d /tmp/tq-bench-pipeline.XXXXXX)"
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

now_ms() { date +%s%3N; }
iso_ms() { date -d "$1" +%s%3N; }

# A bundle of the sample product swollen with incompressible resources, 1 MB a file.
bundle="$scratch/root/Scribora.app"
mkdir -p "$bundle/Contents/Resources/data" "$scratch/packages"
cp -a "$build/examples/Scribora.app/." "$bundle/"
for i in $(seq "$megabytes"); do
    head -c 1048576 /dev/urandom >"$bundle/Contents/Resources/data/chunk-$i.bin"
done
"$build/tools/zip/tq_pack_zip" "$scratch/root" "$scratch/packages/Scribora.zip" \
    Scribora.app
echo "package: $(du -m "$scratch/packages/Scribora.zip" | cut -f1) MB"
# The demo's installer takes only packages signed with the build's throw-away key.
"$build/tools/package-sign/package-sign" sign --key "$build/examples/demo-signing-key.pem" \
    "$scratch/packages/Scribora.zip" >/dev/null

# The shell pipeline against its own devserver.
"$build/tools/devserver/devserver" --folder "$scratch/packages" --state "$scratch/server" \
    --port 0 >"$scratch/server.log" 2>&1 &
server_pid=$!
port=""
for _ in $(seq 100); do
    port="$(sed -n 's#^devserver: https://127.0.0.1:\([0-9]*\)/.*#\1#p' "$scratch/server.log")"
    [ -n "$port" ] && break
    sleep 0.1
done
mkdir -p "$scratch/shell/unpacked" "$scratch/shell/opt"
start="$(now_ms)"
curl -sS -L --cacert "$scratch/server/cert.pem" -o "$scratch/shell/Scribora.zip" \
    "https://127.0.0.1:$port/go.php?pid=1234&m=c1"
unzip -q "$scratch/shell/Scribora.zip" -d "$scratch/shell/unpacked"
cp -a "$scratch/shell/unpacked/Scribora.app" "$scratch/shell/opt/"
shell_ms=$(($(now_ms) - start))
kill "$server_pid"
server_pid=""

# The installer, clicked under Xvfb.
"$source_dir/scripts/demo" --headless --no-build --build "$build" --work "$scratch/demo" \
    --packages "$scratch/packages" >"$scratch/demo.out" 2>&1 || {
    cat "$scratch/demo.out" >&2
    exit 1
}
# From the click to Launch_Success at the collector when hits arrive, else to Scribora's start
# (the launch stage sends Launch_Success right after starting it).
hits="$scratch/demo/devserver/hits.jsonl"
received() { grep "\"ec\":\"$1\"" "$hits" | grep -o '"_received":"[^"]*"' | cut -d'"' -f4; }
if [ -s "$hits" ] && grep -q Launch_Success "$hits"; then
    installer_ms=$(($(iso_ms "$(received Launch_Success)") - $(iso_ms "$(received Download_Number)")))
    measured="click to Launch_Success"
else
    seconds="$(sed -n "s/^Click to Scribora's start: \([0-9.]*\) s/\1/p" "$scratch/demo.out")"
    installer_ms="$(awk "BEGIN { printf \"%d\", $seconds * 1000 }")"
    measured="click to Scribora's start"
fi
rss="$(sed -n 's/^Installer peak memory: //p' "$scratch/demo.out")"

echo "shell pipeline (curl -o, unzip -q, cp -a): $((shell_ms / 1000)).$(printf %03d $((shell_ms % 1000))) s"
echo "installer ($measured): $((installer_ms / 1000)).$(printf %03d $((installer_ms % 1000))) s"
echo "ratio installer / shell:                  $(awk "BEGIN { printf \"%.2f\", $installer_ms / $shell_ms }") (target <= 1.25)"
echo "installer peak RSS:                       $rss (target < 120 MB)"
