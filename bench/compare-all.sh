#!/usr/bin/env bash
# Every side-by-side comparison of HLX with its peers, one after the other, each printing both
# sides and the ratio: updates of one big file and of a 300-file project against GNU msgmerge,
# notes open/save and TMX loading against pugixml, repository look-ups and batch adds, and the
# start-up of an unchanged run against `hlx --version`. Everything is pinned to one core.
# Usage: bench/compare-all.sh [--million] [build-dir]     (Release build; about 5 minutes,
# 15 more with --million)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
million=()
build=$root/build-rel
for a in "$@"; do
  case $a in
  --million) million=(--million) ;;
  *) build=$(cd "$a" && pwd) ;;
  esac
done
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DHLX_BUILD_TESTS=OFF \
    -DHLX_BUILD_BENCH=ON -DHLX_BUILD_GUI=OFF >/dev/null
fi
cmake --build "$build" --target hlx ofm_package rc_package QEMNotesBench QEMRepositoryBench \
  >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HLX_REGISTRY="$scratch/settings.db"

echo "== One resource-string map of 100,000 items against msgmerge"
bash "$root/bench/updater-vs-msgmerge.sh" "${million[@]}" --reps 1 "$build"
echo
echo "== 300 files, 100,000 items, three languages against msgmerge"
bash "$root/bench/project-run.sh" "$build"
echo
echo "== Notes file of 100,000 units against pugixml"
# Each in a process of its own: what one leaves on the heap changes the page faults of the next.
# The file is written once beforehand, so no measured process has built its items first.
export HLX_NOTES_BENCH_DIR="$scratch/notes"
taskset -c 0 "$build/bin/QEMNotesBench" --benchmark_filter='BM_NotesHeader/' >/dev/null 2>&1
for b in NotesOpen NotesOpenByDocument NotesSave PugixmlParse PugixmlSave; do
  taskset -c 0 "$build/bin/QEMNotesBench" --benchmark_filter="BM_$b/" 2>/dev/null |
    grep -E '^BM_' || true # a build without that benchmark
done | tee "$scratch/notes.txt"
unset HLX_NOTES_BENCH_DIR
awk 'function ratio(a, b) { return b > 0 && a > 0 ? sprintf("%.2fx", a / b) : "n/a" }
  { cpu[$1] = $4 + 0 } END {
  p = cpu["BM_PugixmlParse/100000"]
  printf "open / pugixml parse: %s (through the document: %s), save / pugixml save: %s\n",
    ratio(cpu["BM_NotesOpen/100000"], p), ratio(cpu["BM_NotesOpenByDocument/100000"], p),
    ratio(cpu["BM_NotesSave/100000"], cpu["BM_PugixmlSave/100000"]) }' "$scratch/notes.txt"
echo
echo "== Translation memory of 1,000,000 records"
taskset -c 0 "$build/bin/QEMRepositoryBench" \
  --benchmark_filter='LoadToFirstAnswer|RepositoryGetString|AddBatch' 2>&1 | grep -E '^BM_'
echo
echo "== Start-up: an unchanged run of the example against hlx --version"
bash "$root/bench/startup.sh" "$build" 50 3
