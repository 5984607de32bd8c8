#!/usr/bin/env bash
# Start-up of two builds side by side: each round alternates an unchanged `hlx -I` over the
# example and `hlx --version` of build A and of build B, so a noisy machine weighs on both
# alike. Prints each build's means and ratio per round. CPU is user+sys of the child.
#
#   bench/startup-compare.sh BUILD-A BUILD-B [RUNS] [ROUNDS]     (default 100 runs, 5 rounds)
#
# Each build needs hlx and its two packages (targets hlx ofm_package rc_package), Release.
# Everything runs pinned to core 0; each build has its own copy of the example and settings.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -ge 2 ] || { sed -n '2,9p' "$0" >&2; exit 64; }
a=$1 b=$2 runs=${3:-100} rounds=${4:-5}
for build in "$a" "$b"; do
  [ -x "$build/bin/hlx" ] && [ -f "$build/bin/ofm140.fpl" ] || {
    echo "build $build first: cmake --build $build --target hlx ofm_package rc_package" >&2
    exit 1
  }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for side in A B; do cp -r examples/demo "$work/demo$side"; done
# Sources older than the time window, as in a project edited a while ago.
sleep 2.1
for side in A B; do
  build=$a
  [ $side = B ] && build=$b
  for _ in 1 2; do
    HLX_REGISTRY="$work/reg$side.db" "$build/bin/hlx" -I "$work/demo$side/demo.hlx" >/dev/null
  done
done

taskset -c 0 python3 - "$runs" "$rounds" "$a/bin/hlx" "$b/bin/hlx" "$work" <<'PY'
import os, statistics, sys

runs, rounds, hlx_a, hlx_b, work = int(sys.argv[1]), int(sys.argv[2]), *sys.argv[3:6]
devnull = os.open(os.devnull, os.O_WRONLY)

def cpu(argv, registry):
    env = dict(os.environ, HLX_REGISTRY=registry)
    pid = os.posix_spawn(argv[0], argv, env, file_actions=[(os.POSIX_SPAWN_DUP2, devnull, 1)])
    _, status, usage = os.wait4(pid, 0)
    if status != 0:
        sys.exit(f"{' '.join(argv)} failed ({status})")
    return usage.ru_utime + usage.ru_stime

sides = {"A": hlx_a, "B": hlx_b}
for r in range(rounds):
    times = {(s, k): [] for s in sides for k in ("-I", "--version")}
    for _ in range(runs):
        for s, hlx in sides.items():
            reg = f"{work}/reg{s}.db"
            times[(s, "-I")].append(cpu([hlx, "-I", f"{work}/demo{s}/demo.hlx"], reg))
            times[(s, "--version")].append(cpu([hlx, "--version"], reg))
    line = []
    for s in sides:
        run = statistics.mean(times[(s, "-I")]) * 1e3
        version = statistics.mean(times[(s, "--version")]) * 1e3
        line.append(f"{s}: -I {run:.2f} ms, --version {version:.2f} ms, ratio {run / version:.3f}")
    print(f"round {r + 1}: " + " | ".join(line))
PY
