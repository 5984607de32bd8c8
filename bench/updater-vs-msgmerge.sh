#!/usr/bin/env bash
# Times an updater source run over 100,000 items (5% changed, 2% removed, 2% new; notes saved,
# translated file written) and GNU msgmerge --no-fuzzy-matching over a catalogue of the same
# strings. Usage: bench/updater-vs-msgmerge.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-rel}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHLX_BUILD_TESTS=OFF -DHLX_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target QEMUpdaterBench
po=$(mktemp -d)
trap 'rm -rf "$po"' EXIT
HLX_BENCH_PO_DIR=$po "$build/bin/QEMUpdaterBench"
command -v msgmerge >/dev/null || { echo "msgmerge not found (Debian package gettext)"; exit 0; }
for i in 1 2 3; do
  start=$(date +%s%N)
  msgmerge --quiet --no-fuzzy-matching -o "$po/out.po" "$po/def.po" "$po/ref.pot"
  echo "msgmerge run $i: $(( ($(date +%s%N) - start) / 1000000 )) ms"
done
