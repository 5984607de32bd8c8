#!/usr/bin/env bash
# Start-up time of the desktop program: from starting hlx to the main window shown with the
# example project open (HLX_GUI_QUIT_AFTER_START ends it right there), and how much of it is
# Qt's own start-up (loading the Qt libraries and constructing QApplication, from the marks
# HLX_GUI_TIMING prints).
#
#   bench/gui-startup.sh [BUILD-DIR] [RUNS]      (default build-rel, 20 runs)
#
# Build BUILD-DIR as Release (targets hlx hlxgui ofm_package rc_package). Without a display the
# offscreen platform is used. Pin it to one core for steadier numbers: taskset -c 0 bench/...
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-rel}
runs=${2:-20}
hlx="$build/bin/hlx"
[ -x "$hlx" ] && [ -f "$build/bin/libhlxgui.so" ] || {
  echo "build $build first: cmake --build $build --target hlx hlxgui ofm_package rc_package" >&2
  exit 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r examples/demo "$work/demo"
export HLX_REGISTRY="$work/registry.db" XDG_RUNTIME_DIR="$work"
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ] || export QT_QPA_PLATFORM=offscreen

run() { HLX_GUI_QUIT_AFTER_START=1 "$hlx" "$work/demo/demo.hlx" 2>"$work/err.txt"; }

# The first start creates the settings and warms the caches; it is not counted.
run || { cat "$work/err.txt" >&2; exit 1; }

times=()
for _ in $(seq "$runs"); do
  t0=$(date +%s%N)
  run
  t1=$(date +%s%N)
  times+=($(((t1 - t0) / 1000)))
done
printf '%s\n' "${times[@]}" | sort -n | awk -v runs="$runs" '
  { t[NR] = $1; sum += $1 }
  END { printf "start to window with the example open (%d runs): min %.1f ms, median %.1f ms, mean %.1f ms\n",
        runs, t[1] / 1000, t[int((NR + 1) / 2)] / 1000, sum / NR / 1000 }'

# One start in steps: each mark is milliseconds since hlx's main began.
marks=$(for _ in 1 2 3 4 5; do HLX_GUI_TIMING=1 run; grep '^hlx-timing:' "$work/err.txt"; done)
printf '%s\n' "$marks" | awk '
  { ms[$2] += $3; n[$2]++; if (!($2 in seen)) { seen[$2] = 1; order[++k] = $2 } }
  END {
    printf "steps (mean of 5 starts, ms since main):\n"
    for (i = 1; i <= k; i++) printf "  %-22s %6.1f\n", order[i], ms[order[i]] / n[order[i]]
    qt = ms["gui-library-loaded"] / n["gui-library-loaded"] - ms["main"] / n["main"]
    qt += ms["qapplication"] / n["qapplication"] - ms["gui-entry"] / n["gui-entry"]
    printf "Qt start-up (loading Qt, QApplication): %.1f ms of %.1f ms to the open project\n",
      qt, ms["project-open"] / n["project-open"]
  }'
