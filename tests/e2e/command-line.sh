#!/bin/sh
# The command line as a user and a build server meet it: spellings, usage errors that leave
# nothing behind, exit codes, the run's own repository, machine output checked against its
# schema, and output that cannot be written. Usage: command-line.sh HLX SOURCE-DIR
set -eu
hlx=$1
src=$2
demo=$src/examples/demo
schema=$src/docs/hlx-stats.schema.json
check_json() { /usr/bin/python3 "$src/tests/e2e/check-json.py" "$schema" "$@"; }
fail() { printf 'FAIL: %s\n' "$*"; exit 1; }
for p in ofm140.fpl rc140.fpl; do
  [ -f "$(dirname "$hlx")/$p" ] || fail "$(dirname "$hlx")/$p is missing; build the packages (ninja all)"
done
/usr/bin/python3 -c 'import jsonschema' 2>/dev/null || fail "python3-jsonschema is missing (scripts/install-deps.sh)"
top=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$top"' EXIT

# A fresh folder with settings of its own; a copy of the demo goes to PROJECT-DIR when given.
fresh() {
  dir=$top/$1
  mkdir -p "$dir"
  export HLX_REGISTRY="$dir/registry.db"
  [ $# -lt 2 ] || cp -R "$demo" "$dir/$2"
}
# A project of one form file and one language: quick to run.
small() {
  fresh "$1"
  mkdir -p "$dir/p/src"
  cp "$demo/src/AboutBox.ofm" "$dir/p/src/"
  printf '[Environment]\nLCID=$00000409\n\n[Extensions]\n1=DEU,$00000407,de\n\n[Files]\n1=src/AboutBox.ofm\n' >"$dir/p/p.hlx"
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
# Everything below DIR, as a sorted list.
listing() { (cd "$1" && find . | sort); }

# Each spelling of each switch; values joined by "=" or following.
small spellings
for args in "-I" "-i" "-E" "-e" "-I -L $dir/a.log" "-i -l $dir/a.log" "-I --log $dir/a.log" \
  "-I --LOG=$dir/a.log" "-I --Log=$dir/a.log" "-I -O $dir/o.txt" "-I --output $dir/o.txt" \
  "-I --OUTPUT=$dir/o.json" "-I -T" "-I -t" "-I --translator" "-I --NOMERGE" "-I --quiet" \
  "-I --QUIET" "-I --json" "-I --JSON" "-I --repository $demo/demo.tmx" \
  "-I --Repository=$demo/demo.tmx"; do
  # shellcheck disable=SC2086
  expect 0 "" "$hlx" $args "$dir/p/p.hlx"
done
[ -s "$dir/a.log" ] && [ -s "$dir/o.txt" ] && [ -s "$dir/o.json" ] || fail "a log or output file named by a switch is missing"
expect 0 "Usage: hlx" "$hlx" --HELP
expect 0 "Usage: hlx" "$hlx" -h
expect 0 "Exit codes:" "$hlx" -?
# "--" ends the switches: a project whose name starts with "-".
mkdir -p "$dir/-x/src" && cp "$dir/p/p.hlx" "$dir/-x/" && cp "$dir/p/src/AboutBox.ofm" "$dir/-x/src/"
(cd "$dir" && expect 0 "" "$hlx" -I -- -x/p.hlx)
[ -s "$dir/-x/de/src/AboutBox.ofm" ] || fail "the project after -- was not run"

# Usage errors exit 64 and leave nothing behind: no settings, no log, no output.
small usage
before=$(listing "$dir")
expect 64 "hlx: unknown switch '-X'; try 'hlx --help'" "$hlx" -I "$dir/p/p.hlx" -X
expect 64 "hlx: unknown switch '--bogus'" "$hlx" --bogus=1 -I "$dir/p/p.hlx"
expect 64 "hlx: the switch '-L' needs a value" "$hlx" -I "$dir/p/p.hlx" -L
expect 64 "hlx: the switch '--output' needs a value" "$hlx" -I "$dir/p/p.hlx" --output=
expect 64 "hlx: more than one project given" "$hlx" -I "$dir/p/p.hlx" "$dir/p/p.hlx"
expect 64 "hlx: File not found: $dir/p/none.hlx" "$hlx" -I "$dir/p/none.hlx" -O "$dir/out.json"
expect 64 "hlx: Repository file not found: $dir/none.tmx" "$hlx" -I "$dir/p/p.hlx" --repository "$dir/none.tmx" -O "$dir/out.json"
out=$("$hlx" -I "$dir/p/none.hlx" 2>&1) || true
case $out in *Exception*) fail "an internal prefix in: $out" ;; esac
[ "$(listing "$dir")" = "$before" ] || fail "a usage error left files behind:
$(listing "$dir")"

# Exit codes: 0, then the number of errors.
fresh codes demo
expect 0 Processed "$hlx" -I "$dir/demo/demo.hlx"
printf '6=src/Gone.ofm\n7=src/Lost.rc\n' >>"$dir/demo/demo.hlx"
expect 6 "hlx: " "$hlx" -I "$dir/demo/demo.hlx" --quiet

# --repository fills items from a TMX named on the command line, without changing the
# option: a fresh copy run afterwards without it gets none of its translations.
fresh repository demo
cp -R "$demo" "$dir/plain"
expect 0 Processed "$hlx" -I "$dir/demo/demo.hlx" --repository "$demo/demo.tmx"
grep -q Adressbuch "$dir/demo/de/src/MainForm.ofm" || fail "no translation from the repository in de/src/MainForm.ofm"
if [ ! -e "$(dirname "$hlx")/default.tmx" ]; then
  expect 0 Processed "$hlx" -I "$dir/plain/demo.hlx"
  grep -q Adressbuch "$dir/plain/de/src/MainForm.ofm" && fail "the repository of an earlier run became the option's"
fi

# -O - and --json: JSON on standard output, valid against the schema, a failed file marked so.
fresh machine demo
printf '6=src/Gone.ofm\n' >>"$dir/demo/demo.hlx"
code=0
"$hlx" -I "$dir/demo/demo.hlx" -O - >"$dir/stdout.json" 2>"$dir/stderr.txt" || code=$?
[ "$code" = 3 ] || fail "-O -: exit code $code, expected 3: $(cat "$dir/stderr.txt")"
check_json "$dir/stdout.json" \
  'len(doc["files"]) == 18' \
  'doc["summary"]["errors"] == 3 and doc["summary"]["files"]["failed"] == 3' \
  'all(f["status"] == "failed" and f["done"] is None and f["message"] for f in doc["files"] if f["source"].endswith("Gone.ofm"))' \
  'all(f["status"] == "ok" and f["total"] > 0 for f in doc["files"] if not f["source"].endswith("Gone.ofm"))' \
  '{f["language"]["tag"] for f in doc["files"]} == {"de-DE", "fr-FR", "ja-JP"}'
[ ! -e ./- ] && [ ! -e "$dir/demo/-" ] || fail "-O - wrote a file named -"
code=0
"$hlx" -I "$dir/demo/demo.hlx" --json >"$dir/summary.json" 2>/dev/null || code=$?
[ "$code" = 3 ] || fail "--json: exit code $code, expected 3"
check_json "$dir/summary.json" '"files" not in doc' \
  'doc["summary"]["files"]["skippedUnchanged"] == 15 and doc["summary"]["files"]["failed"] == 3'
"$hlx" -I "$dir/demo/demo.hlx" -O "$dir/stats.json" --quiet >"$dir/quiet.txt" 2>/dev/null || true
[ ! -s "$dir/quiet.txt" ] || fail "--quiet printed: $(cat "$dir/quiet.txt")"
check_json "$dir/stats.json" 'len(doc["files"]) == 18'

# Output that cannot be written is an error, never a success.
if [ -w /dev/full ]; then
  fresh full demo
  for args in "-I $dir/demo/demo.hlx" "-I $dir/demo/demo.hlx --json" "-I $dir/demo/demo.hlx -O -" "--help"; do
    code=0
    # shellcheck disable=SC2086
    "$hlx" $args >/dev/full 2>"$dir/err.txt" || code=$?
    [ "$code" != 0 ] || fail "hlx $args > /dev/full exited 0"
  done
  grep -q "Cannot write to standard output" "$dir/demo/log.txt" || fail "the failed write is not in the log"
fi
echo "all command-line checks passed"
