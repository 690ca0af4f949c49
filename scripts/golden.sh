#!/usr/bin/env bash
# Decodes every case of tests/e2e/corpus.txt and compares stdout and exit status with tests/e2e/golden/.
# --update rewrites the golden files: only for a deliberate change of the decoded output.
# SIRREL_BUILD names the build folder (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."
update=0
case "${1:-}" in
  --update) update=1 ;;
  "") ;;
  *) echo "usage: scripts/golden.sh [--update]" >&2; exit 2 ;;
esac
build=${SIRREL_BUILD:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target sirrel-gen sirrel-decode >/dev/null

corpus=tests/e2e/corpus.txt
golden=tests/e2e/golden
work=$(mktemp -d "${TMPDIR:-/tmp}/sirrel-golden-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Stored protocols and registry of the user must not reach the decoder.
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" KEL_REGISTRY="$work/registry.ini"
unset KEL_PLUGIN_PATH
export GEN="$PWD/$build/bin/sirrel-gen" DEC="$PWD/$build/bin/sirrel-decode" WAV="$work/signal.wav"
export NL=$'\n'

cases=0 failed=0
start=$(date +%s%N)
while IFS='|' read -r name gen dec; do
  name=$(echo "$name" | tr -d '[:space:]')
  case "$name" in ''|'#'*) continue ;; esac
  cases=$((cases + 1))
  rm -f "$WAV"
  if ! sh -c "\"\$GEN\" -o \"\$WAV\" $gen" >/dev/null 2>"$work/gen.err"; then
    echo "FAIL $name: sirrel-gen: $(cat "$work/gen.err")"
    failed=$((failed + 1))
    continue
  fi
  status=0
  sh -c "\"\$DEC\" $dec \"\$WAV\"" >"$work/out" 2>/dev/null || status=$?
  printf '\n[exit status %d]\n' "$status" >>"$work/out"
  if [ "$update" -eq 1 ]; then
    cp "$work/out" "$golden/$name.txt"
  elif ! cmp -s "$work/out" "$golden/$name.txt"; then
    echo "FAIL $name: decoded output differs from $golden/$name.txt"
    diff -u "$golden/$name.txt" "$work/out" | head -20 || true
    failed=$((failed + 1))
  fi
done <"$corpus"
ms=$((($(date +%s%N) - start) / 1000000))
elapsed=$((ms / 1000)).$(printf %03d $((ms % 1000)))
if [ "$update" -eq 1 ]; then
  echo "golden: $cases files written in ${elapsed}s"
  exit 0
fi
echo "golden: $((cases - failed)) of $cases cases match (${elapsed}s)"
[ "$failed" -eq 0 ]
