#!/usr/bin/env bash
# Takes a picture of the decoder window for the README: kel-host plays a generated teleprinter signal in real
# time on a virtual X server, the window is captured once the waterfall has filled, and kel-host is closed the
# way Ctrl-C closes it. The user's own data folder and settings are not touched.
#
#   bash scripts/screenshot.sh [OUTPUT.png]      (default docs/decoder-window.png)
#   SETTLE=8 bash scripts/screenshot.sh          seconds of signal before the picture (default 6)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/decoder-window.png}
settle=${SETTLE:-6}

bash scripts/deps.sh
[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target kel-host sirrel sirrel-gen x11-snap

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data"
# 45.45 baud with 170 Hz shift at the usual 1275/1445 Hz, long enough to be still running for the picture.
build/bin/sirrel-gen -o "$work/rtty.wav" --mode ita2 --baud 45.45 --space 1275 --mark 1445 --rate 44100 \
  -- "RYRYRYRY CQ CQ CQ DE KEL HOST TEST TRANSMISSION THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 $(
    printf 'RYRYRYRY %.0s' $(seq 1 8))"

export KEL_PLUGIN_PATH="$work/data" KEL_REGISTRY="$work/no-registry.ini" SETTLE="$settle" WORK="$work"
unset SIRREL_UI
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -u
  build/bin/kel-host --realtime --receiver "qv-usb:1:$WORK/rtty.wav" > "$WORK/host.out" &
  host=$!
  status=0
  if build/bin/x11-snap --name "Quillon FSK Decoder" --wait 20 "$WORK/first.png" > /dev/null; then
    sleep "$SETTLE"
    build/bin/x11-snap --name "Quillon FSK Decoder" "$WORK/window.png" || status=1
  else
    echo "screenshot: no decoder window appeared on the display" >&2
    status=1
  fi
  kill -INT "$host"
  wait "$host" || status=1
  exit "$status"
'
mkdir -p "$(dirname "$out")"
cp "$work/window.png" "$out"
echo "Wrote $out"
