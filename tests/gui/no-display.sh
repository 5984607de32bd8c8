#!/bin/sh
# hlx without a batch switch and without a display says so in one line, exits non-zero and
# creates no settings; without its desktop library it does the same.
hlx=$1; dir=$(mktemp -d); trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HLX_REGISTRY="$dir/registry.db" \
      XDG_CONFIG_HOME="$dir/config" "$hlx" "$dir/demo.hlx" 2>&1); code=$?
[ "$code" -ne 0 ] || fail "exit code 0 without a display"
[ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || fail "more than one line: $out"
printf '%s\n' "$out" | grep -q '^hlx: no display' || fail "unexpected message: $out"
[ -z "$(ls -A "$dir")" ] || fail "files were written: $(ls -A "$dir")"
# A copy of hlx whose folder has no desktop library.
cp "$hlx" "$dir/hlx"
for lib in "$(dirname "$hlx")"/libqem.so*; do cp -P "$lib" "$dir/"; done
out=$(QT_QPA_PLATFORM=offscreen HLX_REGISTRY="$dir/registry.db" "$dir/hlx" 2>&1); code=$?
[ "$code" -ne 0 ] || fail "exit code 0 without libhlxgui.so"
[ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || fail "more than one line: $out"
printf '%s\n' "$out" | grep -q '^hlx: the desktop program cannot be loaded' || fail "unexpected message: $out"
[ ! -e "$dir/registry.db" ] || fail "settings were written"
exit 0
