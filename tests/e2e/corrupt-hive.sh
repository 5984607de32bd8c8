#!/bin/sh
# A damaged settings file stops hlx with an error naming it, and is left exactly as it was.
hlx=$1; dir=$(mktemp -d); trap 'rm -rf "$dir"' EXIT
printf 'this is not a settings database, but it is mine\n%.0s' $(seq 1 200) > "$dir/registry.db"
cp "$dir/registry.db" "$dir/before"
printf '[Environment]\nLCID=$00000409\n' > "$dir/project.hlx"
out=$(HLX_REGISTRY="$dir/registry.db" "$hlx" -I "$dir/project.hlx" 2>&1); code=$?
[ "$code" -ne 0 ] || { echo "hlx exited 0 on a damaged settings file"; exit 1; }
printf '%s\n' "$out" | grep -qF "$dir/registry.db" || { echo "message does not name the file:"; echo "$out"; exit 1; }
cmp -s "$dir/registry.db" "$dir/before" || { echo "the settings file was changed"; exit 1; }
ls "$dir" | grep -qv -e '^registry.db$' -e '^before$' -e '^project.hlx$' && { echo "stray files left:"; ls "$dir"; exit 1; }
exit 0
