#!/usr/bin/env bash
# Times unattended runs of hlx over a generated project of 300 form and resource files with
# 100,000 items in all and three languages: a first run that creates every translated file and
# notes file, and a second run with nothing changed (wall time and peak memory of each). For
# comparison, times GNU msgmerge --no-fuzzy-matching over PO catalogues of the same strings, one
# per file and language (900 runs).
# Usage: bench/project-run.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-rel}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHLX_BUILD_TESTS=OFF -DHLX_BUILD_BENCH=ON >/dev/null
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
PY
export HLX_REGISTRY="$work/settings.db"
for run in first second; do
  /usr/bin/time -f "hlx $run run: %e s wall, %M KiB peak" "$build/bin/hlx" -I "$work/big.hlx" |
    grep -E '^  (New|Changed|Unchanged|Total):' | tr -s ' ' | paste -sd ' ' -
done
command -v msgmerge >/dev/null || { echo "msgmerge not found (Debian package gettext)"; exit 0; }
cd "$work/po"
start=$(date +%s%N)
for pot in *.pot; do
  for lang in de fr ja; do
    po=$lang/${pot%.pot}.po
    msgmerge --quiet --no-fuzzy-matching -o "$po.out" "$po" "$pot"
  done
done
echo "msgmerge, 900 catalogues: $(( ($(date +%s%N) - start) / 1000000 )) ms wall"
