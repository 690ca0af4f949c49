#!/usr/bin/env bash
# Character accuracy of the stock protocols in white noise: sirrel-gen makes each signal, sox adds noise of a
# given signal-to-noise ratio (noise power counted in a 3 kHz band), sirrel-decode decodes it. Each cell is the
# mean over the seeds of 1 - edit distance / sent length, floored at 0 (packet: the frames' information text).
# A developer tool: no test depends on it.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'EOF'
usage: scripts/noise_sweep.sh [options]
  --build DIR        build folder with bin/sirrel-gen and bin/sirrel-decode (default build)
  --seeds N          noise seeds per cell (default 3)
  --snrs "LIST"      signal-to-noise ratios in dB (default "30 20 10 5 0 -3 -6")
  --quick            SNR 20, 5 and 0 with one seed
  --protocols "LIST" rows, of: baudot baudot-manual navtex sitor-a packet-1200 (default all)
  --extra "ARGS"     more sirrel-decode arguments for every row, e.g. "--fec-correction off"
  --verbose          also print every run's accuracy
EOF
}

me=noise_sweep
. scripts/sweep_common.sh
snrs="30 20 10 5 0 -3 -6"
rows="baudot baudot-manual navtex sitor-a packet-1200"
extra=""
verbose=0
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) snrs="20 5 0"; seeds=1 ;;
    --protocols) rows=${2//,/ }; shift ;;
    --extra) extra=$2; shift ;;
    --verbose) verbose=1 ;;
    -h|--help) usage; exit 0 ;;
    *) sweep_option "$@" || { usage >&2; exit 2; }; shift ;;
  esac
  shift
done
sweep_check sirrel-gen sirrel-decode sox
sweep_workdir sirrel-sweep

rate=11025
amplitude=0.05
# Noise is stored at this level (share of full scale, standard deviation) and scaled by sox.
noise_sigma=0.2
frames=""
for i in 1 2 3 4 5 6; do
  frames+="N0CALL>TEST: frame $i of the sweep, the quick brown fox jumps over the lazy dog"$'\n'
done

# Each row: its label, how the signal is made, how it is decoded, which text it carries.
row_label() {
  case "$1" in
    baudot) echo "Baudot" ;;
    baudot-manual) echo "Baudot, manual 45.45" ;;
    navtex) echo "NAVTEX" ;;
    sitor-a) echo "SITOR-A" ;;
    packet-1200) echo "Packet Radio - 1200bps" ;;
    *) echo "noise_sweep: unknown row $1" >&2; exit 2 ;;
  esac
}
make_signal() {
  local out=$1
  case "$2" in
    baudot|baudot-manual) "$gen" -o "$out" --amplitude $amplitude --baud 45.45 --space 1275 --mark 1445 "$text" ;;
    navtex) "$gen" -o "$out" --amplitude $amplitude --mode fec --baud 100 --space 1000 --mark 1170 "$text" ;;
    sitor-a)
      "$gen" -o "$out" --amplitude $amplitude --mode arq --baud 100 --chars-in-cycle 3 --cycle-length 45 \
        --charset ccir476 --space 1000 --mark 1170 "$text" ;;
    packet-1200) "$gen" -o "$out" --amplitude $amplitude --mode packet --baud 1200 --space 2200 --mark 1200 "$frames" ;;
  esac
}
decode() {
  local in=$1 row=$2
  local -a args
  case "$row" in
    baudot) args=(--protocol Baudot) ;;
    baudot-manual) args=(--protocol Baudot --baud-mode manual --baud 45.45) ;;
    navtex) args=(--protocol NAVTEX) ;;
    sitor-a) args=(--protocol SITOR-A) ;;
    packet-1200) args=(--protocol 'Packet Radio - 1200bps') ;;
  esac
  # shellcheck disable=SC2086 # --extra is split into words on purpose
  "$dec" -q --color never "${args[@]}" $extra "$in" || true
}

for row in $rows; do row_label "$row" >/dev/null; done
printf '%s' "$text" >"$work/text.txt"
printf '%s' "$frames" >"$work/frames.txt"

longest=0
for row in $rows; do
  make_signal "$work/$row.wav" "$row" >/dev/null
  longest=$(( $(soxi -s "$work/$row.wav") > longest ? $(soxi -s "$work/$row.wav") : longest ))
done
for seed in $(seq 1 "$seeds"); do
  py noise "$seed" "$longest" "$noise_sigma" "$work/noise$seed.wav" "$rate"
done

: >"$work/results.tsv"
for row in $rows; do
  label=$(row_label "$row")
  samples=$(soxi -s "$work/$row.wav")
  sent=$work/text.txt kind=text
  [ "$row" = packet-1200 ] && sent=$work/frames.txt kind=packet
  for snr in $snrs; do
    gain=$(py scale "$snr" "$rate" "$amplitude" "$noise_sigma")
    for seed in $(seq 1 "$seeds"); do
      sox -V1 -D -R -m -v 1 "$work/$row.wav" -v "$gain" "$work/noise$seed.wav" "$work/noisy.wav" trim 0 "${samples}s"
      decode "$work/noisy.wav" "$row" >"$work/decoded.txt" 2>/dev/null
      acc=$(py accuracy "$sent" "$work/decoded.txt" "$kind")
      [ "$verbose" -eq 1 ] && printf '%-24s %4s dB seed %d: %s\n' "$label" "$snr" "$seed" "$acc" >&2
      printf '%s\t%s\t%s\n' "$label" "$snr" "$acc" >>"$work/results.tsv"
    done
  done
done
py table "$work/results.tsv" "$snrs"
