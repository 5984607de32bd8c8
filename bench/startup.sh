#!/usr/bin/env bash
# CPU cost of starting hlx for nothing: an unattended run (-I) over the example project with
# nothing changed since the run before, against `hlx --version`, side by side in one run. Each
# round alternates the two commands; CPU is user+sys of the child as the kernel counts it. Also
# checks that the unchanged runs left the settings file untouched.
#
#   bench/startup.sh [BUILD-DIR] [RUNS] [ROUNDS]     (default build-rel, 100 runs, 5 rounds)
#
# Build BUILD-DIR as Release (targets hlx ofm_package rc_package). Everything runs pinned to
# core 0.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-rel}
runs=${2:-100}
rounds=${3:-5}
hlx="$build/bin/hlx"
[ -x "$hlx" ] && [ -f "$build/bin/ofm140.fpl" ] || {
  echo "build $build first: cmake --build $build --target hlx ofm_package rc_package" >&2
  exit 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r examples/demo "$work/demo"
export HLX_REGISTRY="$work/registry.db"
# Sources older than the time window, as in a project edited a while ago: a source saved just
# before a run is read again by every later run, to see a change within its time stamp.
sleep 2.1

# The first run creates the translated files, the notes and the settings; the second finds
# nothing to do. Neither is counted.
"$hlx" -I "$work/demo/demo.hlx" >/dev/null
"$hlx" -I "$work/demo/demo.hlx" >/dev/null
before=$(stat -c '%s %Y.%y' "$HLX_REGISTRY")$(sha256sum <"$HLX_REGISTRY")

taskset -c 0 python3 - "$runs" "$rounds" "$hlx" "$work/demo/demo.hlx" <<'PY'
import os, statistics, sys

runs, rounds, hlx, project = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
commands = {"-I": [hlx, "-I", project], "--version": [hlx, "--version"]}
devnull = os.open(os.devnull, os.O_WRONLY)

# Page faults (pages first touched) are counted too: unlike CPU time they do not vary with
# the machine's load, and on a virtual machine each can cost several microseconds.
faults = {name: [] for name in commands}

def cpu(name, argv):
    # posix_spawn: nothing of this process runs in the child before the exec.
    pid = os.posix_spawn(argv[0], argv, os.environ,
                         file_actions=[(os.POSIX_SPAWN_DUP2, devnull, 1)])
    _, status, usage = os.wait4(pid, 0)
    if status != 0:
        sys.exit(f"{' '.join(argv)} failed ({status})")
    faults[name].append(usage.ru_minflt + usage.ru_majflt)
    return usage.ru_utime + usage.ru_stime

ratios = []
total = {name: [] for name in commands}
for r in range(rounds):
    times = {name: [] for name in commands}
    for _ in range(runs):
        for name, argv in commands.items():
            times[name].append(cpu(name, argv))
    run, version = statistics.mean(times["-I"]), statistics.mean(times["--version"])
    ratios.append(run / version)
    for name in commands:
        total[name] += times[name]
    print(f"round {r + 1}: -I {run * 1e3:.2f} ms, --version {version * 1e3:.2f} ms CPU "
          f"(means of {runs}), ratio {run / version:.2f}")
run, version = statistics.mean(total["-I"]), statistics.mean(total["--version"])
print(f"hlx -I on the unchanged example: mean {run * 1e3:.2f} ms, median "
      f"{statistics.median(total['-I']) * 1e3:.2f} ms CPU (user+sys)")
print(f"hlx --version:                   mean {version * 1e3:.2f} ms, median "
      f"{statistics.median(total['--version']) * 1e3:.2f} ms CPU (user+sys)")
print(f"ratio {run / version:.2f} (rounds {min(ratios):.2f}-{max(ratios):.2f}), "
      f"{rounds * runs} runs of each")
print(f"page faults: -I {statistics.median(faults['-I']):.0f}, --version "
      f"{statistics.median(faults['--version']):.0f} (medians)")
PY

after=$(stat -c '%s %Y.%y' "$HLX_REGISTRY")$(sha256sum <"$HLX_REGISTRY")
if [ "$before" = "$after" ]; then
  echo "settings file: unchanged by the unchanged runs"
else
  echo "settings file: WRITTEN by the unchanged runs"
fi
