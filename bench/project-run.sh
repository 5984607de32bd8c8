#!/usr/bin/env bash
# Times unattended runs of hlx over a generated project of 300 form and resource files with
# 100,000 items in all and three languages: a first run that creates every translated file and
# notes file, and a second run with nothing changed (CPU time, wall time and peak memory of
# each, pinned to one core). For comparison, times GNU msgmerge --no-fuzzy-matching over PO
# catalogues of the same strings, one per file and language (900 runs), and gives the ratios of
# CPU times.
# Usage: bench/project-run.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-rel}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHLX_BUILD_TESTS=OFF \
    -DHLX_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$build" --target hlx ofm_package rc_package >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work" <<'PY'
import os, sys
root = sys.argv[1]
os.makedirs(f"{root}/src", exist_ok=True)
files, items = [], 0
for f in range(200):  # forms: 350 items each
    name = f"src/Form{f:03}.ofm"
    with open(f"{root}/{name}", "w") as o:
        o.write(f"object Form{f}: TForm{f}\n  Caption = 'Form {f}'\n")
        for i in range(349):
            o.write(f"  object Button{i}: TButton\n    Left = {i}\n    Caption = 'Button {i} of form {f}'\n  end\n")
        o.write("end\n")
    files.append(name); items += 350
for f in range(100):  # resource scripts: 300 items each
    name = f"src/Res{f:03}.rc"
    with open(f"{root}/{name}", "w") as o:
        o.write("STRINGTABLE\nBEGIN\n")
        for i in range(300):
            o.write(f'  {i + 1}, "String {i} of resource {f}"\n')
        o.write("END\n")
    files.append(name); items += 300
with open(f"{root}/big.hlx", "w") as o:
    o.write("[Environment]\nLCID=$00000409\n\n[Extensions]\n"
            "1=DEU,$00000407,de\n2=FRA,$0000040C,fr\n3=JPN,$00000411,ja\n\n[Files]\n")
    for n, name in enumerate(files):
        o.write(f"{n + 1}={name}\n")
print(f"{len(files)} files, {items} items, 3 languages")

# The same strings as PO: a template per file and a translated catalogue per file and language.
def strings(name):
    n = int(name.split(".")[0][-3:])
    if name.endswith(".ofm"):
        return [f"Form {n}"] + [f"Button {i} of form {n}" for i in range(349)]
    return [f"String {i} of resource {n}" for i in range(300)]
header = 'msgid ""\nmsgstr ""\n"Content-Type: text/plain; charset=UTF-8\\n"\n\n'
for lang in ("de", "fr", "ja"):
    os.makedirs(f"{root}/po/{lang}", exist_ok=True)
for name in files:
    base = os.path.basename(name)
    ids = strings(base)
    with open(f"{root}/po/{base}.pot", "w") as o:
        o.write(header + "".join(f'msgid "{s}"\nmsgstr ""\n\n' for s in ids))
    for lang in ("de", "fr", "ja"):
        with open(f"{root}/po/{lang}/{base}.po", "w") as o:
            o.write(header + "".join(f'msgid "{s}"\nmsgstr "[{lang}] {s}"\n\n' for s in ids))
# And as one catalogue of all 100,000 strings per language.
every = [s for name in files for s in strings(os.path.basename(name))]
with open(f"{root}/po/all.pot", "w") as o:
    o.write(header + "".join(f'msgid "{s}"\nmsgstr ""\n\n' for s in every))
for lang in ("de", "fr", "ja"):
    with open(f"{root}/po/{lang}/all.po", "w") as o:
        o.write(header + "".join(f'msgid "{s}"\nmsgstr "[{lang}] {s}"\n\n' for s in every))
PY
export HLX_REGISTRY="$work/settings.db"
# "<cpu seconds> <wall seconds> <peak KiB>" of one command pinned to one core.
measure() {
  taskset -c 0 /usr/bin/time -o "$work/time.txt" -f "%U %S %e %M" "$@" >"$work/out.txt" 2>&1 || {
    cat "$work/out.txt" >&2
    exit 1
  }
  awk '{ printf "%.2f %.2f %d\n", $1 + $2, $3, $4 }' "$work/time.txt"
}
declare -A hlx_cpu hlx_wall
for run in first second; do
  read -r cpu wall kib <<<"$(measure "$build/bin/hlx" -I "$work/big.hlx")"
  hlx_cpu[$run]=$cpu
  hlx_wall[$run]=$wall
  counts=$(grep -E '^  (New|Changed|Unchanged|Total):' "$work/out.txt" | tr -s ' ' | paste -sd ' ' -)
  echo "hlx $run run: $cpu s CPU, $wall s wall, $kib KiB peak;$counts"
done
command -v msgmerge >/dev/null || { echo "msgmerge not found (Debian package gettext)"; exit 0; }
cd "$work/po"
read -r cpu wall kib <<<"$(measure bash -c '
for pot in Form*.pot Res*.pot; do
  for lang in de fr ja; do
    po=$lang/${pot%.pot}.po
    msgmerge --quiet --no-fuzzy-matching -o "$po.out" "$po" "$pot"
  done
done')"
echo "msgmerge, 900 catalogues: $cpu s CPU, $wall s wall"
awk -v f="${hlx_cpu[first]}" -v s="${hlx_cpu[second]}" -v m="$cpu" \
  'BEGIN { printf "CPU ratio to msgmerge: first run %.2f, second run %.2f\n", f / m, s / m }'
read -r cpu1 wall1 kib1 <<<"$(measure bash -c '
for lang in de fr ja; do
  msgmerge --quiet --no-fuzzy-matching -o "$lang/all.po.out" "$lang/all.po" all.pot
done')"
echo "msgmerge, one catalogue of every string per language: $cpu1 s CPU, $wall1 s wall"
awk -v f="${hlx_cpu[first]}" -v w="${hlx_wall[first]}" -v m="$cpu1" -v mw="$wall1" \
  'BEGIN { printf "Ratio to one-catalogue msgmerge, first run: CPU %.2f, wall %.2f\n", f / m, w / mw }'
