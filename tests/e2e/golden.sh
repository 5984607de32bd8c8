#!/bin/sh
# Golden files: what HLX writes for the bundled example with the clock fixed, so that every byte
# is the same on every machine and every run.
#   golden.sh write HLX SOURCE-DIR GOLDEN-TMX OUT-DIR   writes them into OUT-DIR
#   golden.sh check HLX SOURCE-DIR GOLDEN-TMX           writes them afresh, compares them byte for
#                                                       byte with tests/data/golden and validates
# GOLDEN-TMX is the hlx_golden_tmx program. scripts/regen-golden.sh runs "write" on the tree.
set -eu
mode=$1 hlx=$2 src=$3 tmxtool=$4
golden=$src/tests/data/golden
schemas=$src/tests/data/schemas
jsonschema=$src/docs/hlx-stats.schema.json
fail() { printf 'FAIL: %s\n' "$*"; exit 1; }
for p in ofm140.fpl rc140.fpl; do
  [ -f "$(dirname "$hlx")/$p" ] || fail "$(dirname "$hlx")/$p is missing; build the packages"
done
command -v xmllint >/dev/null || fail "xmllint is missing (libxml2-utils, scripts/install-deps.sh)"

# Everything that could differ between machines is pinned: clock, time zone, locale, the file
# dates of the sources and the settings.
export HLX_FIXED_TIME=2026-01-02T03:04:05Z TZ=UTC LANG=C.UTF-8 TERM=dumb
unset LC_ALL LC_MESSAGES LC_CTYPE XDG_CONFIG_HOME
top=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$top"' EXIT
work=$top/work

# Runs hlx over a fresh copy of the example in $work/demo with its own settings.
run_example() {
  mkdir -p "$work"
  cp -R "$src/examples/demo" "$work/demo"
  find "$work/demo" -exec touch -d 2026-01-01T00:00:00Z {} +
  export HLX_REGISTRY="$work/registry.db"
  cp "$work/demo/demo.tmx" "$work/memory.tmx"
  code=0
  "$hlx" -I "$work/demo/demo.hlx" -O "$work/stats.json" --repository "$work/memory.tmx" \
    --json >"$work/summary.json" 2>"$work/stderr.txt" || code=$?
  [ "$code" = 0 ] || fail "hlx -I on the example: exit code $code
$(cat "$work/stderr.txt")"
}

# The machine's temporary folder never shows: paths are relative to the run's working folder.
relative() { sed "s|$work/||g" "$1" >"$2"; }

write() {
  out=$1
  run_example
  mkdir -p "$out/notes/de" "$out/notes/ja" "$out/run" "$out/repository"
  for l in de ja; do
    relative "$work/demo/$l/src/MainForm.ofm.xlf" "$out/notes/$l/MainForm.ofm.xlf"
  done
  relative "$work/stats.json" "$out/run/stats.json"
  relative "$work/summary.json" "$out/run/summary.json"
  "$tmxtool" "$src/examples/demo/demo.tmx" "$out/repository/memory.tmx" \
    "$out/repository/export.tmx" || fail "hlx_golden_tmx failed"
  # The German main form exported for translators, as XLIFF 1.2 and as PO.
  for f in xliff po; do
    "$hlx" --export "$work/exports-$f" --format $f --language de-DE --file MainForm.ofm --quiet \
      "$work/demo/demo.hlx" 2>>"$work/stderr.txt" || fail "hlx --export --format $f failed
$(cat "$work/stderr.txt")"
  done
  mkdir -p "$out/exports"
  cp "$work/exports-xliff/de-DE/src/MainForm.ofm.xlf" "$work/exports-po/de-DE/src/MainForm.ofm.po" \
    "$out/exports/"
  # More formats go here: write them below $out in a folder of their own and add the folder's
  # schema to validate() below.
}

# xml FILE OPTION SCHEMA: FILE is valid. A doctype names a DTD on the web or beside the file;
# the schema given is used instead.
xml() {
  sed -e '/^<!DOCTYPE.*>[[:space:]]*$/d' -e '/^<!DOCTYPE/,/>[[:space:]]*$/d' "$1" |
    xmllint --noout --nonet "$2" "$3" -
}

# Each golden file is checked against the schema of its format.
validate() {
  find "$1" -type f | sort | (
    bad=0
    while IFS= read -r f; do
      case $f in
      */notes/*.xlf)
        # Notes are XLIFF 1.0 without a namespace, as they always were: checked against their own
        # structure, the XLIFF 1.2 schema does not apply.
        xml "$f" --relaxng "$schemas/hlx-notes.rng" ;;
      *.xlf) xml "$f" --schema "$schemas/xliff-core-1.2-transitional.xsd" ;;
      *.tmx) xml "$f" --dtdvalid "$schemas/tmx14.dtd" ;;
      *.po) msgfmt -c --check-format -o /dev/null "$f" ;;
      *.json) /usr/bin/python3 "$src/tests/e2e/check-json.py" "$jsonschema" "$f" ;;
      *) echo "$f: no schema for this kind of file; add one to validate() in $0" && false ;;
      esac 2>&1 || { echo "FAIL: $f is not valid"; bad=1; }
    done
    exit $bad
  )
}

case $mode in
write)
  out=$5
  write "$out"
  validate "$out" >/dev/null || fail "the written files are not valid:
$(validate "$out" 2>&1 | grep -v ' validates$')"
  ;;
check)
  write "$top/new"
  [ -d "$golden" ] || fail "$golden is missing: run scripts/regen-golden.sh"
  diff -r "$golden" "$top/new" >"$top/diff.txt" || fail "the golden files differ from what HLX
writes now (review, then run scripts/regen-golden.sh if the change is meant):
$(head -c 6000 "$top/diff.txt")"
  validate "$golden" >"$top/valid.txt" 2>&1 || fail "$(grep -v ' validates$' "$top/valid.txt")"
  echo "golden files match and validate"
  ;;
*) fail "unknown mode '$mode'" ;;
esac
