#!/usr/bin/env bash
# Checks that the C++ files follow .clang-format without changing any; runtime/ keeps a style of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "format-check: clang-format is not installed" >&2; exit 2; }
git ls-files -z -- 'plugin/*.cpp' 'plugin/*.h' 'apps/*.cpp' 'apps/*.h' 'tests/*.cpp' 'tests/*.h' \
    'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h' |
  xargs -0 -r clang-format --style=file --dry-run --Werror
