#!/bin/sh
# A repository file that cannot be read costs a run one error, naming it; the run translates
# everything else and leaves the file as it was. Usage: damaged-repository.sh HLX SOURCE-DIR REGSET
set -eu
hlx=$1
demo=$2/examples/demo
regset=$3
fail() { printf 'FAIL: %s\n' "$*"; exit 1; }
for p in ofm140.fpl rc140.fpl; do
  [ -f "$(dirname "$hlx")/$p" ] || fail "$(dirname "$hlx")/$p is missing; build the packages (ninja all)"
done
top=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$top"' EXIT
export HLX_REGISTRY="$top/registry.db"
cp -R "$demo" "$top/demo"
# Half of the example's memory: the XML stops in the middle of a unit.
size=$(wc -c <"$demo/demo.tmx")
head -c $((size / 2)) "$demo/demo.tmx" >"$top/demo/demo.tmx"
cp "$top/demo/demo.tmx" "$top/before.tmx"
"$regset" -I RepositoryPropSet Filename "$top/demo/demo.tmx" || fail "cannot name the repository"

code=0
"$hlx" -I "$top/demo/demo.hlx" >"$top/out.txt" 2>&1 || code=$?
log=$top/demo/log.txt
[ "$code" = 1 ] || fail "exit code $code, expected 1; log:
$(cat "$log")"
n=$(grep -c '^\*\* ' "$log" || true)
[ "$n" = 1 ] || fail "$n errors logged, expected 1:
$(cat "$log")"
grep -qF "** Unable to load repository \"$top/demo/demo.tmx\"" "$log" || fail "the error does not name the file:
$(cat "$log")"
for l in de fr ja; do
  for f in MainForm.ofm ContactForm.ofm AboutBox.ofm Strings.orc Resources.rc; do
    [ -s "$top/demo/$l/src/$f" ] && [ -s "$top/demo/$l/src/$f.xlf" ] || fail "$l/src/$f or its notes missing"
  done
done
grep -qF "Caption = '&File'" "$top/demo/de/src/MainForm.ofm" || fail "the source text is not in the translated form"
grep -qF "Caption = '&Datei'" "$top/demo/de/src/MainForm.ofm" && fail "a translation came from the damaged memory"
cmp -s "$top/demo/demo.tmx" "$top/before.tmx" || fail "the damaged repository was changed"
echo "damaged repository run passed"
