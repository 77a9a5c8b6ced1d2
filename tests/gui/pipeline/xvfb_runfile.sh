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

"$1/tools/package-installer" "$2/examples/Scribora Installer.app" "$scratch/out"
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

# Everything it carries finds its libraries inside the unpacked folder, but the system's own.
unpacked="$(find "$TMPDIR" -maxdepth 1 -name 'selfgz*' | head -n 1)"
system='^(ld-linux|lib(c|m|pthread|dl|rt|resolv)\.so|lib(X|xcb|SM\.|ICE\.|wayland-|xkbcommon|GL|EGL|OpenGL|fontconfig\.|freetype\.))'
checked=0
while read -r file; do
    head -c 4 "$file" | grep -q ELF || continue
    checked=$((checked + 1))
    while read -r soname arrow path _; do
        if [ "$arrow" != "=>" ] || [[ "$soname" =~ $system ]]; then continue; fi
        [[ "$path" == "$unpacked/"* ]] || fail "${file#"$unpacked/"} loads $soname from $path"
    done < <(LD_LIBRARY_PATH="$unpacked/lib" ldd "$file")
done < <(find "$unpacked" -type f)
[ "$checked" -gt 50 ] || fail "only $checked programs and libraries are carried"

kill -TERM -- "-$group"
wait "$group" || true
[ -z "$(find "$TMPDIR" -maxdepth 1 -name 'selfgz*')" ] || fail "the temporary folder was left"
echo "PASS: $checked programs and libraries checked; the window came up and the folder went"
