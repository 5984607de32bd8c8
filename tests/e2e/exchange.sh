#!/bin/sh
# Export to XLIFF 1.2 and PO and import back, checked with the translators' own tools: xmllint
# against the official schema, gettext's msgfmt, Translate Toolkit's pocount; an untouched
# round trip changes no byte, and an edited catalogue lands as typed entries would.
# Usage: exchange.sh HLX SOURCE-DIR
set -eu
hlx=$1
src=$2
demo=$src/examples/demo
schema=$src/tests/data/schemas/xliff-core-1.2-transitional.xsd
fail() { printf 'FAIL: %s\n' "$*"; exit 1; }
for p in ofm140.fpl rc140.fpl; do
  [ -f "$(dirname "$hlx")/$p" ] ||
    fail "$(dirname "$hlx")/$p is missing; build the packages (ninja all)"
done
for t in xmllint msgfmt pocount; do
  command -v $t >/dev/null || fail "$t is missing (scripts/install-deps.sh)"
done
top=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$top"' EXIT
export HLX_REGISTRY="$top/registry.db"
cp -R "$demo" "$top/demo"
p=$top/demo/demo.hlx
"$hlx" -I "$p" --repository "$top/demo/demo.tmx" --quiet || fail "the integration run failed"

# Every byte of the translated files and their notes.
sums() { (cd "$top/demo" && find de fr ja -type f | LC_ALL=C sort | xargs md5sum); }
sums >"$top/before"

# The German files in both formats.
"$hlx" --export "$top/xlf" --language de-DE "$p" >"$top/out" 2>&1 ||
  fail "export: $(cat "$top/out")"
"$hlx" --export="$top/po" --format po --language de-DE "$p" >"$top/out" 2>&1 ||
  fail "export: $(cat "$top/out")"
