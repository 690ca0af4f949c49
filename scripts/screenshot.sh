#!/usr/bin/env bash
# Takes the README's pictures of the plug-in's windows: kel-host plays a generated signal in real time on a
# virtual X server, xdotool clicks the buttons as a user would, build/bin/x11-snap captures each window, and
# kel-host is closed the way Ctrl-C closes it. The user's own data folder and settings are not touched.
#
# The signal: silence, a 45.45-baud teleprinter text (decoded in the "ITA2 (Baudot)" mode with automatic tuning
# and bit rate), silence, then three 1200-baud packet frames (the "Packet Radio - 1200bps" protocol, picked from
# the protocol list after "Create default"). The pictures go into OUTDIR (default docs/):
#   decoder-window.png        the decoder window with the teleprinter signal in the spectrum and waterfall
#   data-output.png           the "Data Output" window with the teleprinter text and the packet frames in colour
#   file-selector.png         the file selector of the WAV strip's "..." button
#   decoder-colors.png        the "Decoder Colors" dialog ("Colors")
#   character-statistics.png  the "Character statistics" window ("Characters statistic") of the teleprinter text
#   translation-tables.png    the "Character translation tables" dialog ("Translation table")
#   demodulator.png           the "Demodulator" dialog ("Study"), its scope on the teleprinter signal
#
#   bash scripts/screenshot.sh [OUTDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}

fail() {
  echo "screenshot: $*" >&2
  exit 1
}

bash scripts/deps.sh
# xdotool clicks and types into the windows; the build and the tests do not need it.
if ! command -v xdotool > /dev/null; then
  echo "Installing: xdotool"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q xdotool || fail "cannot install xdotool"
fi
[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target kel-host sirrel sirrel-gen sirrel-decode x11-snap

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/recordings" "$work/shots"
rate=44100
gen() { build/bin/sirrel-gen --rate "$rate" --amplitude 0.4 "$@"; }
gen -o "$work/recordings/rtty.wav" --mode ita2 --baud 45.45 --space 1275 --mark 1445 -- \
  "RYRYRYRY CQ CQ CQ DE KEL HOST TEST TRANSMISSION THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 $(
    printf 'RYRYRYRY %.0s' $(seq 1 4))
"
gen -o "$work/recordings/packet.wav" --mode packet --baud 1200 --space 2200 --mark 1200 --lead 0.5 --trail 0.3 -- \
  "$(printf '%s\n' \
    'DL1ABC>APRS,WIDE2-1: !5230.00N/01322.00E-PHG2360 Kel-host test station' \
    'DL1ABC>BEACON: Decoder window screenshots made under Xvfb' \
    'DL1ABC>DB0XYZ I P NS=2 NR=5 PID=F0: Connected frame with its header in colour')"
# Seconds of silence: the mode and the protocol are chosen in the quiet before each transmission.
lead=8
gap=14
sox -n -r "$rate" -c 1 -b 16 "$work/lead.wav" trim 0 "$lead"
sox -n -r "$rate" -c 1 -b 16 "$work/gap.wav" trim 0 "$gap"
sox "$work/lead.wav" "$work/recordings/rtty.wav" "$work/gap.wav" "$work/recordings/packet.wav" \
  "$work/recordings/signal.wav"
seconds() { soxi -D "$1" | cut -d. -f1; }
rtty=$(seconds "$work/recordings/rtty.wav")
packet=$(seconds "$work/recordings/packet.wav")
# Create default writes the stock protocols in the order sirrel-decode lists them.
position() {
  local line
  line=$(build/bin/sirrel-decode --data-dir "$work/data" --list-protocols | grep -n -x -F "$1" | head -1)
  [ -n "$line" ] || fail "no stock protocol '$1'"
  echo "${line%%:*}"
}

export KEL_PLUGIN_PATH="$work/data" KEL_REGISTRY="$work/no-registry.ini" WORK="$work" ROOT="$PWD"
export RTTY_AT=$lead RTTY_END=$((lead + rtty + 1)) PACKET_END=$((lead + rtty + gap + packet + 2))
PACKET_POSITION=$(position "Packet Radio - 1200bps")
export PACKET_POSITION
unset SIRREL_UI
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -eu
  cd "$WORK/recordings"
  snap() { "$ROOT/build/bin/x11-snap" --name "$1" --wait 10 "$WORK/shots/$2" > /dev/null; }
  window() {
    local id=""
    for _ in $(seq 50); do
      id=$(xdotool search --onlyvisible --name "$1" 2> /dev/null | head -1) && [ -n "$id" ] && break
      sleep 0.2
    done
    [ -n "$id" ] || { echo "screenshot: no window \"$1\" appeared" >&2; return 1; }
    echo "$id"
  }
  # A click at X, Y of the window titled TITLE; a negative X or Y counts from its right or bottom edge.
  click() {
    local id x=$2 y=$3
    id=$(window "$1")
    eval "$(xdotool getwindowgeometry --shell "$id" | grep -E "^(WIDTH|HEIGHT)=")"
    [ "$x" -ge 0 ] || x=$((WIDTH + x))
    [ "$y" -ge 0 ] || y=$((HEIGHT + y))
    xdotool mousemove --window "$id" "$x" "$y" click 1
    sleep 0.5
  }
  # Steps the focused list by KEY that many times, slowly enough for each choice to come back from the decoder.
  step() {
    for _ in $(seq "$2"); do
      xdotool key "$1"
      sleep 0.3
    done
  }
  until_second() {
    while [ "$SECONDS" -lt "$1" ]; do sleep 0.2; done
  }
  decoder="Quillon FSK Decoder #1"

  SECONDS=0
  "$ROOT/build/bin/kel-host" --realtime --receiver "qv-usb:1:$WORK/recordings/signal.wav" > "$WORK/host.out" &
  host=$!
  trap "kill -INT $host 2> /dev/null; wait $host" EXIT
  window "$decoder" > /dev/null
  window "Data Output" > /dev/null
  # A first start decodes packet radio: the "Mode" list goes up from "Packet Radio" to "ITA2 (Baudot)".
  click "$decoder" 610 144
  xdotool key Escape
  step Up 6
  until_second $((RTTY_AT + 14))
  snap "$decoder" decoder-window.png
  click "$decoder" 176 442                # "Study"
  sleep 2
  snap "Demodulator" demodulator.png
  click "$decoder" 176 442                # "Study" again closes it
  click "Data Output" -159 -21            # "Characters statistic", of the teleprinter codes
  snap "Character statistics" character-statistics.png
  until_second "$RTTY_END"
  click "$decoder" -62 89                 # "Create default"
  click "Korvanda Quillon FSK Decoder" 185 69 # "Yes"
  click "$decoder" 580 37                 # the protocol list, then the arrow keys choose in it
  xdotool key Escape
  step Down "$PACKET_POSITION"
  until_second "$PACKET_END"
  snap "Data Output" data-output.png
  # The dialogs below open over the decoder window; their buttons are on the "Data Output" window.
  click "Data Output" -416 -21            # "Colors"
  snap "Decoder Colors" decoder-colors.png
  click "Decoder Colors" -54 -22          # "Close"
  click "Data Output" -305 -21            # "Translation table"
  snap "Character translation tables" translation-tables.png
  # Last: the windows it covered are not all drawn again when it closes.
  click "$decoder" -31 565                # "..." of the WAV strip
  snap "Select the WAV File Name" file-selector.png
  xdotool key Escape
'
mkdir -p "$out"
for shot in "$work"/shots/*.png; do
  cp "$shot" "$out/"
  echo "Wrote $out/$(basename "$shot")"
done
