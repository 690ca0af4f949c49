#!/usr/bin/env bash
# The weak-signal sweep on signals of an independent transmitter: minimodem makes a 45.45-baud teleprinter
# signal (1.5 stop bits, 1275/1445 Hz) of the sweep's text, noise is added as in weak_sweep.sh, sirrel-decode
# decodes it with manual tones and rate once per demodulator. Cells as in weak_sweep.sh: the mean over the seeds
# of the character similarity with the sent text, figures folded to letters. minimodem only transmits here.
# A developer tool: no test depends on it.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'EOF'
usage: scripts/independent_check.sh [options]
  --build DIR        build folder with bin/sirrel-decode (default build)
  --seeds N          noise seeds per cell (default 3)
  --snrs "LIST"      signal-to-noise ratios in dB (default "-3 -6 -9")
  --demods "LIST"    sirrel-decode --demod values, one table each (default "correlative weak")
  --fade             two-path Rayleigh fade (0.2 Hz Doppler, 2 ms apart) before the noise
  --tsv FILE         also keep every run's result (row, demod, snr, seed, similarity), for weak_plot.sh
EOF
}

me=independent_check
. scripts/sweep_common.sh
snrs="-3 -6 -9"
demods="correlative weak"
fade=0
keep=""
while [ $# -gt 0 ]; do
  case "$1" in
    --demods) demods=${2//,/ }; shift ;;
    --fade) fade=1 ;;
    --tsv) keep=$2; shift ;;
    -h|--help) usage; exit 0 ;;
    *) sweep_option "$@" || { usage >&2; exit 2; }; shift ;;
  esac
  shift
done
sweep_check sirrel-decode minimodem
sweep_workdir sirrel-independent
printf '%s' "$text" >"$work/text.txt"

row=minimodem-tty45-170
# The sweep's amplitude and rate, so that the noise is added the same way.
minimodem --tx rtty --mark 1445 --space 1275 --samplerate 11025 --volume 0.02 --file "$work/clean.wav" \
  <"$work/text.txt"
args=(--mode ita2 --baud 45.45 --baud-mode manual --tune manual --space 1275 --mark 1445)

: >"$work/results.tsv"
for snr in $snrs; do
  for seed in $(seq 1 "$seeds"); do
    py signal "$work/clean.wav" "$work/noisy.wav" "$snr" "$seed" "$fade"
    for demod in $demods; do
      "$dec" -q --color never "${args[@]}" --demod "$demod" "$work/noisy.wav" >"$work/decoded.txt" 2>/dev/null || true
      acc=$(py similarity "$work/text.txt" "$work/decoded.txt")
      printf '%s\t%s\t%s\t%s\t%s\n' "$row" "$demod" "$snr" "$seed" "$acc" >>"$work/results.tsv"
    done
  done
done
[ -n "$keep" ] && cp "$work/results.tsv" "$keep"
py demod-table "$work/results.tsv" "$snrs"
