#!/usr/bin/env bash
# Fails when a C++ file of ours differs from what clang-format makes of it with the repository's
# .clang-format. Usage: check-format.sh [SOURCE-DIR] (CLANG_FORMAT names another binary).
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
clang_format=${CLANG_FORMAT:-clang-format}
command -v "$clang_format" >/dev/null || { echo "$clang_format: not installed"; exit 1; }
mapfile -d '' files < <(find lib app gui plugins tests bench examples -type f \
  \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' \) -print0 | sort -z)
[ ${#files[@]} -gt 0 ] || { echo "no C++ files found below $PWD"; exit 1; }
"$clang_format" --dry-run -Werror "${files[@]}"
