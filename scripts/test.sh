#!/usr/bin/env bash
# Checks the format, builds everything and runs every test, then the engine tests again under ASan+UBSan, then
# the engine and host tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

bash scripts/format-check.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DSIRREL_SANITIZE=ON -DSIRREL_BENCH=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

# The suites where threads meet: the plug-in's own thread, the host's audio threads, the engine. Only their
# programs are built; the labels are the test folders.
tsan_labels='dsp|host|engine|decoders|output'
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSIRREL_TSAN=ON -DSIRREL_BENCH=OFF
tsan_targets=$(cmake --build build-tsan --target help | grep -oE "\b($tsan_labels)_tests\b" | sort -u)
# shellcheck disable=SC2086 # one target a word
cmake --build build-tsan -j "$jobs" --target $tsan_targets
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L "$tsan_labels"
