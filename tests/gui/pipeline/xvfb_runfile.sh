#!/usr/bin/env bash
# The one-file installer made from the sample bundle: everything it carries loads its
# libraries from inside it, apart from the user's C library and display libraries; run, it
# shows the window from a temporary folder that is gone once it has been ended.
#   xvfb_runfile.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
[ -n "${UNDER_XVFB:-}" ] || UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
scratch="$(mktemp -d /tmp/tq-runfile.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Uncompressed: what is checked here does not depend on it, and gzip is most of the making.
"$1/tools/package-installer" --fast "$2/examples/Scribora Installer.app" "$scratch/out"
run="$scratch/out/Scribora Installer.run"

export HOME="$scratch/home" TMPDIR="$scratch/tmp" XDG_RUNTIME_DIR="$scratch/run"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache" XDG_STATE_HOME="$HOME/.local/state"
mkdir -p "$HOME" "$TMPDIR" && mkdir -m 0700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM QT_PLUGIN_PATH LD_LIBRARY_PATH
setsid "$run" >"$scratch/run.log" 2>&1 &
group=$!
window="$(timeout 60 xdotool search --sync --onlyvisible --class installer | head -n 1)" || true
[ -n "$window" ] || fail "no installer window: $(cat "$scratch/run.log")"
# Qt and its xcb plugin came from the unpacked folder, not from this machine.
[ "$(grep -o "$TMPDIR/selfgz[0-9]*/\(lib/libQt6Core\|plugins/platforms/libqxcb\)" \
    "/proc/$(xdotool getwindowpid "$window")/maps" | sort -u | wc -l)" = 2 ] ||
    fail "the installer did not load Qt from its unpacked folder"

# Every library a carried program, plugin or library needs, but the system's own, is carried,
# and each program and plugin loads it from there with nothing in LD_LIBRARY_PATH (ldd follows
# each to all it loads), unless a system library needs it too and brought it first.
unpacked="$(find "$TMPDIR" -maxdepth 1 -name 'selfgz*' | head -n 1)"
system='^(ld-linux|lib(c|m|pthread|dl|rt|resolv)\.so|lib(X|xcb|SM\.|ICE\.|wayland-|xkbcommon|GL|EGL|OpenGL|fontconfig\.|freetype\.))'
needs() { readelf -d "$@" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort -u; }
mapfile -t carried < <(find "$unpacked" -type f \( -name '*.so*' -o -perm -u+x \))
mapfile -t needed < <(needs "${carried[@]}" | grep -Ev "$system")
[ "${#needed[@]}" -gt 50 ] || fail "only ${#needed[@]} libraries are carried"
for soname in "${needed[@]}"; do
    [ -e "$unpacked/lib/$soname" ] || fail "$soname is needed but not carried"
done
loads="$scratch/loads"
for file in "${carried[@]}"; do
    [[ "$file" != "$unpacked/lib/"* ]] && head -c 4 "$file" | grep -q ELF || continue
    LD_LIBRARY_PATH= ldd "$file" | awk -v OFS='\t' -v file="${file#"$unpacked/"}" '$2 == "=>" { print file, $1, $3 }'
done >"$loads"
[ "$(cut -f1 "$loads" | sort -u | wc -l)" -gt 5 ] || fail "too few programs and plugins"
declare -A brought
while read -r soname; do
    brought[$soname]=1
done < <(needs $(awk -F'\t' -v inside="$unpacked/" 'index($3, inside) != 1 { print $3 }' "$loads" | sort -u))
while IFS=$'\t' read -r file soname path; do
    [[ "$path" == "$unpacked/"* || "$soname" =~ $system || -n "${brought[$soname]:-}" ]] ||
        fail "$file loads $soname from $path"
done <"$loads"
grep -q LD_LIBRARY_PATH "$unpacked/run" && fail "the installer is started with LD_LIBRARY_PATH"

kill -TERM -- "-$group"
wait "$group" || true
[ -z "$(find "$TMPDIR" -maxdepth 1 -name 'selfgz*')" ] || fail "the temporary folder was left"
echo "PASS: $(wc -l <"$loads") loads checked; the window came up and the folder went"
