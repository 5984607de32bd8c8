#!/bin/sh
# A translation memory from another tool: a TMX that po2tmx writes with bare "en"/"de" tags,
# merged with --import-tmx or used directly with --repository, fills the en-US -> de-DE items
# of a run; the repository exported as TMX passes the TMX 1.4 DTD and imports back to the same
# records; a broken file changes nothing. Usage: tmx-interchange.sh HLX SOURCE-DIR REGSET
set -eu
hlx=$1
src=$2
demo=$src/examples/demo
regset=$3
dtd=$src/tests/data/schemas/tmx14.dtd
fail() { printf 'FAIL: %s\n' "$*"; exit 1; }
for p in ofm140.fpl rc140.fpl; do
  [ -f "$(dirname "$hlx")/$p" ] ||
    fail "$(dirname "$hlx")/$p is missing; build the packages (ninja all)"
done
po2tmx=$(command -v po2tmx) || fail "po2tmx is missing (translate-toolkit, scripts/install-deps.sh)"
command -v xmllint >/dev/null || fail "xmllint is missing (libxml2-utils, install-deps.sh)"
top=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$top"' EXIT
cp "$dtd" "$top/" # beside the exports, which name it as their DOCTYPE

# expect CODE TEXT COMMAND...: COMMAND exits with CODE and prints TEXT (standard output or error).
expect() {
  want=$1 text=$2
  shift 2
  got=0
  out=$("$@" 2>&1) || got=$?
  [ "$got" = "$want" ] || fail "$*: exit code $got, expected $want
$out"
  printf '%s\n' "$out" | grep -qF -- "$text" || fail "$*: no '$text' in
$out"
}
# A fresh copy of the demo with settings of its own; its memory is DIR/mem.tmx, not there yet.
fresh() {
  dir=$top/$1
  mkdir -p "$dir"
  export HLX_REGISTRY="$dir/registry.db"
  cp -R "$demo" "$dir/demo"
  "$regset" -I RepositoryPropSet Filename "$dir/mem.tmx" || fail "cannot name the repository"
}
filled() {
  grep -qF "Caption = '&Ablage'" "$1/demo/de/src/MainForm.ofm" ||
    fail "the bare-tagged memory did not fill en-US -> de-DE:
$(grep -F Caption "$1/demo/de/src/MainForm.ofm" | head -5)"
}

# The translator's memory, as another tool writes it: bare language tags.
cat >"$top/de.po" <<'EOF'
msgid ""
msgstr ""
"Content-Type: text/plain; charset=UTF-8\n"
"Language: de\n"

msgid "&File"
msgstr "&Ablage"

msgid "Cancel"
msgstr "Abbruch"
EOF
/usr/bin/python3 "$po2tmx" -l de "$top/de.po" "$top/foreign.tmx" >/dev/null 2>&1 ||
  fail "po2tmx could not write the TMX"
grep -qF 'xml:lang="de"' "$top/foreign.tmx" || fail "po2tmx wrote no bare tag:
$(cat "$top/foreign.tmx")"

# Merged into the memory the options name (created by the import), then used by a run.
fresh import
expect 0 "2 added, 0 updated, 0 skipped" "$hlx" --import-tmx "$top/foreign.tmx"
expect 0 "0 added, 0 updated, 2 skipped" "$hlx" --import-tmx "$top/foreign.tmx"
expect 0 Processed "$hlx" -I "$dir/demo/demo.hlx"
filled "$dir"
grep -qF "Caption = '&File'" "$dir/demo/fr/src/MainForm.ofm" || fail "German served French items"

# The same file straight as the run's repository.
fresh direct
expect 0 Processed "$hlx" -I "$dir/demo/demo.hlx" --repository "$top/foreign.tmx"
filled "$dir"

# A broken file says where and changes nothing.
dir=$top/import
export HLX_REGISTRY="$dir/registry.db"
cp "$dir/mem.tmx" "$top/before.tmx"
head -c 300 "$top/foreign.tmx" >"$top/broken.tmx"
expect 1 "is broken at line" "$hlx" --import-tmx "$top/broken.tmx"
cmp -s "$dir/mem.tmx" "$top/before.tmx" || fail "a broken import changed the memory"

# Export: TMX 1.4b as the DTD has it; the memory's own file stays as it was.
expect 0 "TMX export to" "$hlx" --export-tmx "$top/out.tmx"
cmp -s "$dir/mem.tmx" "$top/before.tmx" || fail "the export changed the memory"
expect 1 "would overwrite the repository" "$hlx" --export-tmx "$dir/mem.tmx"
cmp -s "$dir/mem.tmx" "$top/before.tmx" || fail "the export wrote over the memory"
expect 64 "File not found" "$hlx" --import-tmx "$top/missing.tmx"
xmllint --noout --dtdvalid "$dtd" "$top/out.tmx" || fail "the export does not pass the TMX 1.4 DTD"
grep -qE 'changedate="[0-9]{8}T[0-9]{6}Z"' "$top/out.tmx" || fail "dates not as YYYYMMDDThhmmssZ"
grep -qF '<seg>&amp;Ablage</seg>' "$top/out.tmx" || fail "the export lacks the merged units"
# The demo's own memory too, with its four languages.
expect 0 "TMX export to" "$hlx" --export-tmx "$top/demo.tmx" --repository "$demo/demo.tmx"
xmllint --noout --dtdvalid "$dtd" "$top/demo.tmx" || fail "the demo's export does not pass the DTD"

# Imported into an empty memory and exported again: the same units.
n=$(grep -c '<tu[ >]' "$top/demo.tmx")
printf '<tmx version="1.4"><header/><body/></tmx>\n' >"$top/empty.tmx"
expect 0 "$n added, 0 updated, 0 skipped" \
  "$hlx" --import-tmx "$top/demo.tmx" --repository "$top/empty.tmx"
expect 0 "TMX export to" "$hlx" --export-tmx "$top/again.tmx" --repository "$top/empty.tmx"
sed '/<header /d' "$top/demo.tmx" >"$top/a"
sed '/<header /d' "$top/again.tmx" >"$top/b"
cmp -s "$top/a" "$top/b" || fail "the round trip changed the records:
$(diff "$top/a" "$top/b" | head -20)"
echo "TMX interchange passed"
