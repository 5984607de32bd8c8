#!/usr/bin/env bash
# Times unattended runs of hlx over a generated project of 300 form and resource files with
# 100,000 items in all: a first run that creates every translated file and notes file, and a
# second run with nothing changed. Reports wall time and peak memory of each.
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
    o.write("[Environment]\nLCID=$00000409\n\n[Extensions]\n1=DEU,$00000407,de\n\n[Files]\n")
    for n, name in enumerate(files):
        o.write(f"{n + 1}={name}\n")
print(f"{len(files)} files, {items} items")
PY
export HLX_REGISTRY="$work/settings.db"
for run in first second; do
  /usr/bin/time -f "$run run: %e s wall, %M KiB peak" "$build/bin/hlx" -I "$work/big.hlx" |
    grep -E '^  (New|Changed|Unchanged|Total):' | tr -s ' ' | paste -sd ' ' -
done
