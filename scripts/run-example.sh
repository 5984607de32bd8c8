#!/usr/bin/env bash
# Installs the dependencies, builds HLX and runs it on the bundled example.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DHLX_BUILD_TESTS=OFF
cmake --build build -j "$(nproc)" --target hlx
# Project runs on examples/demo arrive with the translator packages; until then show the
# version of what was built.
build/bin/hlx --version
