#!/usr/bin/env bash
# One resource-string map (.orc) of 100,000 items, updated by `hlx -I` in a process of its own per
# run and set against GNU msgmerge --no-fuzzy-matching on the same strings as one catalogue:
#   first      no notes yet                   msgmerge: an empty catalogue and the template
#   changed    5% changed, 2% gone, 2% new    msgmerge: the translated catalogue, new template
#   unchanged  the same run again             msgmerge: its own output and the same template
# Each line gives CPU time (user + sys) and peak RSS of both sides and the ratio of CPU times,
# both pinned to one core. With --million, a first run over 1,000,000 items follows, with the
# memory per item beside that of 100,000 items.
# Usage: bench/updater-vs-msgmerge.sh [--million] [--reps N] [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-rel
million=0
reps=3
while [ $# -gt 0 ]; do
  case $1 in
  --million) million=1 ;;
  --reps) reps=$2; shift ;;
  *) build=$1 ;;
  esac
  shift
done
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHLX_BUILD_TESTS=OFF \
    -DHLX_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$build" --target hlx rc_package >/dev/null
command -v msgmerge >/dev/null || { echo "msgmerge not found (Debian package gettext)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HLX_REGISTRY="$work/settings.db"

# Writes $1/project: the map (src/Big.orc, its second version beside it as Big.orc.v2) and the
# project naming it; and $1/po: the same strings as PO files.
generate() {
  python3 - "$1" "$2" <<'PY'
import os, sys
root, items = sys.argv[1], int(sys.argv[2])
text = lambda i: f"Text of item {i}, a sentence of moderate length"
changed = lambda i: i % 20 == 0
removed = lambda i: i % 50 == 1
def versions(second):
    for i in range(items):
        if not (second and removed(i)):
            yield f"SItem{i:07}", (f"Changed text {i}" if second and changed(i) else text(i))
        if second and i % 50 == 2:
            yield f"SNew{i:07}", f"New text {i}"
def orc(path, second):
    entries = list(versions(second))
    with open(path, "w", newline="\r\n") as o:
        o.write("// Resource strings, by name\n")
        for n, (name, _) in enumerate(entries):
            o.write(f"#define {name} {64000 + n}\n")
        o.write("\nSTRINGTABLE\nBEGIN\n")
        for name, s in entries:
            o.write(f'  {name}, "{s}"\n')
        o.write("END\n")
os.makedirs(f"{root}/project/src")
orc(f"{root}/project/src/Big.orc", False)
orc(f"{root}/project/Big.orc.v2", True)
with open(f"{root}/project/big.hlx", "w") as o:
    o.write("[Environment]\nLCID=$00000409\n\n[Extensions]\n1=DEU,$00000407,de\n\n"
            "[Files]\n1=src/Big.orc\n")
os.makedirs(f"{root}/po")
head = 'msgid ""\nmsgstr "Content-Type: text/plain; charset=UTF-8\\n"\n\n'
def po(path, second, translated):
    with open(path, "w") as o:
        o.write(head)
        for name, s in versions(second):
            x = f"Übersetzung von {name}" if translated else ""
            o.write(f'msgctxt "{name}"\nmsgid "{s}"\nmsgstr "{x}"\n\n')
with open(f"{root}/po/empty.po", "w") as o:
    o.write(head)
po(f"{root}/po/v1.pot", False, False)
po(f"{root}/po/v1.po", False, True)
po(f"{root}/po/v2.pot", True, False)
PY
}

# "<cpu seconds> <peak KiB>" of one pinned command; its output goes to $work/out.txt.
measure() {
  local t=$work/time.txt
  taskset -c 0 /usr/bin/time -o "$t" -f "%U %S %M" "$@" >"$work/out.txt" 2>&1 || {
    cat "$work/out.txt" >&2
    exit 1
  }
  awk '{ printf "%.3f %d\n", $1 + $2, $3 }' "$t"
}

hlx() {
  measure "$build/bin/hlx" -I "$1/big.hlx"
  grep -q 'Total:' "$work/out.txt" || { echo "hlx printed no statistics" >&2; exit 1; }
}

msgmerge_run() {
  measure msgmerge --quiet --no-fuzzy-matching -o "$work/po/out.po" "$@"
}

report() { # name, hlx "<cpu> <kib>", msgmerge "<cpu> <kib>", items
  read -r hc hk <<<"$2"
  read -r mc mk <<<"$3"
  awk -v n="$1" -v hc="$hc" -v hk="$hk" -v mc="$mc" -v mk="$mk" -v items="$4" 'BEGIN {
    printf "%-10s hlx %7.3f s %6.1f MiB %5.0f B/item | msgmerge %7.3f s %6.1f MiB | ratio %.2f\n",
      n, hc, hk / 1024, hk * 1024 / items, mc, mk / 1024, (mc > 0 ? hc / mc : 0) }'
}

# Every repetition starts from a fresh copy: the first run must find no notes.
run_cases() { # items
  local items=$1
  for rep in $(seq "$reps"); do
    rm -rf "$work/run" "$work/po/out.po"
    cp -r "$work/project" "$work/run"
    echo "-- $items items, repetition $rep"
    report first "$(hlx "$work/run")" "$(msgmerge_run "$work/po/empty.po" "$work/po/v1.pot")" "$items"
    # Dated later than the recorded source, as an edit is.
    mv "$work/run/Big.orc.v2" "$work/run/src/Big.orc"
    touch -d '+10 seconds' "$work/run/src/Big.orc"
    report changed "$(hlx "$work/run")" "$(msgmerge_run "$work/po/v1.po" "$work/po/v2.pot")" "$items"
    cp "$work/po/out.po" "$work/po/v2.po"
    report unchanged "$(hlx "$work/run")" "$(msgmerge_run "$work/po/v2.po" "$work/po/v2.pot")" \
      "$items"
  done
}

generate "$work" 100000
run_cases 100000
if [ "$million" = 1 ]; then
  rm -rf "$work/project" "$work/po"
  generate "$work" 1000000
  reps=1
  rm -rf "$work/run" && cp -r "$work/project" "$work/run"
  echo "-- 1000000 items"
  report first "$(hlx "$work/run")" "$(msgmerge_run "$work/po/empty.po" "$work/po/v1.pot")" 1000000
fi
