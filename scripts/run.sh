#!/usr/bin/env bash
# Builds the decoder program (not the tests and benchmarks) and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target sirrel-decode
# The bundled sample: a 45.45-baud teleprinter transmission with 170 Hz shift, decoded with the stock
# "Baudot" protocol (automatic tuning and bit rate).
build/bin/sirrel-decode --protocol Baudot samples/rtty-45-170.wav