n=$(find "$top/xlf" -name '*.xlf' | wc -l)
[ "$n" = 5 ] || fail "$n XLIFF files, expected 5: $(find "$top/xlf")"
[ -f "$top/po/de-DE/src/MainForm.ofm.po" ] || fail "no de-DE/src/MainForm.ofm.po: $(find "$top/po")"
[ -d "$top/po/fr-FR" ] && fail "--language de-DE exported French too"
for f in "$top"/xlf/de-DE/src/*.xlf; do
  xmllint --noout --nonet --schema "$schema" "$f" 2>"$top/lint" || fail "$f: $(cat "$top/lint")"
done
for f in "$top"/po/de-DE/src/*.po; do
  msgfmt -c --check-format -o /dev/null "$f" 2>"$top/fmt" || fail "$f: $(cat "$top/fmt")"
done

# pocount counts what the notes say: translated, to review (fuzzy) and untranslated units. XLIFF
# leaves out the units kept from translation (Hold, Don't Translate); PO counts Don't Translate
# as translated and Hold as untranslated, as HLX does.
expected() {
  /usr/bin/python3 - "$1" "$2" <<'EOF'
import sys, xml.etree.ElementTree as ET
notes, kind = sys.argv[1], sys.argv[2]
t = f = u = 0
local = lambda e: e.tag.rsplit('}', 1)[-1]
for tu in (e for e in ET.parse(notes).iter() if local(e) == 'trans-unit'):
    src = next((c for c in tu if local(c) == 'source'), None)
    st = next((int(p.text) for p in tu.iter()
               if local(p) == 'prop' and p.get('prop-type') == 'Status'), 0)
    if src is None or not (src.text or '') or st in (3, 7):
        continue
    if st in (1, 4) or (st == 6 and kind == 'po'):
        t += 1
    elif st == 2:
        f += 1
    elif st == 0 or (st == 5 and kind == 'po'):
        u += 1
print(t, f, u)
EOF
}
counted() {
  pocount --no-color "$1" | awk '/^Translated:/ {t=$2} /^Fuzzy:/ {f=$2} /^Untranslated:/ {u=$2}
    END {print t+0, f+0, u+0}'
}
for kind in xlf po; do
  for f in "$top/$kind"/de-DE/src/*."$kind"; do
    name=$(basename "$f" ".$kind")
    want=$(expected "$top/demo/de/src/$name.xlf" "$kind")
    got=$(counted "$f")
    [ "$got" = "$want" ] || fail "pocount $f: $got (translated fuzzy untranslated), expected $want"
  done
done
xliff2po "$top/xlf/de-DE/src/MainForm.ofm.xlf" "$top/conv.po" >/dev/null 2>&1 ||
  fail "xliff2po cannot read the XLIFF export"
grep -q "msgid \"Address Book\"" "$top/conv.po" ||
  fail "the source is no plain text: $(cat "$top/conv.po")"

# An untouched round trip, every language, both formats: not one byte changes.
"$hlx" --export "$top/all-xlf" "$p" >/dev/null 2>&1 || fail "export of every language"
"$hlx" --export "$top/all-po" --format=PO "$p" >/dev/null 2>&1 || fail "PO export of every language"
"$hlx" --import "$top/all-xlf" "$p" >"$top/out" 2>&1 || fail "XLIFF import: $(cat "$top/out")"
"$hlx" --import "$top/all-po" "$p" >"$top/out" 2>&1 || fail "PO import: $(cat "$top/out")"
sums >"$top/after"
cmp -s "$top/before" "$top/after" || fail "the round trip changed files:
$(diff "$top/before" "$top/after")"

# A translator's edit: two translations added, one refused by the validation (a format
# specifier the original does not have).
po=$top/po/de-DE/src/MainForm.ofm.po
/usr/bin/python3 - "$po" <<'EOF' || fail "cannot edit $po"
import re, sys
path = sys.argv[1]
text = open(path, encoding='utf-8').read()
edits = {'Search by name or city': 'Nach Name oder Ort suchen',
         'Open an address book': 'Ein Adressbuch \\"öffnen\\"',
         'Save the address book': 'Adressbuch %d speichern'}
for src, dst in edits.items():
    pattern = r'(msgid "%s"\nmsgstr )"[^\n]*"' % re.escape(src)
    text, n = re.subn(pattern, lambda m: m.group(1) + '"' + dst + '"', text)
    if n != 1:
        sys.exit('no untranslated entry for ' + src)
open(path, 'w', encoding='utf-8').write(text)
EOF
rc=0
"$hlx" --import "$po" "$p" >"$top/out" 2>"$top/err" || rc=$?
[ "$rc" = 1 ] ||
  fail "import of the edited PO exited $rc, expected 1: $(cat "$top/out" "$top/err")"
refused='MainForm.ofm.po, line [0-9]*: the translation of the item "[^"]*" in MainForm.ofm'
grep -q "$refused was refused: Format specifiers" "$top/err" ||
  fail "the refusal does not say where and why: $(cat "$top/err")"
grep -q 'refused' "$top/demo/log.txt" || fail "the refusal is not in the log"
ofm=$top/demo/de/src/MainForm.ofm
grep -q "TextHint = 'Nach Name oder Ort suchen'" "$ofm" || fail "no new translation in $ofm"
grep -aq "Hint = 'Ein Adressbuch \"" "$ofm" || fail "no quoted translation in $ofm"
grep -q "Hint = 'Save the address book'" "$ofm" || fail "the refused translation reached $ofm"
/usr/bin/python3 - "$ofm.xlf" <<'EOF' || fail "the notes do not hold the two translations"
import sys, xml.etree.ElementTree as ET
ns = ''
found = {}
for tu in ET.parse(sys.argv[1]).iter(ns + 'trans-unit'):
    target = tu.find(ns + 'target')
    status = [p.text for p in tu.iter(ns + 'prop') if p.get('prop-type') == 'Status']
    found[tu.find(ns + 'source').text] = (target.text if target is not None else None, status)
assert found["'Search by name or city'"] == ("'Nach Name oder Ort suchen'", ['1']), found
assert found["'Open an address book'"] == ("'Ein Adressbuch \"öffnen\"'", ['1']), found
assert found["'Save the address book'"][1] == ['0'], found
EOF

# A partly broken file imports nothing and says where.
sums >"$top/before"
xlf=$top/xlf/de-DE/src/MainForm.ofm.xlf
# Changed translations first, then a unit that does not close.
sed -i -e 's|<target state="translated">[^<]*</target>|<target state="translated">Neu</target>|' \
  -e '/<\/body>/i <trans-unit id="x"><source>x</sourc></trans-unit>' "$xlf"
rc=0
"$hlx" --import "$xlf" "$p" >"$top/out" 2>"$top/err" || rc=$?
[ "$rc" = 1 ] || fail "a broken file exited $rc: $(cat "$top/err")"
grep -q "MainForm.ofm.xlf\" is broken at line [0-9]*" "$top/err" ||
  fail "no line named: $(cat "$top/err")"
sums >"$top/after"
cmp -s "$top/before" "$top/after" || fail "a broken file changed files"

# Usage errors.
rc=0
"$hlx" --export "$top/x" --format tmx "$p" >/dev/null 2>"$top/err" || rc=$?
[ "$rc" = 64 ] || fail "--format tmx exited $rc"
grep -q "unknown exchange format 'tmx'" "$top/err" || fail "$(cat "$top/err")"
rc=0
"$hlx" --import "$top/nothing-here" "$p" >/dev/null 2>&1 || rc=$?
[ "$rc" = 64 ] || fail "--import of a missing path exited $rc"
echo "exchange: ok"
