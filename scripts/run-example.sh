#!/usr/bin/env bash
# Installs the dependencies, builds HLX with its default translator packages and runs an
# unattended integration run on a copy of the bundled example (examples/demo) in a working
# folder outside the source tree ($HLX_DEMO_DIR, default /tmp/hlx-demo), then shows where the
# translated files, their notes and the log are. Each run starts from a fresh copy.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DHLX_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)"

demo=${HLX_DEMO_DIR:-${TMPDIR:-/tmp}/hlx-demo}
rm -rf "$demo"
mkdir -p "$demo"
cp -r examples/demo/. "$demo"
# The example's own settings, and its translation memory (the copy, so that the run never
# writes into the source tree) as the repository of this run.
export HLX_REGISTRY="$demo/settings.db"
status=0
build/bin/hlx -I "$demo/demo.hlx" -O "$demo/status.txt" --repository "$demo/demo.tmx" || status=$?

echo
echo "Translated files and notes:"
(cd "$demo" && find de fr ja -type f | sort | sed 's/^/  /')
echo "Statistics per file: $demo/status.txt"
echo "Log: $demo/log.txt"
cat "$demo/log.txt"
exit $status
