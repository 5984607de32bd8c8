#!/bin/sh
# Runs after a killed run leave no temporary file of ours behind and never touch other files;
# egg runs take source paths from the project, never from a notes file (a forged one, or one
# of a project copied elsewhere). Usage: outside-input.sh HLX SOURCE-DIR
set -eu
hlx=$1
demo=$2/examples/demo
fail() { printf 'FAIL: %s\n' "$*"; exit 1; }
for p in ofm140.fpl rc140.fpl; do
  [ -f "$(dirname "$hlx")/$p" ] || fail "$(dirname "$hlx")/$p is missing; build the packages (ninja all)"
done
top=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$top"' EXIT
export HLX_REGISTRY="$top/registry.db"
cp -R "$demo" "$top/demo"
"$hlx" -I "$top/demo/demo.hlx" >/dev/null 2>&1 || fail "the first run failed"

# The leftover of a writer that is gone, beside a dot file of someone else's naming.
sh -c 'exit 0' &
gone=$!
wait $gone
printf 'partial' > "$top/demo/de/src/.~hlx$gone-dB6Pp8.MainForm.ofm.xlf"
printf 'mine' > "$top/demo/de/src/.MainForm.ofm.xlf.dB6Pp8"
# A run killed while it works, then a complete one.
touch "$top/demo/src/"*
"$hlx" -I "$top/demo/demo.hlx" >/dev/null 2>&1 &
run=$!
sleep 0.2
kill -9 $run 2>/dev/null || true
wait $run 2>/dev/null || true
"$hlx" -I "$top/demo/demo.hlx" >/dev/null 2>&1 || fail "the run after the kill failed"
stray=$(find "$top/demo" -name '.~hlx*')
[ -z "$stray" ] || fail "temporary files left: $stray"
[ "$(cat "$top/demo/de/src/.MainForm.ofm.xlf.dB6Pp8")" = mine ] || fail "a file of other naming was touched"

# A forged source path in a notes file.
before=$(cat "$top/demo/de/src/Resources.rc")
sed -i 's|original="[^"]*"|original="/etc/passwd"|' "$top/demo/de/src/Resources.rc.xlf"
"$hlx" -E "$top/demo/demo.hlx" >/dev/null 2>&1 || fail "the egg run failed: $(cat "$top/demo/log.txt")"
[ "$(cat "$top/demo/de/src/Resources.rc")" = "$before" ] || fail "the translated script changed"
grep -q 'original="/etc/passwd"' "$top/demo/de/src/Resources.rc.xlf" && fail "the forged path stayed"

# A copy of the project in another folder, while the old folder's sources change.
cp -R "$top/demo" "$top/moved"
sed -i 's/Address Book/Stale text/' "$top/demo/src/MainForm.ofm"
touch "$top/demo/src/MainForm.ofm"
"$hlx" -E "$top/moved/demo.hlx" >/dev/null 2>&1 || fail "the egg run of the copy failed"
grep -q 'Stale text' "$top/moved/de/src/MainForm.ofm" && fail "the copy was built from the old folder"
grep -lF "original=\"$top/demo/" "$top/moved/de/src/"*.xlf && fail "notes of the copy name the old folder as their source"
exit 0
