#!/usr/bin/env bash
# Runs every fuzz target for a while over the corpus kept in tests/fuzz/seeds, then merges what
# it found into that corpus: only inputs that reach new code are added (libFuzzer -merge=1), so
# the seed folders grow with the fuzzing but stay small.
#
#   scripts/fuzz.sh [seconds-per-target] [target...]     (default 600 s, every target)
#
# Builds with clang in $HLX_FUZZ_BUILD_DIR (default build-fuzz). Crash inputs go to
# build-fuzz/fuzz-artifacts/<target>/; the script carries on with the other targets and exits
# non-zero when any target crashed. A crash, once fixed, belongs in the seed folder as a
# regression seed, which CI replays.
set -uo pipefail
cd "$(dirname "$0")/.."
secs=${1:-600}
shift $(($# > 0 ? 1 : 0))
case $secs in '' | *[!0-9]*) echo "usage: $0 [seconds-per-target] [target...]" >&2; exit 2 ;; esac
build=${HLX_FUZZ_BUILD_DIR:-build-fuzz}
all=$(sed -n 's/^foreach(target \(.*\))$/\1/p' tests/fuzz/CMakeLists.txt | tr 'A-Z' 'a-z')
targets=${*:-$all}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHLX_BUILD_FUZZ=ON -DHLX_SANITIZE=ON -DHLX_BUILD_BENCH=OFF -DHLX_BUILD_GUI=OFF >/dev/null || exit 1
for t in $targets; do
  cmake --build "$build" --target "fuzz_$t" >/dev/null || { echo "build of fuzz_$t failed" >&2; exit 1; }
done

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=0
summary=""
for t in $targets; do
  seeds=tests/fuzz/seeds/$t
  work=$build/fuzz-corpus/$t
  art=$build/fuzz-artifacts/$t
  log=$build/fuzz-logs/$t.log
  mkdir -p "$seeds" "$work" "$art" "$(dirname "$log")"
  echo "== fuzz_$t: ${secs}s"
  # New inputs go to the scratch corpus first; the seeds are read, never written, while fuzzing.
  "$build/bin/fuzz_$t" -max_total_time="$secs" -print_final_stats=1 -artifact_prefix="$art/" \
    "$work" "$seeds" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  crashes=$(find "$art" -type f | wc -l)
  if [ $rc -ne 0 ]; then
    failed=1
    echo "   fuzz_$t stopped with status $rc; see $log and $art" >&2
  fi
  before=$(find "$seeds" -type f | wc -l)
  "$build/bin/fuzz_$t" -merge=1 "$seeds" "$work" >>"$log" 2>&1
  after=$(find "$seeds" -type f | wc -l)
  summary+=$(printf '%-14s %12s executions  %3s crash files  %4d -> %4d seeds' \
    "$t" "${runs:-?}" "$crashes" "$before" "$after")$'\n'
done
echo
printf '%s' "$summary"
exit $failed
