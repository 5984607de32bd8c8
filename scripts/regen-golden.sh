#!/usr/bin/env bash
# Writes the golden files of tests/data/golden anew from the current build, for review with
# `git diff tests/data/golden`. Usage: scripts/regen-golden.sh [BUILD-DIR] (default build-asan)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-${HLX_TEST_BUILD_DIR:-build-asan}}
[ -f "$build/build.ninja" ] ||
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DHLX_SANITIZE=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target hlx ofm_package rc_package hlx_golden_tmx
# The golden folder is replaced whole (files no longer written disappear), and only once every
# file is written and valid.
new=$(mktemp -d)
trap 'rm -rf "$new"' EXIT
sh tests/e2e/golden.sh write "$build/bin/hlx" "$PWD" "$build/bin/hlx_golden_tmx" "$new/golden"
rm -rf tests/data/golden
cp -R "$new/golden" tests/data/golden
git status --short tests/data/golden 2>/dev/null || true
