#!/bin/sh
# Unattended runs of hlx as a build server makes them. Usage: batch-runs.sh HLX SOURCE-DIR REGSET
set -eu
hlx=$1
demo=$2/examples/demo
regset=$3
for p in ofm140.fpl rc140.fpl; do
  [ -f "$(dirname "$hlx")/$p" ] || { echo "FAIL: $(dirname "$hlx")/$p is missing; build the packages (ninja all)"; exit 1; }
done
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT

fail() { printf 'FAIL: %s\n' "$*"; exit 1; }
# A fresh folder with settings of its own; a copy of the demo goes to PROJECT-DIR when given.
fresh() {
  dir=$top/$1
  mkdir -p "$dir"
  export HLX_REGISTRY="$dir/registry.db"
  [ $# -lt 2 ] || cp -R "$demo" "$dir/$2"
}
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
# has FILE REGEX [COUNT]: FILE has a line matching REGEX (exactly COUNT of them when given).
has() {
  n=$(grep -cE -- "$2" "$1" || true)
  if [ $# -gt 2 ]; then [ "$n" = "$3" ] || fail "$1: $n lines match /$2/, expected $3"; fi
  [ "$n" -gt 0 ] || fail "$1: no line matches /$2/"
}
translated() {
  for l in de fr ja; do
    for f in MainForm.ofm ContactForm.ofm AboutBox.ofm Strings.orc Resources.rc; do
      [ -s "$1/$l/src/$f" ] && [ -s "$1/$l/src/$f.xlf" ] || fail "$1/$l/src/$f or its notes missing"
    done
  done
}
stamp='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}'

# Integration run with JSON statistics, then a second run appending to the log.
fresh integration demo
expect 0 Processed "$hlx" -I "$dir/demo/demo.hlx" -O "$dir/stats/out.json"
translated "$dir/demo"
has "$dir/demo/log.txt" "^\[$stamp\]$" 1
expect 0 Processed "$hlx" -i "$dir/demo/demo.hlx"
has "$dir/demo/log.txt" "^\[$stamp\]$" 2
[ "$(sed -n '/^$/{n;p;}' "$dir/demo/log.txt" | grep -cE "^\[$stamp\]$")" = 1 ] ||
  fail "the second run does not follow an empty line:
$(cat "$dir/demo/log.txt")"
grep -q '^\*\*' "$dir/demo/log.txt" && fail "errors logged by a clean run"
# One entry per file and language, each with counts that add up.
has "$dir/stats/out.json" '"file": "[^"]*/[a-z]{2}/src/[A-Za-z]+\.(ofm|orc|rc)"' 15
/usr/bin/python3 "$2/tests/e2e/check-json.py" "$2/docs/hlx-stats.schema.json" "$dir/stats/out.json" \
  'all(f["translated"] + f["untranslated"] == f["total"] > 0 for f in doc["files"])' \
  'any(f["file"].endswith("/de/src/MainForm.ofm") and f["untranslated"] > 0 for f in doc["files"])' ||
  fail "bad statistics in $dir/stats/out.json"
# Quality warnings are listed and counted, never errors: a doubled space and a lost accelerator
# typed into the German main form's notes.
fresh warnings demo
expect 0 Processed "$hlx" -I "$dir/demo/demo.hlx" --repository "$dir/demo/demo.tmx"
sed -i -e "s|<target>'Adressbuch'<|<target>'Adress  buch'<|" \
  -e "s|<target>'&amp;Datei'<|<target>'Datei'<|" "$dir/demo/de/src/MainForm.ofm.xlf"
expect 0 "MainForm.ofm: MainForm.Caption: Doubled spaces: " "$hlx" --warnings "$dir/demo/demo.hlx"
expect 0 "Quality warnings: 2 in 15 files" \
  "$hlx" -I --warnings "$dir/demo/demo.hlx" -O "$dir/stats/warn.json"
/usr/bin/python3 "$2/tests/e2e/check-json.py" "$2/docs/hlx-stats.schema.json" "$dir/stats/warn.json" \
  'doc["summary"]["warnings"] == 2' \
  '[f["warnings"] for f in doc["files"] if f["file"].endswith("/de/src/MainForm.ofm")] == [2]' ||
  fail "bad warning counts in $dir/stats/warn.json"

# Egg integration run: the untranslated items of every kind of file come out egged, the others
# keep their text.
fresh egg demo
"$regset" -E EggFormat UnTranslated.Form '<<%s>>' UnTranslated.RC '<<%s>>' UnTranslated.ORC '<<%s>>' ||
  fail "cannot write the egg patterns"
expect 0 Processed "$hlx" -I "$dir/demo/demo.hlx"
expect 0 Processed "$hlx" -E "$dir/demo/demo.hlx"
translated "$dir/demo"
has "$dir/demo/log.txt" "^\*\* $stamp \*\*$" 1
for l in de fr ja; do
  has "$dir/demo/$l/src/MainForm.ofm" "Caption = '<<Address Book>>'" 1
  has "$dir/demo/$l/src/Resources.rc" '"<<[^"]+>>"'
  has "$dir/demo/$l/src/Strings.orc" '<<[^<>]+>>'
  grep -qE "Caption = '(Address Book|&File)'" "$dir/demo/$l/src/MainForm.ofm" && fail "$l: an item was not egged"
done

# A project that does not exist; an unknown switch: usage errors, nothing written.
fresh missing
expect 64 "hlx: File not found: $dir/nothing.hlx" "$hlx" -I "$dir/nothing.hlx"
[ ! -e "$dir/log.txt" ] && [ ! -e "$dir/registry.db" ] || fail "a missing project left files behind"
expect 64 "unknown switch '--bogus'" "$hlx" -I "$dir/nothing.hlx" --bogus

# File names keep their case: a mixed-case folder and project name are found, and the log lands there.
fresh MixedCase Demo
mv "$dir/Demo/demo.hlx" "$dir/Demo/Demo.HLX"
expect 0 Processed "$hlx" -I "$dir/Demo/Demo.HLX"
has "$dir/Demo/log.txt" "^\[$stamp\]$" 1
[ ! -e "$top/MIXEDCASE" ] && [ ! -e "$dir/DEMO" ] || fail "an upper-cased path was created"

# A log that cannot be written fails the run loudly.
fresh nolog demo
: >"$dir/file"
expect 1 "Cannot create" "$hlx" -I "$dir/demo/demo.hlx" -L "$dir/file/sub/log.txt"

# Each error counts towards the exit code and is logged.
fresh errors
printf '[Environment]\nLCID=$00000409\n\n[Extensions]\n1=DEU,$00000407,de\n\n[Files]\n1=a.xyz\n2=b.xyz\n' >"$dir/p.hlx"
expect 2 "No translator package handles" "$hlx" -I "$dir/p.hlx"
has "$dir/log.txt" '^\*\* No translator package handles .*\.xyz$' 2
echo "all batch runs passed"
