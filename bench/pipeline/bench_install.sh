#!/usr/bin/env bash
# End to end on loopback against nginx (the makers' configuration, docs/nginx/links.conf):
# two packages of the sample product, one swollen with 300 files of 1 MB (300 MB) and one
# with 5,000 files of 38 KB (190 MB), all incompressible. Each run installs each package with
# the installer, clicked under Xvfb (click to the start of Scribora's process, which the launch
# stage follows at once with "Launch_Success"; Scribora's own start-up is not timed), and with
# `curl -o && unzip -q && cp -a` from the same server, interleaved, the order swapped every
# run. Each run starts with nothing left to write back, so neither peer pays for the other's
# writes. Prints each run with both peers' stage times (and when Scribora's window code ran),
# the medians and ratios.
#   bench_install.sh SOURCE_DIR BUILD_DIR [RUNS]
set -euo pipefail
source_dir="$1"
build="$2"
runs="${3:-5}"
scratch="$(mktemp -d /tmp/tq-bench-pipeline.XXXXXX)"
nginx_pid=""
cleanup() {
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
now_ms() { date +%s%3N; }
seconds() { printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# package NAME FILES KILOBYTES: the sample product with FILES random files, zipped and signed.
package() {
    local root="$scratch/bundles/$1" folder="$scratch/packages/$1"
    mkdir -p "$root" "$folder"
    cp -a "$build/examples/Scribora.app" "$root/"
    python3 - "$root/Scribora.app/Contents/Resources/data" "$2" "$3" <<'EOF'
import os, sys
folder, files, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]) * 1024
for i in range(files):
    sub = os.path.join(folder, "group%d" % (i // 100))
    os.makedirs(sub, exist_ok=True)
    with open(os.path.join(sub, "item%d.bin" % i), "wb") as f:
        f.write(os.urandom(size))
EOF
    "$build/tools/zip/tq_pack_zip" "$root" "$folder/Scribora.zip" Scribora.app >/dev/null
    "$build/tools/package-sign/package-sign" sign --key "$build/examples/demo-signing-key.pem" \
        "$folder/Scribora.zip" >/dev/null
    echo "$1: $(du -m "$folder/Scribora.zip" | cut -f1) MB, $(find "$root" -type f | wc -l) files"
}
package large 300 1024
package many 5000 38

# One certificate for nginx and the demo's collector, which keeps one that names its host.
"$build/tools/devserver/devserver" --port 0 --folder "$scratch/packages" --state "$scratch/certificate" \
    >"$scratch/certificate.log" 2>&1 &
for _ in $(seq 100); do [ -s "$scratch/certificate/key.pem" ] && break; sleep 0.1; done
kill $! && wait $! 2>/dev/null || true
export CURL_CA_BUNDLE="$scratch/certificate/cert.pem"

site="$scratch/nginx"
mkdir -p "$site/temp"
port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
cat >"$site/links-site.conf" <<EOF
listen 127.0.0.1:$port ssl;
ssl_certificate $scratch/certificate/cert.pem;
ssl_certificate_key $scratch/certificate/key.pem;
root $site;
EOF
{
    echo "daemon off; master_process off; pid $site/nginx.pid; events {} http {"
    echo "access_log off;"
    for kind in client_body proxy fastcgi uwsgi scgi; do echo "${kind}_temp_path $site/temp/$kind;"; done
    echo "include $source_dir/docs/nginx/links.conf; }"
} >"$site/nginx.conf"
/usr/sbin/nginx -p "$site/" -c "$site/nginx.conf" -e "$site/error.log" &
nginx_pid=$!
for _ in $(seq 100); do [ -s "$site/nginx.pid" ] && break; sleep 0.1; done
link="https://127.0.0.1:$port/go.php?pid=1234&m=c1"

shell_run() {
    local dir="$scratch/shell"
    rm -rf "$dir" && mkdir -p "$dir/unpacked" "$dir/opt"
    local start downloaded unpacked end
    start="$(now_ms)"
    curl -sS -L -o "$dir/Scribora.zip" "$link"
    downloaded="$(now_ms)"
    unzip -q "$dir/Scribora.zip" -d "$dir/unpacked"
    unpacked="$(now_ms)"
    cp -a "$dir/unpacked/Scribora.app" "$dir/opt/"
    end="$(now_ms)"
    echo " (curl $(seconds $((downloaded - start))) s, unzip $(seconds $((unpacked - downloaded))) s," \
        "cp $(seconds $((end - unpacked))) s)" >"$scratch/stages"
    echo $((end - start))
}
installer_run() {
    local work="$scratch/demo"
    rm -rf "$work" && mkdir -p "$work/devserver"
    cp "$scratch/certificate/"*.pem "$work/devserver/"
    "$source_dir/scripts/demo" --headless --no-build --build "$build" --work "$work" \
        --no-tour --no-shots --rate 0 --link-service "https://127.0.0.1:$port/" >"$scratch/demo.out" 2>&1 || {
        cat "$scratch/demo.out" >&2
        exit 1
    }
    sed -n 's/^Installer peak memory: *\([0-9]*\).*/\1/p' "$scratch/demo.out" >>"$scratch/rss"
    grep -o 'ea=[0-9.]* ec=[A-Za-z]*_TimeInterval' "$scratch/demo.out" |
        sed 's/ea=\([0-9.]*\) ec=\([A-Za-z]*\)_TimeInterval/\2 \1 s/' | paste -sd, |
        sed 's/^./ (&/; s/,/, /g' | tr -d '\n' >"$scratch/stages"
    awk '/^Click to Scribora.s start:/ { printf "; Scribora up at %s s)", $5 }' "$scratch/demo.out" \
        >>"$scratch/stages"
    awk '/^Click to launch:/ { printf "%d\n", $4 * 1000 }' "$scratch/demo.out"
}

declare -A times
for run in $(seq "$runs"); do
    for kind in large many; do
        ln -sfn "$scratch/packages/$kind" "$site/packages"
        for peer in $( ((run % 2)) && echo "installer shell" || echo "shell installer"); do
            sync
            ms="$("${peer}_run")"
            times[$peer-$kind]+="$ms "
            echo "run $run $kind $peer: $(seconds "$ms") s$(cat "$scratch/stages")"
        done
    done
done
for kind in large many; do
    installer="$(tr ' ' '\n' <<<"${times[installer-$kind]}" | grep . | median)"
    shell="$(tr ' ' '\n' <<<"${times[shell-$kind]}" | grep . | median)"
    echo "$kind: installer $(seconds "$installer") s, shell $(seconds "$shell") s (medians of $runs)," \
        "ratio $(awk "BEGIN { printf \"%.2f\", $installer / $shell }") (target <= 0.9)"
done
echo "installer peak RSS: $(sort -n "$scratch/rss" | tail -n 1) kB"
