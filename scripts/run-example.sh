#!/usr/bin/env bash
# Installs the dependencies, builds HLX with its default translator packages and runs an
# unattended integration run on a copy of the bundled example (examples/demo): translated
# files and their notes appear in build/demo/de, build/demo/fr and build/demo/ja.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DHLX_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)"
# The run works on a copy so the example stays as it is, with settings of its own and the
# example's translation memory as the repository the updaters query.
rm -rf build/demo
cp -r examples/demo build/demo
cp examples/demo/demo.tmx build/bin/default.tmx
export HLX_REGISTRY="$PWD/build/demo/settings.db"
status=0
build/bin/hlx -I build/demo/demo.hlx || status=$?
echo
echo "Log (build/demo/log.txt):"
cat build/demo/log.txt
echo
echo "Translated files:"
find build/demo/de build/demo/fr build/demo/ja -type f 2>/dev/null | sort
exit $status
